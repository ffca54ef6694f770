// Upload of a 100 MB report to a local server. Goals: at least 200 MB/s, and a peak memory
// under 64 MB beyond what the program held before the upload. The server runs in a child
// process so that its buffers do not count.
#include "app/context.h"
#include "app/frontend.h"
#include "gateway/http_client.h"
#include "quiet_frontend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads each request head and its Content-Length body into a small buffer, answers with
// the number of body bytes seen. Serves until killed.
[[noreturn]] void serve(int listener) {
    static char buffer[1 << 20];
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::string head;
        long long length = 0;
        long long body = 0;
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
            if (head.find("\r\n\r\n") == std::string::npos) {
                head.append(buffer, size_t(n));
                const size_t end = head.find("\r\n\r\n");
                if (end == std::string::npos)
                    continue;
                const size_t at = head.find("Content-Length: ");
                if (at != std::string::npos)
                    length = std::stoll(head.substr(at + 16));
                body = static_cast<long long>(head.size() - end - 4);
            } else {
                body += n;
            }
            if (body >= length)
                break;
        }
        const std::string text = std::to_string(body);
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
            std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text;
        send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(fd);
    }
}

long residentKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            kb = std::atol(line + 6);
    std::fclose(status);
    return kb;
}

long peakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 1;
    const pid_t server = fork();
    if (server == 0)
        serve(listener);
    close(listener);

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/report.er7");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 131) & 0xff);
        for (int i = 0; i < 100; ++i)
            file.write(block);
    }

    QuietFrontend frontend;
    telva::AppContext ctx(frontend);
    telva::HttpClient client(ctx);
    const QString url =
        QStringLiteral("http://127.0.0.1:%1/uploadfile").arg(ntohs(address.sin_port));
    const double mb = QFile(path).size() / (1024.0 * 1024.0);
    const long before = residentKb();
    double best = 1e9;
    bool ok = true;
    for (int run = 0; run < 3 && ok; ++run) {
        telva::MultipartForm form;
        form.addFile("filein", path, "report.er7");
        form.addField("service", "r7");
        form.addField("inline", "1");
        QElapsedTimer timer;
        timer.start();
        const telva::Result<QByteArray> answer = client.HttpPostMultipart(url, form);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!answer || answer->toLongLong() != *form.contentLength()) {
            std::fprintf(stderr, "upload failed: %s\n",
                         qPrintable(answer ? QString::fromLatin1(*answer) : answer.text()));
            ok = false;
        }
        best = std::min(best, seconds);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    if (!ok)
        return 1;
    const double rate = mb / best;
    const double extraMb = (peakKb() - before) / 1024.0;
    std::printf("upload of %.0f MB: best of 3 %.3f s, %.0f MB/s (goal >= 200) %s; "
                "peak memory +%.1f MB over %.1f MB before (goal < 64) %s\n",
                mb, best, rate, rate >= 200 ? "OK" : "SLOW", extraMb, before / 1024.0,
                extraMb < 64 ? "OK" : "HIGH");
    return 0;
}
