// Proxy texts: "host:port", the system proxy, a proxy URL, Firefox's prefs.js, an ini file.
#include "app/settings.h"
#include "gateway/proxy_detect.h"

#include <cstdint>

using namespace telva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    QString host;
    int port = 0;
    (void)SplitHostPort(text, host, port);
    (void)SplitHostPort(ProxyFromSystemText(text), host, port);
    (void)HostPortOfProxyUrl(text);
    if (const std::optional<FirefoxProxy> proxy = FirefoxProxyFromPrefs(bytes))
        (void)SplitHostPort(proxy->host + QLatin1Char(':') + proxy->portText, host, port);
    (void)IniValue(bytes, QStringLiteral("Profile0"), QStringLiteral("Path"));
    return 0;
}
