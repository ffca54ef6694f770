// The road of one report through the simulator, checked with openssl as the other side.
#include "sim_harness.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace telva::test;

namespace {

QByteArray get(httplib::Client& client, const std::string& path, int* status = nullptr) {
    auto res = client.Get(path.c_str());
    if (status)
        *status = res ? res->status : -1;
    return res ? QByteArray::fromStdString(res->body) : QByteArray();
}

std::string statusPath(const QByteArray& id) {
    return "/kvb/statusreport?id=" + id.toStdString();
}

class SimRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started());
        ASSERT_TRUE(preparePeer(sim, peer));
        client = sim.client();
    }
    // Sends a report and returns its identifier.
    QByteArray send(const QByteArray& xml) {
        const QByteArray encrypted = makeReport(peer, xml, peer.fundAp);
        EXPECT_FALSE(encrypted.isEmpty());
        auto res = upload(*client, encrypted);
        EXPECT_TRUE(res && res->status == 200);
        return res ? identifierFromAnswer(QByteArray::fromStdString(res->body)) : QByteArray();
    }

    SimProcess sim{{"--processing", "2"}};
    SimPeer peer;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(SimRoad, ServesTheSiteAndTheFundsGostCertificates) {
    EXPECT_FALSE(get(*client, "/").isEmpty());
    int status = 0;
    EXPECT_TRUE(get(*client, "/template/2010/6/r7form.xsl", &status).contains("xsl:stylesheet"));
    EXPECT_EQ(status, 200);
    const RunResult text =
        run("openssl", {"x509", "-engine", "gost", "-in", peer.fundAp, "-noout", "-text"});
    EXPECT_TRUE(text.out.contains("Signature Algorithm: GOST R 34.11-94 with GOST R 34.10-2001"));
    EXPECT_TRUE(text.out.contains("Public Key Algorithm: GOST R 34.10-2001"));
    // The authorised person's certificate is issued by the fund's root.
    const RunResult chain =
        run("openssl", {"verify", "-engine", "gost", "-CAfile", peer.fundRoot, peer.fundAp});
    EXPECT_EQ(chain.exitCode, 0) << chain.out.toStdString() << chain.err.toStdString();
}

TEST_F(SimRoad, ReportGoesFromProcessingToAReceiptThatOpens) {
    const QByteArray id = send(sampleReportXml());
    ASSERT_EQ(id.size(), 14);
    EXPECT_EQ(id[4], '-');
    EXPECT_EQ(id[9], '-');

    int status = 0;
    get(*client, "/invoice?id=" + id.toStdString(), &status);
    EXPECT_EQ(status, 404) << "no receipt before the report is processed";
    for (int i = 0; i < 2; ++i) {
        const QByteArray page = get(*client, statusPath(id), &status);
        EXPECT_EQ(status, 200);
        EXPECT_TRUE(page.contains("обрабатывается"));
        EXPECT_FALSE(page.contains("invoice?id="));
        EXPECT_FALSE(page.contains("Ошибка"));
    }
    const QByteArray accepted = get(*client, statusPath(id));
    EXPECT_TRUE(accepted.contains("invoice?id=" + id));
    EXPECT_FALSE(accepted.contains("Ошибка"));
    EXPECT_FALSE(accepted.contains("invoice?fid="));

    const QByteArray receipt = get(*client, "/invoice?id=" + id.toStdString(), &status);
    ASSERT_EQ(status, 200);
    QByteArray why;
    const QByteArray zip = openReceipt(peer, receipt, &why);
    ASSERT_FALSE(zip.isEmpty()) << why.toStdString();
    EXPECT_EQ(get(*client, "/invoice?id=" + id.toStdString()), receipt) << "kept, not remade";

    const QString out = peer.path("unzipped");
    const RunResult unzip = run("unzip", {"-q", peer.path("receipt.zip"), "-d", out});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              QStringList({QString::fromLatin1(id + ".htm"), QString::fromLatin1(id + ".p7m")}));
    QFile htm(out + "/" + id + ".htm");
    ASSERT_TRUE(htm.open(QIODevice::ReadOnly));
    const QByteArray page = htm.readAll();
    EXPECT_TRUE(page.contains("charset=windows-1251"));
    EXPECT_TRUE(page.contains("\xCA\xC2\xC8\xD2\xC0\xCD\xD6\xC8\xDF")) << "КВИТАНЦИЯ in cp1251";
    EXPECT_TRUE(page.contains(id));

    // The accepted report: signed by the fund, carrying the bare R7REPORT element.
    const RunResult report =
        run("openssl", {"cms", "-verify", "-engine", "gost", "-noverify", "-nointern", "-certfile",
                        peer.fundAp, "-binary", "-inform", "DER", "-in", out + "/" + id + ".p7m"});
    ASSERT_EQ(report.exitCode, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("<R7REPORT><TITLE>\xCE\xD2\xD7\xC5\xD2</TITLE></R7REPORT>"));
}

