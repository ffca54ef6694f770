#include "app/context.h"
#include "app/texts.h"
#include "fake_frontend.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "gateway/proxy_detect.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"
#include "tls_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace telva {
namespace {

using test::HttpTestServer;
using test::RecordedRequest;
using test::ScriptedResponse;

// Nothing from the desktop: no browser, no system proxy, no Firefox profile.
DesktopProxySources noDesktop() {
    DesktopProxySources sources;
    sources.defaultBrowser = [] { return QString(); };
    sources.systemProxyText = [] { return QString(); };
    sources.firefoxRoot = [] { return QString(); };
    return sources;
}

struct ConnectionCheckTest : ::testing::Test {
    void SetUp() override {
        site.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
        fakeProxy.onOther([](const RecordedRequest&) { return ScriptedResponse::ok("via proxy"); });
        ctx.settings.hosts.kvbSite = site.hostPort();
    }
    void siteUnreachable() {
        ctx.settings.hosts.kvbSite = QStringLiteral("127.0.0.1:%1").arg(test::freeLoopbackPort());
    }
    // The dialog answers with the given texts.
    void dialogAnswers(const QString& host, const QString& port, const QString& user) {
        frontend.proxyDialogAnswer = [=, this](QString& h, QString& p, QString& u) {
            seenInDialog = {h, p, u};
            h = host;
            p = port;
            u = user;
            return true;
        };
    }

