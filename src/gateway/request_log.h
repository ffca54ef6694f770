#pragma once

#include <QByteArray>
#include <QString>

namespace telva {

// What the journal keeps of one HTTP request: enough to tell afterwards what was asked,
// what came back and how long it took, and nothing of its credentials or body.
struct RequestRecord {
    const char* method = "GET";
    QByteArray url;
    QString proxy;         // "host:port", empty for a direct connection
    QByteArray statusLine; // the final answer's, empty when none came
    QString failure;       // the transport's failure, empty on an answer
    qint64 bytesReceived = 0;
    qint64 bytesSent = 0;
    qint64 milliseconds = 0;
};

// "GET http://host/path (прокси host:port): HTTP/1.1 200 OK, получено N Б, отправлено M Б, K мс".
QString requestLogLine(const RequestRecord& record);

} // namespace telva
