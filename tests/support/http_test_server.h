#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace telva::test {

// The body a request gave; empty when it failed.
inline QByteArray bodyOf(const Result<QByteArray>& got) {
    return got ? *got : QByteArray();
}

// One request as it arrived on the wire.
struct RecordedRequest {
    QByteArray raw;    // request line, header lines, blank line and body, byte for byte
    QByteArray head;   // request line and header lines up to and including the blank line
    QByteArray method; // "GET"
    QByteArray target; // "/path?query"
    QByteArray path;   // "/path"
    QByteArray version;
    QList<std::pair<QByteArray, QByteArray>> headers; // in order, names as sent
    QByteArray body;
    qint64 bodySize = 0; // also kept when bodies are not recorded
    int connection = 0;  // 1, 2, ... in the order the server accepted the connections

    // The value of the first header of that name (case-insensitive); empty when absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
    // The header lines without the request line, each without its CRLF.
    QList<QByteArray> headerLines() const;
};

// What the server answers.
struct ScriptedResponse {
    int status = 200;
    QByteArray reason; // empty: the usual reason phrase
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Sends the head and this many bytes of the body, then stays silent until the client gives
    // up or the server stops (a stalled transfer). -1: send everything.
    qint64 stallAfter = -1;
    // Sends the body in pieces of this many bytes with a pause between them (0: at once).
    qint64 dripPiece = 0;
    int dripPauseMs = 0;
    // Closes the connection after this answer even when the client could keep it.
    bool close = false;
    // Closes the connection without answering at all.
    bool hangUp = false;

    ScriptedResponse& addHeader(const QByteArray& name, const QByteArray& value) {
        headers.append(std::pair(name, value));
        return *this;
    }

    static ScriptedResponse ok(const QByteArray& body,
                               const QByteArray& contentType = QByteArrayLiteral("text/html"));
    static ScriptedResponse redirect(int status, const QByteArray& location);
    static ScriptedResponse error(int status);
};

using RequestHandler = std::function<ScriptedResponse(const RecordedRequest&)>;

// A real HTTP/1.x server on a free loopback port, serving from a background thread. Answers
// are scripted per method and path (the whole target with its query first, then the path);
// everything else gets 404. Every request is recorded with its exact bytes.
class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    quint16 port() const { return port_; }
    // "127.0.0.1:port"
    QString hostPort() const;
    // "http://127.0.0.1:port" + path
    QString url(const QString& path = QStringLiteral("/")) const;

    void on(const QByteArray& method, const QByteArray& path, ScriptedResponse response);
    void on(const QByteArray& method, const QByteArray& path, RequestHandler handler);
    // The answer for requests that match nothing (404 by default).
    void onOther(RequestHandler handler);

    // Bodies are recorded unless switched off (large uploads in benchmarks).
    void setRecordBodies(bool on) { recordBodies_ = on; }

    QList<RecordedRequest> requests() const;
    RecordedRequest request(qsizetype index) const;
    qsizetype requestCount() const;
    void clearRequests();
    // Number of connections accepted so far.
    int connectionCount() const { return connections_.load(); }

    void stop();

private:
    void acceptLoop();
    void serve(int fd, int connection);
    ScriptedResponse answer(const RecordedRequest& request);

    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    quint16 port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> recordBodies_{true};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<int> openFds_;
    std::map<std::pair<QByteArray, QByteArray>, RequestHandler> routes_;
    RequestHandler other_;
    QList<RecordedRequest> requests_;
};

// The usual reason phrase of a status code.
QByteArray reasonPhrase(int status);

} // namespace telva::test
