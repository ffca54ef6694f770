#include "gateway/proxy_detect.h"

#include "app/context.h"
#include "app/settings.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace telva {

namespace {

// The trimmed standard output of a desktop tool; empty when it is missing or fails.
QString toolOutput(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A gsettings string value without its quotes ('host' -> host).
QString unquoted(QString value) {
    if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) &&
        value.endsWith(QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    return value;
}

QString gsettingsProxyText() {
    const QString gsettings = QStringLiteral("gsettings");
    const QString mode = unquoted(
        toolOutput(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.system.proxy"),
                               QStringLiteral("mode")}));
    if (mode != QLatin1String("manual"))
        return {};
    const QString host = unquoted(
        toolOutput(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.system.proxy.http"),
                               QStringLiteral("host")}));
    if (host.isEmpty())
        return {};
    const QString port =
        toolOutput(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.system.proxy.http"),
                               QStringLiteral("port")});
    return host + QLatin1Char(':') + (port.isEmpty() ? QStringLiteral("0") : port);
}

QString environmentProxyText() {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const QString value = qEnvironmentVariable(name).trimmed();
        if (!value.isEmpty())
            return HostPortOfProxyUrl(value);
    }
    return {};
}

// The text after the first occurrence of marker, at most 255 characters of it, cut before
// the first end marker; nothing when marker does not occur.
std::optional<QByteArray> valueAfter(const QByteArray& text, const QByteArray& marker,
                                     const QByteArray& end) {
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    QByteArray value = text.mid(at + marker.size(), 255);
    const qsizetype stop = value.indexOf(end);
    if (stop >= 0)
        value.truncate(stop);
    return value;
}

// The Firefox branch: false when the profile cannot be found; an error for a bad port.
Result<bool> takeFirefoxProxy(AppContext& ctx, const DesktopProxySources& sources) {
    const QString root = sources.firefoxRoot ? sources.firefoxRoot() : QString();
    if (root.isEmpty())
        return false;
    QFile ini(root + QStringLiteral("profiles.ini"));
    const QByteArray iniText = ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    const QString path = IniValue(iniText, QStringLiteral("Profile0"), QStringLiteral("Path"));
    if (path.isEmpty())
        return false;
    // Firefox writes IsRelative=0 for a profile kept outside the root; its Path is absolute.
    const bool relative = IniValue(iniText, QStringLiteral("Profile0"),
                                   QStringLiteral("IsRelative")) != QLatin1String("0");
    QFile prefs((relative ? root + path : path) + QStringLiteral("/prefs.js"));
    const QByteArray prefsText = prefs.open(QIODevice::ReadOnly) ? prefs.readAll() : QByteArray();
    const std::optional<FirefoxProxy> proxy = FirefoxProxyFromPrefs(prefsText);
    if (proxy) {
        const Result<int> port = ParsePort(proxy->portText);
        if (!port)
            return port.error();
        ctx.settings.proxy.host = proxy->host;
        ctx.settings.proxy.port = *port;
    }
    return true;
}

} // namespace

DesktopProxySources DesktopProxySources::system() {
    DesktopProxySources sources;
    sources.defaultBrowser = [] {
        return toolOutput(QStringLiteral("xdg-settings"),
                          {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    };
    sources.systemProxyText = [] {
        const QString desktop = gsettingsProxyText();
        return desktop.isEmpty() ? environmentProxyText() : desktop;
    };
    sources.firefoxRoot = [] {
        const QString home = QDir::homePath();
        if (qEnvironmentVariable("HOME").isEmpty() || home.isEmpty())
            return QString();
        return home + QStringLiteral("/.mozilla/firefox/");
    };
    return sources;
}

QString ProxyFromSystemText(const QString& text) {
    // Only a list of schemes ("http=A:8080;https=B:8443") is cut; a plain host:port whose
    // host merely contains "http" (myhttpproxy.corp:3128) is taken whole.
    const qsizetype at = text.indexOf(QLatin1String("http"));
    if (at < 0 || !text.contains(QLatin1Char('=')))
        return text;
    QString rest = text.mid(at + 4);
    const qsizetype semicolon = rest.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        rest.truncate(semicolon);
    const qsizetype equals = rest.indexOf(QLatin1Char('='));
    if (equals >= 0)
        rest = rest.mid(equals + 1);
    return rest;
}

std::optional<FirefoxProxy> FirefoxProxyFromPrefs(const QByteArray& prefs) {
    const std::optional<QByteArray> host =
        valueAfter(prefs, QByteArrayLiteral("user_pref(\"network.proxy.http\", \""), "\");");
    if (!host)
        return std::nullopt;
    const std::optional<QByteArray> port =
        valueAfter(prefs, QByteArrayLiteral("user_pref(\"network.proxy.http_port\", "), ");");
    return FirefoxProxy{QString::fromUtf8(*host), port ? QString::fromUtf8(*port) : QString()};
}

QString IniValue(const QByteArray& ini, const QString& section, const QString& key) {
    bool inSection = false;
    for (const QByteArray& rawLine : ini.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inSection =
                line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

QString HostPortOfProxyUrl(const QString& url) {
    QString rest = url;
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        rest = rest.mid(scheme + 3);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        rest.truncate(slash);
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0)
        rest = rest.mid(at + 1);
    return rest;
}

Result<Connection> DetectProxy(AppContext& ctx, HttpClient& client,
                               const DesktopProxySources& sources, ProxyDialog dialog) {
    const QString browser = sources.defaultBrowser ? sources.defaultBrowser() : QString();
    if (browser.contains(QLatin1String("firefox"), Qt::CaseInsensitive)) {
        const Result<bool> firefox = takeFirefoxProxy(ctx, sources);
        if (!firefox)
            return firefox.error();
        if (!*firefox)
            return Connection::fail(QString());
    } else {
        const QString text = sources.systemProxyText ? sources.systemProxyText() : QString();
        if (!text.isEmpty()) {
            const Status split = SplitHostPort(ProxyFromSystemText(text), ctx.settings.proxy.host,
                                               ctx.settings.proxy.port);
            if (!split)
                return split.error();
        }
    }
    const Connection connection = CheckConnection(ctx, client);
    if (connection)
        return connection;
    // A server whose certificate fails was reached: another proxy would not mend that.
    if (dialog == ProxyDialog::Skip || connection.kind() == ErrorKind::Tls)
        return connection;

    ProxySettings& proxy = ctx.settings.proxy;
    QString host = proxy.host;
    int port = proxy.port;
    QString user = proxy.user;
    const Result<bool> accepted = EditProxySettings(ctx, client, host, port, user);
    if (!accepted)
        return accepted.error();
    if (!*accepted)
        return connection;
    proxy.host = host;
    proxy.port = port;
    // The password belonged to the old name; the next request asks for the new one's.
    if (user != proxy.user)
        proxy.password.clear();
    proxy.user = user;
    return Connection();
}

} // namespace telva
