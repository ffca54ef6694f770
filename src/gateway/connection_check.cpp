#include "gateway/connection_check.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/program.h"
#include "app/texts.h"
#include "gateway/http_client.h"
#include "gateway/proxy_detect.h"

namespace telva {

namespace {

// A site reached whose certificate failed is not "no connection": the failure is said as it is.
QString noConnectionText(const Connection& connection) {
    return connection.kind() == ErrorKind::Tls ? connection.text()
                                               : QString::fromUtf8(kNoConnectionText);
}

} // namespace

Connection CheckConnection(AppContext& ctx, HttpClient& client) {
    RequestOptions options;
    options.connectTimeoutSeconds = kCheckConnectTimeoutSeconds;
    const QString site = fundAddress(ctx.settings.hosts.kvbSite, QStringLiteral("/"));
    const Result<QByteArray> page = client.HttpGetToString(site, options);
    ctx.connected = page && !page->isEmpty();
    if (!page)
        return page.status();
    return ctx.connected ? Connection() : Connection::fail(QString());
}

Result<Connection> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client,
                                               ProxyDialog dialog) {
    return ConnectionCheckAtActivation(ctx, client, DesktopProxySources::system(), dialog);
}

Result<Connection> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client,
                                               const DesktopProxySources& sources,
                                               ProxyDialog dialog) {
    // Activated while one of its own requests runs (the window paints meanwhile): that
    // request decides, not a second check on top of it.
    if (client.busy())
        return Connection();
    ctx.showProgress(QString::fromUtf8(kCheckingConnectionText));
    Connection connection = CheckConnection(ctx, client);
    if (!connection && connection.kind() != ErrorKind::Tls) {
        const Result<Connection> detected = DetectProxy(ctx, client, sources, dialog);
        if (!detected)
            return detected;
        // Detection that made no request of its own leaves the first check's failure.
        if (*detected || !detected->text().isEmpty())
            connection = *detected;
    }
    ctx.showStatus(connection ? QString() : noConnectionText(connection));
    return connection;
}

Result<bool> EditProxySettings(AppContext& ctx, HttpClient& client, QString& host, int& port,
                               QString& user) {
    QString hostText, portText, userText;
    if (!host.isEmpty()) {
        hostText = host;
        portText = port == 0 ? QString() : QString::number(port);
        userText = user;
    }
    if (!ctx.frontend.editProxySettings(hostText, portText, userText))
        return false;

    int newPort = 0;
    if (!portText.isEmpty()) {
        const Result<int> entered = ParsePort(portText);
        if (!entered)
            return entered.error();
        newPort = *entered;
    }
    ctx.showProgress(QString::fromUtf8(kCheckingConnectionText));
    ctx.settings.proxy.host = hostText;
    ctx.settings.proxy.port = newPort;
    // The check goes as the user named in the dialog, so that a proxy wanting a password
    // gets it asked for now rather than refusing the check.
    if (userText != ctx.settings.proxy.user) {
        ctx.settings.proxy.user = userText;
        ctx.settings.proxy.password.clear();
    }
    if (const Connection connection = CheckConnection(ctx, client); !connection) {
        const QString why = noConnectionText(connection);
        ctx.showStatus(why);
        return Result<bool>::fail(why);
    }
    ctx.showStatus(QString::fromUtf8(kConnectionMadeText));
    host = hostText;
    port = newPort;
    user = userText;
    return true;
}

Status ChangeProxySettings(AppContext& ctx, HttpClient& client) {
    ProxySettings& proxy = ctx.settings.proxy;
    QString host = proxy.host;
    int port = proxy.port;
    QString user = proxy.user;
    const Result<bool> accepted = EditProxySettings(ctx, client, host, port, user);
    if (!accepted)
        return accepted.status();
    if (!*accepted)
        return {};
    proxy.host = host;
    proxy.port = port;
    if (user != proxy.user)
        proxy.password.clear();
    proxy.user = user;
    return {};
}

void TestConnection(AppContext& ctx, HttpClient& client) {
    const Connection connection = CheckConnection(ctx, client);
    const bool connected = connection.ok();
    if (!connected && connection.kind() == ErrorKind::Tls) {
        ctx.frontend.messageBox(connection.text(), programTitle(), Frontend::Icon::Warning);
        return;
    }
    ctx.frontend.messageBox(connected ? connectedText() : notConnectedText(), programTitle(),
                            Frontend::Icon::None);
}

QString PortFieldText(const QString& text) {
    if (text.isEmpty())
        return text;
    bool ok = false;
    text.toInt(&ok);
    return ok ? text : QString();
}

} // namespace telva
