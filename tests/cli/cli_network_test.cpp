#include "app/settings.h"
#include "cli_runner.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "test_pki.h"
#include "tinyproxy_fixture.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace telva {
namespace {

using test::CliRun;
using test::HttpTestServer;
using test::runCliInProcess;
using test::ScriptedResponse;

struct CliNetworkTest : ::testing::Test {
    void SetUp() override {
        site.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
        pointSiteAt(site.hostPort());
        savedPassword = qgetenv("TELVA_PROXY_PASSWORD");
        qunsetenv("TELVA_PROXY_PASSWORD");
    }
    void TearDown() override {
        if (savedPassword.isNull())
            qunsetenv("TELVA_PROXY_PASSWORD");
        else
            qputenv("TELVA_PROXY_PASSWORD", savedPassword);
    }
    void pointSiteAt(const QString& hostPort) {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("KVBSiteHost"), hostPort);
    }

    test::TempProfile profile;
    HttpTestServer site;
    QByteArray savedPassword;
};

TEST_F(CliNetworkTest, CheckConnectionSaysWhetherTheSiteAnswers) {
    const CliRun ok = runCliInProcess({"check-connection"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, QStringLiteral("Подключено.\n"));

    pointSiteAt(QStringLiteral("127.0.0.1:%1").arg(test::freeLoopbackPort()));
    const CliRun down = runCliInProcess({"check-connection"});
    EXPECT_EQ(down.status, 1);
    EXPECT_EQ(down.out, QStringLiteral("Не подключено.\n"));
    EXPECT_TRUE(down.err.startsWith(QStringLiteral("Не удается подключиться к серверу")));
}

TEST_F(CliNetworkTest, CheckConnectionThroughAnAuthenticatingProxy) {
    test::TinyproxyFixture proxy;
    if (test::TinyproxyFixture::binary().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed";
    ASSERT_TRUE(proxy.start({QStringLiteral("clerk"), QStringLiteral("s3cret")}))
        << proxy.errorText().toStdString();
    const QStringList args{"--proxy", proxy.hostPort(), "--proxy-user", "clerk",
                           "check-connection"};
    EXPECT_EQ(runCliInProcess(args).status, 1);
    qputenv("TELVA_PROXY_PASSWORD", "s3cret");
    const CliRun ok = runCliInProcess(args);
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out, QStringLiteral("Подключено. (%1)\n").arg(proxy.hostPort()));
    EXPECT_EQ(site.requestCount(), 1);
}

// A proxy port outside 1..65535 is refused as entered, before any request.
TEST_F(CliNetworkTest, ProxyPortOutOfRangeIsRefused) {
    for (const char* proxy : {"px.corp:0", "px.corp:65536", "myhttpproxy.corp:x"}) {
        const CliRun run = runCliInProcess({"--proxy", proxy, "check-connection"});
        EXPECT_NE(run.status, 0) << proxy;
        EXPECT_TRUE(run.err.contains(QStringLiteral("65535")) ||
                    run.err.contains(QStringLiteral("неверное целое значение")))
            << run.err.toStdString();
    }
    EXPECT_EQ(site.requestCount(), 0);
}

TEST_F(CliNetworkTest, InstallCertsPutsBothCertificatesInPlace) {
    const test::TestPki& pki = test::TestPki::instance();
    site.on("GET", "/uc/CA_KVB_RF_2012.cer", ScriptedResponse::ok(pki.fundRoot.certDer()));
    site.on("GET", "/uc/R7_KVB_RF_2012.cer", ScriptedResponse::ok(pki.fundAp.certDer()));
    // The root is new: without --yes it would stay out (see the unit test of the question).
    const CliRun declined = runCliInProcess({"--no", "install-certs"});
    EXPECT_EQ(declined.status, 1);
    EXPECT_TRUE(declined.err.contains(QStringLiteral("Корневой сертификат КВБ не установлен.")));
    const CliRun run = runCliInProcess({"--yes", "install-certs"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const CertIdentity fund = pki.fundAp.identity(7);
    EXPECT_TRUE(run.out.startsWith(
        QStringLiteral("Сертификаты успешно установлены. Сертификат уполномоченного лица КВБ: ")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(
        QLatin1Char('\n') + (fund.org.isEmpty() ? fund.subject : fund.org) + QLatin1Char('\n')))
        << run.out.toStdString();
    // The fund certificate identity reaches the settings store at the end of the run.
    const CliRun settings = runCliInProcess({"settings"});
    EXPECT_TRUE(settings.out.contains(QStringLiteral("PubSernum=") + fund.sernum + '\n'));

    site.on("GET", "/uc/CA_KVB_RF_2012.cer", ScriptedResponse::ok(QByteArray()));
    const CliRun empty = runCliInProcess({"install-certs"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("Не удалось загрузить сертификат.")));
}

} // namespace
} // namespace telva
