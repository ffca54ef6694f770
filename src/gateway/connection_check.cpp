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
QString noConnectionText(const HttpClient& client) {
    return client.lastTlsFailure() ? client.lastError() : QString::fromUtf8(kNoConnectionText);
}

} // namespace

bool CheckConnection(AppContext& ctx, HttpClient& client) {
    RequestOptions options;
    options.connectTimeoutSeconds = kCheckConnectTimeoutSeconds;
    const QString site = fundAddress(ctx.settings.hosts.kvbSite, QStringLiteral("/"));
    ctx.connected = !client.HttpGetToString(site, options).isEmpty();
    return ctx.connected;
}

Result<bool> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client, ProxyDialog dialog) {
    return ConnectionCheckAtActivation(ctx, client, DesktopProxySources::system(), dialog);
}

Result<bool> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client,
                                         const DesktopProxySources& sources, ProxyDialog dialog) {
    // Activated while one of its own requests runs (the window paints meanwhile): that
    // request decides, not a second check on top of it.
    if (client.busy())
        return true;
    ctx.showProgress(QString::fromUtf8(kCheckingConnectionText));
    bool connected = CheckConnection(ctx, client);
    if (!connected && !client.lastTlsFailure()) {
        const Result<bool> detected = DetectProxy(ctx, client, sources, dialog);
        if (!detected)
            return detected;
        connected = *detected;
    }
    ctx.showStatus(connected ? QString() : noConnectionText(client));
    return connected;
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
    if (!CheckConnection(ctx, client)) {
        const QString why = noConnectionText(client);
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
    const bool connected = CheckConnection(ctx, client);
    if (!connected && client.lastTlsFailure()) {
        ctx.frontend.messageBox(client.lastError(), programTitle(), Frontend::Icon::Warning);
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
