#pragma once

#include "app/result.h"

#include <QString>

namespace telva {

struct AppContext;
struct DesktopProxySources;
class HttpClient;

// Status texts of the connection check.
inline constexpr const char* kCheckingConnectionText = "Проверка подключения к Internet ...";
inline constexpr const char* kNoConnectionText = "Не удается подключиться к Internet.";
inline constexpr const char* kConnectionMadeText = "Подключиться к Internet установлено.";
// Seconds a connection attempt of the check may take.
inline constexpr int kCheckConnectTimeoutSeconds = 10;

// Whether a check that finds no proxy may ask the user for one in the proxy dialog.
enum class ProxyDialog { Offer, Skip };

// Whether a connection was made: success, or the failure of the check's last request (an
// empty answer fails without a text).
using Connection = Status;

// GETs the root of the fund's web site; connected exactly when the answer is not empty.
// Sets ctx.connected. A failure of the secure connection (ErrorKind::Tls) is reported by the
// callers below with its own text instead of kNoConnectionText, and never leads to the proxy
// dialog.
Connection CheckConnection(AppContext& ctx, HttpClient& client);

// The check each time the main window becomes active: CheckConnection, and when that fails
// DetectProxy. Clears the status line when connected, shows kNoConnectionText otherwise.
// Gives whether a connection was made; an error (the failed check after the proxy dialog, a
// proxy port that is not a number) ends the check and goes to the error box, and the caller
// leaves its actions as they were. While the client is busy with another request nothing is
// checked and the result is a connection. No connection with the dialog offered means the
// user cancelled it (or there was no proxy to ask for).
Result<Connection> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client,
                                               ProxyDialog dialog = ProxyDialog::Offer);
Result<Connection> ConnectionCheckAtActivation(AppContext& ctx, HttpClient& client,
                                               const DesktopProxySources& sources,
                                               ProxyDialog dialog = ProxyDialog::Offer);

// The proxy dialog with the given values. False when cancelled (nothing changes). When
// accepted the client's proxy host, port and user become the dialog's (a new user's password
// is asked for by the check's request), and the connection is checked: on success host, port
// and user are handed back; on failure the error kNoConnectionText (the client keeps the
// dialog's values).
Result<bool> EditProxySettings(AppContext& ctx, HttpClient& client, QString& host, int& port,
                               QString& user);

// "Настройки прокси-сервера": the dialog with the client's proxy; a changed user name clears
// the proxy password so that the next request asks for it.
Status ChangeProxySettings(AppContext& ctx, HttpClient& client);

// "Тестировать подключение": the check, answered in a message box.
void TestConnection(AppContext& ctx, HttpClient& client);

// What the port field keeps after its text changed: the text when it is empty or a whole
// number, otherwise nothing.
QString PortFieldText(const QString& text);

} // namespace telva
