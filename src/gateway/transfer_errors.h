#pragma once

#include <QString>

namespace telva {

// A transfer that libcurl ended with an error, and what the client knows beyond its code.
struct TransferFailure {
    int curlCode = 0;
    QString url;
    QString proxy;          // "host:port" of the proxy in use, empty for a direct connection
    bool connected = false; // a connection stood before the failure (a time-out while waiting)
    int connectSeconds = 0; // the connection time-out in force
    bool cancelled = false; // the person pressed "Отмена"
    bool stalled = false;   // no byte moved for stallSeconds
    int stallSeconds = 0;
    bool overTime = false; // the whole transfer ran past totalSeconds
    int totalSeconds = 0;
    qint64 minBytesPerSecond = 0;
    bool tooLarge = false; // the answer ran past maxBytes
    qint64 maxBytes = 0;
    QString unreadableFile; // the form's file that could not be read
};

// The Russian text the person sees for a failed transfer; libcurl's own English text goes to
// the journal only. TLS failures have their own texts (gateway/tls_options.h).
QString transferFailureText(const TransferFailure& failure);

// Whether the failure means the server (or the proxy) could not be reached at all: its name
// not found, the connection refused or never made.
bool isUnreachable(int curlCode, bool connected);

// The wait for an upload's answer: "Ожидание ответа шлюза… N с".
QString awaitingAnswerText(qint64 seconds);
// A failure after the report went out whole: it may be filed at the fund already.
QString mayHaveArrivedText(const QString& why);

// Whether an HTTP status says the server, or an intermediary for it, failed (5xx).
inline bool isServerFault(int httpStatus) {
    return httpStatus >= 500 && httpStatus <= 599;
}

} // namespace telva