    test::FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer site;
    HttpTestServer fakeProxy;
    HttpClient client{ctx};
    QStringList seenInDialog;
};

TEST_F(ConnectionCheckTest, CheckConnectionAsksForTheSiteRoot) {
    EXPECT_TRUE(CheckConnection(ctx, client));
    EXPECT_TRUE(ctx.connected);
    ASSERT_EQ(site.requestCount(), 1);
    EXPECT_EQ(site.request(0).target, QByteArray("/"));

    site.on("GET", "/", ScriptedResponse::ok(""));
    EXPECT_FALSE(CheckConnection(ctx, client));
    EXPECT_FALSE(ctx.connected);
}

TEST_F(ConnectionCheckTest, ARedirectBeforeTheFirstUploadIsNotAConnection) {
    site.on("GET", "/", ScriptedResponse::redirect(302, site.url("/portal").toLatin1()));
    site.on("GET", "/portal", ScriptedResponse::ok("portal"));
    EXPECT_FALSE(CheckConnection(ctx, client));
    client.setFollowRedirects(true);
    EXPECT_TRUE(CheckConnection(ctx, client));
}

TEST_F(ConnectionCheckTest, ActivationWhenConnectedClearsTheStatusLine) {
    const Result<Connection> connected = ConnectionCheckAtActivation(ctx, client, noDesktop());
    ASSERT_TRUE(connected.ok());
    EXPECT_TRUE(*connected);
    EXPECT_EQ(frontend.statuses,
              QStringList({QStringLiteral("Проверка подключения к Internet ..."), QString()}));
    EXPECT_GE(frontend.processed, 1);
    EXPECT_EQ(frontend.proxyDialogs, 0);
}

TEST_F(ConnectionCheckTest, ActivationWithoutAnyProxyAndACancelledDialogFails) {
    siteUnreachable();
    const Result<Connection> connected = ConnectionCheckAtActivation(ctx, client, noDesktop());
    ASSERT_TRUE(connected.ok());
    EXPECT_FALSE(*connected);
    EXPECT_FALSE(ctx.connected);
    EXPECT_EQ(frontend.proxyDialogs, 1);
    EXPECT_EQ(frontend.lastStatus(), QStringLiteral("Не удается подключиться к Internet."));
}

TEST_F(ConnectionCheckTest, TheDialogsProxyIsCheckedAndTakenWhenItWorks) {
    siteUnreachable();
    dialogAnswers(QStringLiteral("127.0.0.1"), QString::number(fakeProxy.port()),
                  QStringLiteral("clerk"));
    const Result<Connection> detected = DetectProxy(ctx, client, noDesktop());
    ASSERT_TRUE(detected.ok()) << detected.text().toStdString();
    EXPECT_TRUE(*detected);
    EXPECT_EQ(seenInDialog, QStringList({QString(), QString(), QString()}));
    EXPECT_EQ(ctx.settings.proxy.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
    EXPECT_EQ(ctx.settings.proxy.user, QStringLiteral("clerk"));
    EXPECT_EQ(frontend.lastStatus(), QStringLiteral("Подключиться к Internet установлено."));
    EXPECT_EQ(fakeProxy.requestCount(), 1);
}

TEST_F(ConnectionCheckTest, AFailedCheckAfterTheDialogEndsTheActivationWithAnError) {
    siteUnreachable();
    const quint16 deadPort = test::freeLoopbackPort();
    dialogAnswers(QStringLiteral("127.0.0.1"), QString::number(deadPort), QString());
    const Result<Connection> connected = ConnectionCheckAtActivation(ctx, client, noDesktop());
    ASSERT_FALSE(connected.ok());
    EXPECT_EQ(connected.text(), QStringLiteral("Не удается подключиться к Internet."));
    EXPECT_EQ(frontend.lastStatus(), QStringLiteral("Не удается подключиться к Internet."));
    // The client keeps what the dialog gave.
    EXPECT_EQ(ctx.settings.proxy.port, deadPort);
}

TEST_F(ConnectionCheckTest, ProxyActionFillsTheDialogAndClearsThePasswordOnlyForANewUser) {
    ctx.settings.proxy = {QStringLiteral("127.0.0.1"), 0, QStringLiteral("clerk"),
                          QStringLiteral("pw")};
    dialogAnswers(QStringLiteral("127.0.0.1"), QString::number(fakeProxy.port()),
                  QStringLiteral("clerk"));
    ASSERT_TRUE(ChangeProxySettings(ctx, client).ok());
    EXPECT_EQ(seenInDialog,
              QStringList({QStringLiteral("127.0.0.1"), QString(), QStringLiteral("clerk")}));
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
    EXPECT_EQ(ctx.settings.proxy.password, QStringLiteral("pw"));

    dialogAnswers(QStringLiteral("127.0.0.1"), QString::number(fakeProxy.port()),
                  QStringLiteral("accountant"));
    ASSERT_TRUE(ChangeProxySettings(ctx, client).ok());
    EXPECT_EQ(seenInDialog.at(1), QString::number(fakeProxy.port()));
    EXPECT_EQ(ctx.settings.proxy.user, QStringLiteral("accountant"));
    EXPECT_TRUE(ctx.settings.proxy.password.isEmpty());

    frontend.proxyDialogAnswer = nullptr; // cancelled
    const ProxySettings before = ctx.settings.proxy;
    ASSERT_TRUE(ChangeProxySettings(ctx, client).ok());
    EXPECT_EQ(ctx.settings.proxy.host, before.host);
    EXPECT_EQ(ctx.settings.proxy.user, before.user);
}

TEST_F(ConnectionCheckTest, ABadPortTextFromTheDialogIsAConversionError) {
    dialogAnswers(QStringLiteral("proxy"), QStringLiteral("80x"), QString());
    const Status status = ChangeProxySettings(ctx, client);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.text(), QStringLiteral("'80x' - неверное целое значение"));
}

// A site reached whose certificate fails is not "no connection": the check names the server
// and the reason, and another proxy would not help, so the dialog stays shut.
TEST_F(ConnectionCheckTest, ATlsFailureIsSaidAsSuchAndOpensNoProxyDialog) {
    test::TempProfile profile; // the program's "Root" does not hold the server's CA
    test::OpensslServer server;
    ASSERT_TRUE(server.start(test::TlsCerts::instance().server))
        << server.errorText().toStdString();
    ctx.settings.hosts.kvbSite = QStringLiteral("https://127.0.0.1:%1").arg(server.port());
    const QString why = QStringLiteral("Не удалось установить защищенное соединение с сервером "
                                       "127.0.0.1: сертификат сервера выдан недоверенным центром "
                                       "сертификации.");
    const Result<Connection> connected = ConnectionCheckAtActivation(ctx, client, noDesktop());
    ASSERT_TRUE(connected) << connected.text().toStdString();
    EXPECT_FALSE(*connected);
    EXPECT_EQ(frontend.proxyDialogs, 0);
    EXPECT_EQ(frontend.lastStatus(), why);
    TestConnection(ctx, client);
    ASSERT_FALSE(frontend.boxes.isEmpty());
    EXPECT_EQ(frontend.boxes.last().text, why);
}

TEST_F(ConnectionCheckTest, TestConnectionAnswersInAMessageBox) {
    TestConnection(ctx, client);
    siteUnreachable();
    TestConnection(ctx, client);
    ASSERT_EQ(frontend.boxes.size(), 2);
    EXPECT_EQ(frontend.boxes.at(0).text, connectedText());
    EXPECT_EQ(frontend.boxes.at(1).text, notConnectedText());
}

// A frontend whose painting runs an event handler that makes requests of its own.
class ReenteringFrontend : public test::FakeFrontend {
public:
    void processEvents() override {
        FakeFrontend::processEvents();
        if (!nested || ran)
            return;
        ran = true;
        nested();
    }
    std::function<void()> nested;
    bool ran = false;
};

TEST(ConnectionCheckReentry, AnActivationDuringARequestChecksNothing) {
    ReenteringFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer site;
    site.on("GET", "/slow", [](const RecordedRequest&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return ScriptedResponse::ok("done");
    });
    site.on("GET", "/", ScriptedResponse::ok("site"));
    ctx.settings.hosts.kvbSite = site.hostPort();
    HttpClient client(ctx);
    std::optional<Result<Connection>> nestedCheck;
    QByteArray nestedGet;
    frontend.nested = [&] {
        nestedCheck = ConnectionCheckAtActivation(ctx, client, noDesktop());
        nestedGet = test::bodyOf(client.HttpGetToString(site.url()));
    };
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(site.url("/slow"))), QByteArray("done"));
    ASSERT_TRUE(frontend.ran);
    ASSERT_TRUE(nestedCheck && nestedCheck->ok());
    EXPECT_TRUE(**nestedCheck);
    EXPECT_TRUE(frontend.statuses.isEmpty());
    EXPECT_TRUE(nestedGet.isEmpty());
    EXPECT_EQ(site.requestCount(), 1);
}

TEST(PortField, KeepsOnlyWholeNumbers) {
    EXPECT_EQ(PortFieldText(QString()), QString());
    EXPECT_EQ(PortFieldText(QStringLiteral("3128")), QStringLiteral("3128"));
    EXPECT_EQ(PortFieldText(QStringLiteral("31a")), QString());
    EXPECT_EQ(PortFieldText(QStringLiteral("99999999999")), QString());
}

} // namespace
} // namespace telva
