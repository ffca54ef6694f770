// The window's events during a request that waits: the largest gap between two turns of the
// event loop while a local server holds its answer for 5 s, and while a connection attempt
// hangs for its 5 s limit (the server's backlog is full). Goal: at most 100 ms, so typing lands
// at once; the number of turns shows that the wait sleeps rather than spins.
#include "app/context.h"
#include "gateway/http_client.h"
#include "quiet_frontend.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kHoldMs = 5000;

// Counts the turns of the event loop and the longest time between two of them.
class TurnCounter : public QuietFrontend {
public:
    void processEvents() override {
        QCoreApplication::processEvents();
        longestGapMs = std::max(longestGapMs, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
        ++turns;
    }
    void start() {
        longestGapMs = 0;
        turns = 0;
        sinceTurn.start();
    }
    // The gap from the last turn to the request's end counts as well.
    void finish() { longestGapMs = std::max(longestGapMs, sinceTurn.nsecsElapsed() / 1e6); }

    QElapsedTimer sinceTurn;
    double longestGapMs = 0;
    int turns = 0;
};

int loopbackListener(int backlog, sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return fd;
}

// Takes one request, holds the answer for kHoldMs, answers and closes.
void holdOneAnswer(int listener) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0)
        return;
    char buffer[4096];
    std::string head;
    ssize_t n = 0;
    while (head.find("\r\n\r\n") == std::string::npos &&
           (n = recv(fd, buffer, sizeof buffer, 0)) > 0)
        head.append(buffer, size_t(n));
    std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
    const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nheld";
    send(fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
    close(fd);
}

void report(const char* what, const TurnCounter& counter, const QString& failure) {
    std::printf("%-40s largest gap %8.1f ms, %5d turns (goal <= 100 ms) %s%s\n", what,
                counter.longestGapMs, counter.turns, counter.longestGapMs <= 100 ? "ok" : "MISSED",
                failure.isEmpty() ? "" : qPrintable(QStringLiteral(" [") + failure + ']'));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TurnCounter frontend;
    telva::AppContext ctx{frontend};
    telva::HttpClient client{ctx};

    sockaddr_in address{};
    const int held = loopbackListener(1, address);
    if (held < 0)
        return 1;
    std::thread server(holdOneAnswer, held);
    const QString heldUrl = QStringLiteral("http://127.0.0.1:%1/held").arg(ntohs(address.sin_port));
    frontend.start();
    const telva::Result<QByteArray> answer = client.HttpGetToString(heldUrl);
    frontend.finish();
    server.join();
    close(held);
    report("answer held 5 s:", frontend, answer ? QString() : answer.text());

    // A backlog of one, taken: further connection attempts are dropped by the kernel.
    const int full = loopbackListener(0, address);
    const int filler = socket(AF_INET, SOCK_STREAM, 0);
    if (full < 0 || ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 1;
    telva::RequestOptions options;
    options.connectTimeoutSeconds = kHoldMs / 1000;
    frontend.start();
    const telva::Result<QByteArray> refused = client.HttpGetToString(
        QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port)), options);
    frontend.finish();
    close(filler);
    close(full);
    report("connection attempt hanging 5 s:", frontend, refused ? QString() : refused.text());
    return 0;
}
