#include "http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace telva::test {

namespace {

bool sendAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool sendAll(int fd, const QByteArray& bytes) {
    return sendAll(fd, bytes.constData(), bytes.size());
}

} // namespace

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) {
        return h.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QList<QByteArray> RecordedRequest::headerLines() const {
    QList<QByteArray> lines = head.split('\n');
    QList<QByteArray> out;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

ScriptedResponse ScriptedResponse::ok(const QByteArray& body, const QByteArray& contentType) {
    ScriptedResponse r;
    r.body = body;
    r.headers.append({"Content-Type", contentType});
    return r;
}

ScriptedResponse ScriptedResponse::redirect(int status, const QByteArray& location) {
    ScriptedResponse r;
    r.status = status;
    r.headers.append({"Location", location});
    r.body = "moved";
    return r;
}

ScriptedResponse ScriptedResponse::error(int status) {
    ScriptedResponse r;
    r.status = status;
    r.body =
        "<html><body>" + QByteArray::number(status) + " " + reasonPhrase(status) + "</body></html>";
    return r;
}

HttpTestServer::HttpTestServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listenFd_, 64);
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0)
        wakePipe_[0] = wakePipe_[1] = -1;
    other_ = [](const RecordedRequest&) { return ScriptedResponse::error(404); };
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stop();
}

void HttpTestServer::stop() {
    if (stopping_.exchange(true))
        return;
    if (wakePipe_[1] >= 0)
        (void)!::write(wakePipe_[1], "x", 1);
    if (acceptThread_.joinable())
        acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& worker : workers_)
        if (worker.joinable())
            worker.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

QString HttpTestServer::hostPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString HttpTestServer::url(const QString& path) const {
    return QStringLiteral("http://") + hostPort() + path;
}

void HttpTestServer::on(const QByteArray& method, const QByteArray& path,
                        ScriptedResponse response) {
    on(method, path, [response](const RecordedRequest&) { return response; });
}

void HttpTestServer::on(const QByteArray& method, const QByteArray& path, RequestHandler handler) {
    std::lock_guard lock(mutex_);
    routes_[{method, path}] = std::move(handler);
}

void HttpTestServer::onOther(RequestHandler handler) {
    std::lock_guard lock(mutex_);
    other_ = std::move(handler);
}

QList<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

RecordedRequest HttpTestServer::request(qsizetype index) const {
    std::lock_guard lock(mutex_);
    return index < requests_.size() ? requests_.at(index) : RecordedRequest{};
}

qsizetype HttpTestServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void HttpTestServer::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void HttpTestServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents || stopping_)
            break;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int connection = ++connections_;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd, connection] { serve(fd, connection); });
    }
}

ScriptedResponse HttpTestServer::answer(const RecordedRequest& request) {
    RequestHandler handler;
    {
        std::lock_guard lock(mutex_);
        auto it = routes_.find({request.method, request.target});
        if (it == routes_.end())
            it = routes_.find({request.method, request.path});
        handler = it != routes_.end() ? it->second : other_;
    }
    return handler(request);
}

void HttpTestServer::serve(int fd, int connection) {
    QByteArray pending;
    char buffer[256 * 1024];
    auto readMore = [&]() {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        pending.append(buffer, n);
        return true;
    };
    bool open = true;
    while (open && !stopping_) {
        qsizetype headEnd;
        while ((headEnd = pending.indexOf("\r\n\r\n")) < 0)
            if (!readMore()) {
                open = false;
                break;
            }
        if (!open)
            break;

        RecordedRequest request;
        request.connection = connection;
        request.head = pending.left(headEnd + 4);
        pending.remove(0, headEnd + 4);
        const QList<QByteArray> lines = request.head.split('\n');
        const QList<QByteArray> words = lines.first().trimmed().split(' ');
        request.method = words.value(0);
        request.target = words.value(1);
        request.version = words.value(2);
        request.path = request.target.left(
            request.target.indexOf('?') < 0 ? request.target.size() : request.target.indexOf('?'));
        for (const QByteArray& line : request.headerLines()) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        if (request.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0)
            sendAll(fd, QByteArrayLiteral("HTTP/1.1 100 Continue\r\n\r\n"));

        // The body: Content-Length bytes (no chunked requests come from the program).
        const qint64 length = request.header("Content-Length").toLongLong();
        const bool keep = recordBodies_;
        qint64 received = 0;
        while (received < length) {
            if (pending.isEmpty() && !readMore()) {
                open = false;
                break;
            }
            const qint64 take = std::min<qint64>(length - received, pending.size());
            if (keep)
                request.body.append(pending.constData(), qsizetype(take));
            pending.remove(0, qsizetype(take));
            received += take;
        }
        request.bodySize = received;
        request.raw = request.head + request.body;
        {
            std::lock_guard lock(mutex_);
            requests_.append(request);
        }
        if (!open)
            break;

        ScriptedResponse response = answer(request);
        if (response.hangUp)
            break;
        const bool http10 = request.version == "HTTP/1.0";
        const bool clientCloses =
            request.header("Connection").compare("close", Qt::CaseInsensitive) == 0 ||
            (http10 && request.header("Connection").compare("keep-alive", Qt::CaseInsensitive));
        const bool closeAfter = response.close || clientCloses;
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
            (response.reason.isEmpty() ? reasonPhrase(response.status) : response.reason) + "\r\n";
        bool hasLength = false;
        for (const auto& [name, value] : response.headers) {
            head += name + ": " + value + "\r\n";
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                hasLength = true;
        }
        if (!hasLength)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (closeAfter)
            head += "Connection: close\r\n";
        head += "\r\n";
        const bool headOnly = request.method == "HEAD";
        if (response.stallAfter >= 0) {
            sendAll(fd, head + response.body.left(qsizetype(response.stallAfter)));
            // Silent until the client hangs up or the server stops.
            while (!stopping_ && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
            break;
        }
        if (response.dripPiece > 0 && !headOnly) {
            bool sent = sendAll(fd, head);
            for (qint64 at = 0; sent && at < response.body.size(); at += response.dripPiece) {
                if (at > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(response.dripPauseMs));
                sent = sendAll(fd, response.body.mid(at, response.dripPiece));
            }
            if (!sent)
                break;
        } else if (!sendAll(fd, headOnly ? head : head + response.body)) {
            break;
        }
        if (closeAfter)
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(mutex_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
}

} // namespace telva::test
