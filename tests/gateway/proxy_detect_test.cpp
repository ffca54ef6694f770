#include "app/context.h"
#include "fake_frontend.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "gateway/proxy_detect.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <map>

namespace telva {
namespace {

using test::HttpTestServer;
using test::RecordedRequest;
using test::ScriptedResponse;

// Sets environment variables for a test and puts the old values back afterwards.
class EnvironmentGuard {
public:
    ~EnvironmentGuard() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }
    void set(const QByteArray& name, const QByteArray& value) {
        remember(name);
        qputenv(name.constData(), value);
    }
    void unset(const QByteArray& name) {
        remember(name);
        qunsetenv(name.constData());
    }

private:
    void remember(const QByteArray& name) {
        if (!saved_.count(name))
            saved_[name] = qEnvironmentVariableIsSet(name.constData()) ? qgetenv(name.constData())
                                                                       : QByteArray();
    }
    std::map<QByteArray, QByteArray> saved_;
};

// A fixture home folder read through the real desktop readers: xdg-settings, gsettings with
// its key-file backend, the environment and ~/.mozilla/firefox.
struct ProxyDetectTest : ::testing::Test {
    void SetUp() override {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "XDG_CURRENT_DESKTOP",
                                 "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            env.unset(name);
        env.set("GSETTINGS_BACKEND", "keyfile");
        // The fund's site is unreachable directly; only the fake proxy answers.
        ctx.settings.hosts.kvbSite = QStringLiteral("127.0.0.1:%1").arg(test::freeLoopbackPort());
        fakeProxy.onOther([](const RecordedRequest&) { return ScriptedResponse::ok("via proxy"); });
    }
    void defaultBrowser(const QString& desktopEntry) {
        profile.writeFile("home/.local/share/applications/" + desktopEntry,
                          "[Desktop Entry]\nName=Browser\nExec=/bin/true %u\nType=Application\n");
        profile.writeFile("home/.config/mimeapps.list",
                          "[Default Applications]\nx-scheme-handler/http=" + desktopEntry.toUtf8() +
                              "\nx-scheme-handler/https=" + desktopEntry.toUtf8() + "\n");
    }
    void firefoxProfile(const QByteArray& prefs) {
        profile.writeFile("home/.mozilla/firefox/profiles.ini",
                          "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\n"
                          "IsRelative=1\nPath=ab12cd.default-esr\nDefault=1\n");
        profile.writeFile("home/.mozilla/firefox/ab12cd.default-esr/prefs.js", prefs);
    }
    QByteArray proxyPrefs(bool withPort = true) const {
        QByteArray prefs = "// Mozilla User Preferences\n"
                           "user_pref(\"browser.startup.page\", 3);\n"
                           "user_pref(\"network.proxy.http\", \"127.0.0.1\");\n";
        if (withPort)
            prefs += "user_pref(\"network.proxy.http_port\", " +
                     QByteArray::number(fakeProxy.port()) + ");\n";
        return prefs + "user_pref(\"network.proxy.type\", 1);\n";
    }
    bool haveDesktopTools() const {
        return !QStandardPaths::findExecutable("xdg-settings").isEmpty();
    }

    EnvironmentGuard env;
    test::TempProfile profile;
    test::FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer fakeProxy;
    HttpClient client{ctx};
};

TEST_F(ProxyDetectTest, FirefoxAsDefaultBrowserGivesTheProfilesProxy) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("firefox-esr.desktop");
    firefoxProfile(proxyPrefs());
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok()) << detected.text().toStdString();
    EXPECT_TRUE(*detected);
    EXPECT_EQ(ctx.settings.proxy.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
    EXPECT_EQ(fakeProxy.requestCount(), 1);
    EXPECT_EQ(frontend.proxyDialogs, 0);
}

TEST_F(ProxyDetectTest, APrefsFileWithAHostButNoPortIsAConversionError) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("firefox.desktop");
    firefoxProfile(proxyPrefs(false));
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_FALSE(detected.ok());
    EXPECT_EQ(detected.text(), QStringLiteral("'' - неверное целое значение"));
    EXPECT_EQ(fakeProxy.requestCount(), 0);
}

TEST_F(ProxyDetectTest, AMissingFirefoxProfileGivesFalseWithoutACheck) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("firefox-esr.desktop");
    env.set("http_proxy", "http://127.0.0.1:" + QByteArray::number(fakeProxy.port()));
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_FALSE(*detected);
    EXPECT_EQ(frontend.proxyDialogs, 0);
    EXPECT_EQ(fakeProxy.requestCount(), 0);
    EXPECT_TRUE(ctx.settings.proxy.host.isEmpty());
}

TEST_F(ProxyDetectTest, FirefoxWithoutAProxyLineFallsToTheCheckAndTheDialog) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("firefox-esr.desktop");
    firefoxProfile("user_pref(\"network.proxy.type\", 0);\n");
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_FALSE(*detected);
    EXPECT_EQ(frontend.proxyDialogs, 1);
}

