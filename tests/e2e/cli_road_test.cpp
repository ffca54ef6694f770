#include "cli_runner.h"
#include "road_fixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace telva;
using namespace telva::test;

namespace {

CliRun run(const QStringList& args) {
    // Every run takes the password out of the environment; each gets it as its own process would.
    const QByteArray password = qgetenv("TELVA_PROXY_PASSWORD");
    CliRun run = runCliInProcess(args);
    if (!password.isEmpty())
        qputenv("TELVA_PROXY_PASSWORD", password);
    return run;
}

CliRun cli(const QStringList& args) {
    CliRun run = ::run(args);
    EXPECT_EQ(run.status, 0) << args.join(' ').toStdString() << "\nout: " << run.out.toStdString()
                             << "\nerr: " << run.err.toStdString();
    return run;
}

} // namespace

// The road over plain http and over GOST TLS; through the proxy, https goes by CONNECT.
class RoadOverTransport : public RoadTest, public ::testing::WithParamInterface<bool> {
protected:
    RoadOverTransport() { tls_ = GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Transport, RoadOverTransport, ::testing::Values(false, true),
                         [](const auto& transport) { return transport.param ? "https" : "http"; });

TEST_P(RoadOverTransport, TerminalTakesAReportAllTheWayToItsCheckedReceipt) {
    qputenv("TELVA_PROXY_PASSWORD", kProxyPassword);
    cli({QStringLiteral("certs"), QStringLiteral("import"), QStringLiteral("--store"),
         QStringLiteral("0"), personalCert_, QStringLiteral("--key"), personalKey_});
    // Over https the fund's root needs no fingerprint question, so nobody answers one.
    const CliRun installed =
        cli(tls_ ? QStringList{QStringLiteral("install-certs")}
                 : QStringList{QStringLiteral("--yes"), QStringLiteral("install-certs")});
    EXPECT_TRUE(installed.out.contains(QStringLiteral("Сертификаты успешно установлены.")))
        << installed.out.toStdString();
    cli({QStringLiteral("certs"), QStringLiteral("choose"), QStringLiteral("personal"),
         QStringLiteral("--store"), QStringLiteral("0"), QStringLiteral("--serial"),
         personalSerial_});

    const QString encrypted = profile_.root() + QStringLiteral("/reports/квартал 1.er7");
    cli({QStringLiteral("sign"), QStringLiteral("--answer"), QStringLiteral("no"), report_,
         encrypted});
    ASSERT_TRUE(QFile::exists(encrypted));

    const CliRun sent = cli({QStringLiteral("send")});
    ASSERT_EQ(sent.status, 0) << "proxy: " << proxyLog().toStdString()
                              << "\nsimulator: " << sim_->log().toStdString();
    const QString id = sent.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(clock_.slept, 0) << "no request was recent when the upload went out";

    const CliRun listed = cli({QStringLiteral("reports"), QStringLiteral("list")});
    EXPECT_TRUE(listed.out.contains(id + QStringLiteral("\tквартал 1.xml\t")))
        << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("Обрабатывается.")));

    QString state;
    for (int attempt = 0; attempt < 4 && !state.contains(QStringLiteral("Успешно")); ++attempt)
        state = cli({QStringLiteral("reports"), QStringLiteral("refresh"), id}).out;
    ASSERT_TRUE(state.contains(QStringLiteral("Успешно обработан."))) << state.toStdString();
    EXPECT_GE(clock_.slept, 10000) << "the refresh right after the upload waits out the spacing";

    const QString folder = QStringLiteral("%1/KVB/TELVA/R7/ARC/%2/").arg(profile_.dataHome(), id);
    EXPECT_TRUE(QFile::exists(folder + id + QStringLiteral(".zip")))
        << QDir(folder).entryList().join(' ').toStdString();

    const CliRun shown = cli({QStringLiteral("reports"), QStringLiteral("show-accepted"), id});
    const QString view = shown.out.trimmed().split(QLatin1Char('\n')).last();
    const QByteArray xml = readFileBytes(view);
    EXPECT_TRUE(xml.contains("<R7REPORT>")) << view.toStdString();
    EXPECT_TRUE(xml.contains(sim_->hostPort().toLatin1())) << "the stylesheet host";

    // The gateway requests went through the authenticating proxy: over https as tunnels it
    // cannot look into.
    if (tls_) {
        EXPECT_TRUE(proxyLog().contains(QStringLiteral("CONNECT ") + sim_->hostPort()))
            << proxyLog().toStdString();
        EXPECT_FALSE(proxyLog().contains(QStringLiteral("/uploadfile")));
        EXPECT_TRUE(xml.contains("href='https://")) << "the stylesheet comes over https too";
        return;
    }
    const QString base = simHost();
    EXPECT_TRUE(proxyLog().contains(QStringLiteral("POST ") + base + QStringLiteral("/uploadfile")))
        << proxyLog().toStdString();
    EXPECT_TRUE(proxyLog().contains(QStringLiteral("GET ") + base +
                                    QStringLiteral("/kvb/statusreport?id=") + id));
}

// A folder of reports from a script: sent in one go, refused a second time, followed until
// accepted, and sent again on purpose.
TEST_F(RoadTest, TerminalSendsAFolderAndFollowsAReportForScripts) {
    qputenv("TELVA_PROXY_PASSWORD", kProxyPassword);
    cli({"certs", "import", "--store", "0", personalCert_, "--key", personalKey_});
    cli({"--yes", "install-certs"});
    cli({"certs", "choose", "personal", "--store", "0", "--serial", personalSerial_});
    const QByteArray report = readFileBytes(report_);
    const QString a = profile_.writeFile("batch/a.xml", report);
    profile_.writeFile("batch/b.xml", report + "<!-- филиал -->\n");
    profile_.writeFile("batch/notes.txt", "не отчет");
    const QString batch = profile_.root() + "/batch";

    const CliRun sent = cli({"send-all", "--json", batch});
    QStringList ids;
    QStringList results;
    for (const QString& line : sent.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        results.append(object.value("result").toString());
        if (object.contains("id"))
            ids.append(object.value("id").toString());
    }
    EXPECT_EQ(results, QStringList({"sent", "sent", "skipped"})) << sent.out.toStdString();
    ASSERT_EQ(ids.size(), 2);
    EXPECT_GE(clock_.slept, 10000) << "the second upload waits out the spacing";

    const CliRun again = run({"send-all", batch});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(
        again.out.count(QRegularExpression(QStringLiteral("\tошибка\tОтчет \"[ab]\\.xml\" уже "
                                                          "отправлен "))),
        2)
        << again.out.toStdString();
    EXPECT_EQ(again.out.count(QStringLiteral("\tпропущен\t")), 3) << "notes and both .er7";

    EXPECT_EQ(run({"reports", "wait", ids[0], "--timeout", "0"}).status, 3);
    const CliRun accepted = cli({"reports", "wait", ids[0]});
    EXPECT_TRUE(accepted.out.startsWith(ids[0] + "\tУспешно обработан.\n"))
        << accepted.out.toStdString();
    EXPECT_TRUE(accepted.out.trimmed().endsWith(".zip")) << accepted.out.toStdString();

    const CliRun resent =
        cli({"send", "--again", "--json", "--out", profile_.root() + "/batch/a.er7", "--in", a});
    const QJsonObject answer = QJsonDocument::fromJson(resent.out.toUtf8()).object();
    EXPECT_FALSE(answer.value("id").toString().isEmpty()) << resent.out.toStdString();
    const CliRun listed = cli({"reports", "list", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(listed.out.toUtf8()).array().size(), 3);
}