TEST_F(SimRoad, RejectedReportGetsAnErrorPageAndAProtocolButNoReceipt) {
    const QByteArray id = send(sampleReportXml("<!-- SIM-REJECT -->"));
    ASSERT_FALSE(id.isEmpty());
    get(*client, statusPath(id));
    get(*client, statusPath(id));
    const QByteArray page = get(*client, statusPath(id));
    EXPECT_TRUE(page.contains("Ошибка"));
    EXPECT_TRUE(page.contains("invoice?fid=" + id));
    EXPECT_FALSE(page.contains("invoice?id="));
    int status = 0;
    EXPECT_TRUE(get(*client, "/invoice?fid=" + id.toStdString(), &status).contains("SIM-REJECT"));
    EXPECT_EQ(status, 200);
    get(*client, "/invoice?id=" + id.toStdString(), &status);
    EXPECT_EQ(status, 404);
}

TEST_F(SimRoad, UnknownReportIsNotFound) {
    int status = 0;
    get(*client, statusPath("0000-0000-0000"), &status);
    EXPECT_EQ(status, 404);
    get(*client, "/invoice?id=../../pki/ap.key", &status);
    EXPECT_EQ(status, 404);
}

TEST(SimGost2012, FundKeysAre2012AndUploadsOfEitherKindGetAReceiptThatOpens) {
    QTemporaryDir state;
    const TestPki& pki = TestPki::instance();
    for (const TestPki::Item* sender : {&pki.personal, &pki.personal2012}) {
        SimProcess sim({"--gost2012", "--processing", "0"}, state.path());
        SimPeer peer;
        ASSERT_TRUE(preparePeer(sim, peer, sender));
        const RunResult text =
            run("openssl", {"x509", "-engine", "gost", "-in", peer.fundAp, "-noout", "-text"});
        EXPECT_TRUE(text.out.contains("Public Key Algorithm: GOST R 34.10-2012 with 256 bit "
                                      "modulus"));
        auto client = sim.client();
        auto res = upload(*client, makeReport(peer, sampleReportXml(), peer.fundAp));
        ASSERT_TRUE(res);
        const QByteArray id = identifierFromAnswer(QByteArray::fromStdString(res->body));
        ASSERT_FALSE(id.isEmpty()) << res->body;
        get(*client, statusPath(id));
        QByteArray why;
        EXPECT_FALSE(
            openReceipt(peer, get(*client, "/invoice?id=" + id.toStdString()), &why).isEmpty())
            << why.toStdString();
    }
}

TEST(SimState, RestartKeepsTheFundsKeysAndTheReports) {
    QTemporaryDir state;
    QByteArray id, apCert;
    {
        SimProcess first({"--processing", "0"}, state.path());
        SimPeer peer;
        ASSERT_TRUE(preparePeer(first, peer));
        auto client = first.client();
        apCert = QByteArray::fromStdString(client->Get("/uc/R7_KVB_RF_2012.cer")->body);
        auto res = upload(*client, makeReport(peer, sampleReportXml(), peer.fundAp));
        ASSERT_TRUE(res);
        id = identifierFromAnswer(QByteArray::fromStdString(res->body));
        ASSERT_FALSE(id.isEmpty());
    }
    SimProcess second({"--processing", "0"}, state.path());
    ASSERT_TRUE(second.started());
    auto client = second.client();
    EXPECT_EQ(QByteArray::fromStdString(client->Get("/uc/R7_KVB_RF_2012.cer")->body), apCert);
    auto status = client->Get(statusPath(id).c_str());
    ASSERT_TRUE(status);
    EXPECT_NE(status->body.find("invoice?id=" + id.toStdString()), std::string::npos);
}

} // namespace
