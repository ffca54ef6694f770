// The simulator's command line: help, wrong switches and the demo's personal keys.
#include "sim_harness.h"

#include <gtest/gtest.h>

using namespace telva::test;

namespace {

TEST(SimCommandLine, HelpNamesEverySwitch) {
    const RunResult help = run(simBinary(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--port", "--state", "--log", "--processing", "--reject-all", "--delay", "--fail",
          "--redirect", "--require-cookie", "--base64-certs", "--status-cp1251",
          "--truncate-receipt", "--truncate-zip", "--identifier", "--issue-personal",
          "--list-received"})
        EXPECT_TRUE(help.out.contains(option)) << option;
}

TEST(SimCommandLine, WrongSwitchesAreRefused) {
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--port", "x"}, QStringList{"--fail", "/x=200"},
          QStringList{"--identifier", "odd"}, QStringList{"--redirect", "/x=404"}}) {
        const RunResult r = run(simBinary(), args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("see --help")) << args.join(' ').toStdString();
    }
}

TEST(SimCommandLine, LogFileGetsEveryRequest) {
    QTemporaryDir dir;
    const QString logFile = dir.filePath("sim.log");
    {
        SimProcess sim({"--log", logFile});
        ASSERT_TRUE(sim.started());
        auto client = sim.client();
        client->Get("/");
        client->Get("/nowhere");
    }
    QFile f(logFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_TRUE(log.contains("GET / -> 200"));
    EXPECT_TRUE(log.contains("GET /nowhere -> 404"));
}

TEST(SimCommandLine, IssuesAPersonalCertificateUnderTheDemoRoot) {
    QTemporaryDir state, out;
    const RunResult issue =
        run(simBinary(), {"--state", state.path(), "--issue-personal", out.path(),
                          "--personal-name", "Петров Петр", "--personal-reg", "7701999999"});
    ASSERT_EQ(issue.exitCode, 0) << issue.err.toStdString();
    SimProcess sim({}, state.path());
    SimPeer peer;
    ASSERT_TRUE(preparePeer(sim, peer));
    const QString cert = out.filePath("personal.pem");
    EXPECT_EQ(
        run("openssl", {"verify", "-engine", "gost", "-CAfile", peer.fundRoot, cert}).exitCode, 0);
    const RunResult subject = run("openssl", {"x509", "-engine", "gost", "-in", cert, "-noout",
                                              "-subject", "-nameopt", "oid,utf8,sep_comma_plus"});
    EXPECT_TRUE(subject.out.contains("1.2.643.3.141.1.1=7701999999"));
    EXPECT_TRUE(subject.out.contains("1.2.643.3.141.1.2="));
    EXPECT_TRUE(QString::fromUtf8(subject.out).contains("Петров Петр"));
    // Its key signs: a report made with it is accepted by the simulator.
    peer.senderCert = cert;
    peer.senderKey = out.filePath("personal.key");
    auto res = upload(*sim.client(), makeReport(peer, sampleReportXml(), peer.fundAp));
    ASSERT_TRUE(res);
    EXPECT_EQ(identifierFromAnswer(QByteArray::fromStdString(res->body)).size(), 14);
}

} // namespace
