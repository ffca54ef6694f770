#pragma once

#include "app/result.h"
#include "gateway/connection_check.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace telva {

struct AppContext;
class HttpClient;

// Where the desktop keeps the user's browser and its proxy. system() reads the real desktop;
// tests may replace single readers.
struct DesktopProxySources {
    // The desktop entry of the default web browser ("firefox-esr.desktop"), empty if unknown.
    std::function<QString()> defaultBrowser;
    // The system proxy as "host:port": the desktop's manual HTTP proxy, else http_proxy or
    // HTTP_PROXY reduced to host and port; empty when none is set.
    std::function<QString()> systemProxyText;
    // The Firefox profile root with a trailing slash; empty when there is no home folder.
    std::function<QString()> firefoxRoot;

    static DesktopProxySources system();
};

// Finds a proxy when the fund's web site cannot be reached directly: the Firefox profile's
// proxy when Firefox is the default browser, else the system proxy; then checks the
// connection and, failing that, opens the proxy dialog (unless skipped). A connection when one
// may be assumed, else the failure of its check (no text when no proxy was found to check).
// Errors: a proxy port that is not a whole number; the failed check after the dialog.
Result<Connection> DetectProxy(AppContext& ctx, HttpClient& client,
                               const DesktopProxySources& sources = DesktopProxySources::system(),
                               ProxyDialog dialog = ProxyDialog::Offer);

// The host:port part of a system proxy text: what follows the first "http", cut before its
// first ";", then what follows its first "="; a text without "http" is taken whole.
// "http=A:8080;https=B:8443" gives "A:8080".
QString ProxyFromSystemText(const QString& text);

// The proxy of a Firefox prefs.js: nothing when there is no HTTP proxy line; otherwise the host
// and the port text (empty when there is no port line).
struct FirefoxProxy {
    QString host;
    QString portText;
};
std::optional<FirefoxProxy> FirefoxProxyFromPrefs(const QByteArray& prefs);

// The value of a key in a section of an ini file's text (names compared case-insensitively);
// empty when absent.
QString IniValue(const QByteArray& ini, const QString& section, const QString& key);

// A proxy URL from the environment ("http://user:pw@host:port/") reduced to "host:port".
QString HostPortOfProxyUrl(const QString& url);

} // namespace telva