TEST_F(ProxyDetectTest, AProfileOutsideTheRootIsFoundByItsAbsolutePath) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("firefox-esr.desktop");
    const QString prefs = profile.writeFile("elsewhere/prof/prefs.js", proxyPrefs());
    profile.writeFile("home/.mozilla/firefox/profiles.ini",
                      "[Profile0]\nIsRelative=0\nPath=" + profile.root().toUtf8() +
                          "/elsewhere/prof\n");
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_TRUE(*detected);
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
}

TEST_F(ProxyDetectTest, AnotherBrowserTakesTheEnvironmentProxy) {
    if (!haveDesktopTools())
        GTEST_SKIP() << "xdg-settings is not installed";
    defaultBrowser("chromium.desktop");
    firefoxProfile("user_pref(\"network.proxy.http\", \"10.9.9.9\");\n");
    env.set("http_proxy",
            "http://clerk:pw@127.0.0.1:" + QByteArray::number(fakeProxy.port()) + "/");
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_TRUE(*detected);
    EXPECT_EQ(ctx.settings.proxy.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
}

TEST_F(ProxyDetectTest, TheDesktopsManualProxyComesBeforeTheEnvironment) {
    if (!haveDesktopTools() || QStandardPaths::findExecutable("gsettings").isEmpty())
        GTEST_SKIP() << "desktop tools are not installed";
    profile.writeFile("home/.config/glib-2.0/settings/keyfile",
                      "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='127.0.0.1'\n"
                      "port=" +
                          QByteArray::number(fakeProxy.port()) + "\n");
    env.set("HTTP_PROXY", "http://10.9.9.9:3128");
    const QString text = DesktopProxySources::system().systemProxyText();
    if (text.isEmpty())
        GTEST_SKIP() << "the desktop proxy schema is not installed";
    EXPECT_EQ(text, QStringLiteral("127.0.0.1:%1").arg(fakeProxy.port()));
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_TRUE(*detected);
    EXPECT_EQ(ctx.settings.proxy.port, fakeProxy.port());
}

TEST_F(ProxyDetectTest, NoSystemProxyGoesStraightToTheCheck) {
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_FALSE(*detected);
    EXPECT_EQ(frontend.proxyDialogs, 1);
    EXPECT_TRUE(ctx.settings.proxy.host.isEmpty());
}

TEST_F(ProxyDetectTest, ANewUserFromTheDialogDropsTheOldPassword) {
    ctx.settings.proxy.user = QStringLiteral("old");
    ctx.settings.proxy.password = QStringLiteral("pw");
    frontend.proxyDialogAnswer = [this](QString& h, QString& p, QString& u) {
        h = QStringLiteral("127.0.0.1");
        p = QString::number(fakeProxy.port());
        u = QStringLiteral("new");
        return true;
    };
    const Result<Connection> detected = DetectProxy(ctx, client);
    ASSERT_TRUE(detected.ok());
    EXPECT_TRUE(*detected);
    EXPECT_EQ(ctx.settings.proxy.user, QStringLiteral("new"));
    EXPECT_TRUE(ctx.settings.proxy.password.isEmpty());
}

TEST(ProxyText, TheFirstHttpDecides) {
    EXPECT_EQ(ProxyFromSystemText("http=A:8080;https=B:8443"), QStringLiteral("A:8080"));
    EXPECT_EQ(ProxyFromSystemText("A:3128"), QStringLiteral("A:3128"));
    EXPECT_EQ(ProxyFromSystemText("myhttpproxy.corp:3128"),
              QStringLiteral("myhttpproxy.corp:3128"));
    EXPECT_EQ(ProxyFromSystemText("https=B:8443;http=A:8080"), QStringLiteral("B:8443"));
    EXPECT_EQ(HostPortOfProxyUrl("http://u:p@proxy.corp:3128/"), QStringLiteral("proxy.corp:3128"));
    EXPECT_EQ(HostPortOfProxyUrl("proxy.corp:8080"), QStringLiteral("proxy.corp:8080"));
}

TEST(ProxyText, FirefoxPrefsAndIniValues) {
    const std::optional<FirefoxProxy> proxy = FirefoxProxyFromPrefs(
        "user_pref(\"network.proxy.http_port\", 8080);\nuser_pref(\"network.proxy.http\", "
        "\"px.corp\");\n");
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy->host, QStringLiteral("px.corp"));
    EXPECT_EQ(proxy->portText, QStringLiteral("8080"));
    EXPECT_FALSE(FirefoxProxyFromPrefs("user_pref(\"network.proxy.type\", 1);"));
    // Only 255 characters after the marker are looked at.
    const QByteArray longHost(300, 'h');
    EXPECT_EQ(FirefoxProxyFromPrefs("user_pref(\"network.proxy.http\", \"" + longHost + "\");")
                  ->host.size(),
              255);
    EXPECT_EQ(IniValue("[General]\nPath=x\n[profile0]\r\n path = a b \r\n", "Profile0", "Path"),
              QStringLiteral("a b"));
    EXPECT_EQ(IniValue("[Profile1]\nPath=x\n", "Profile0", "Path"), QString());
}

} // namespace
} // namespace telva
