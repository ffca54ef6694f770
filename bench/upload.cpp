// Upload of a 100 MB report to a local server. Goals: at least 200 MB/s, and a peak memory
// under 64 MB beyond what the program held before the upload. The server runs in a child
// process so that its buffers do not count. Then what TLS costs a 50 MB upload: plain HTTP
// against RSA TLS and each GOST suite (no goal; the numbers are for comparison).
#include "app/context.h"
#include "app/frontend.h"
#include "crypto/gost_engine.h"
#include "gateway/http_client.h"
#include "quiet_frontend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
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

#include <openssl/ssl.h>

namespace {

// Reads each request head and its Content-Length body into a small buffer, answers with
// the number of body bytes seen; over TLS when tls is set. Serves until killed.
[[noreturn]] void serve(int listener, SSL_CTX* tls) {
    static char buffer[1 << 20];
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        SSL* ssl = nullptr;
        if (tls) {
            ssl = SSL_new(tls);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) != 1) {
                SSL_free(ssl);
                close(fd);
                continue;
            }
        }
        std::string head;
        long long length = 0;
        long long body = 0;
        ssize_t n = 0;
        const auto receive = [&] {
            return ssl ? ssize_t(SSL_read(ssl, buffer, sizeof buffer))
                       : recv(fd, buffer, sizeof buffer, 0);
        };
        while ((n = receive()) > 0) {
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
        if (ssl) {
            SSL_write(ssl, answer.data(), int(answer.size()));
            SSL_shutdown(ssl);
            SSL_free(ssl);
        } else {
            send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
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

// A server on a free loopback port in a child process; its port, or 0.
struct Server {
    pid_t pid = -1;
    int port = 0;

    explicit Server(SSL_CTX* tls) {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(listener, 8) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        pid = fork();
        if (pid == 0)
            serve(listener, tls);
        close(listener);
        port = ntohs(address.sin_port);
    }
    ~Server() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

bool writeReport(const QString& path, int megabytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131) & 0xff);
    for (int i = 0; i < megabytes; ++i)
        file.write(block);
    return true;
}

// The best of three uploads of the file, in seconds; negative when one failed.
double bestUpload(telva::HttpClient& client, const QString& url, const QString& path) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        telva::MultipartForm form;
        form.addFile("filein", path, "report.er7");
        form.addField("service", "r7");
        form.addField("inline", "1");
        QElapsedTimer timer;
        timer.start();
        const telva::Result<QByteArray> answer = client.HttpPostMultipart(url, form);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!answer || answer->toLongLong() != *form.contentLength()) {
            std::fprintf(stderr, "upload to %s failed: %s\n", qPrintable(url),
                         qPrintable(answer ? QString::fromLatin1(*answer) : answer.text()));
            return -1;
        }
        best = std::min(best, seconds);
    }
    return best;
}

// A self-signed server certificate for 127.0.0.1 made by openssl: "rsa" or "gost".
bool makeServerCertificate(const QString& dir, const QString& kind) {
    QStringList args = {"req",
                        "-x509",
                        "-nodes",
                        "-days",
                        "2",
                        "-subj",
                        "/CN=127.0.0.1",
                        "-addext",
                        "subjectAltName=IP:127.0.0.1",
                        "-keyout",
                        dir + "/" + kind + "-key.pem",
                        "-out",
                        dir + "/" + kind + ".pem"};
    if (kind == QLatin1String("gost"))
        args << "-engine"
             << "gost"
             << "-newkey"
             << "gost2012_256"
             << "-pkeyopt"
             << "paramset:A";
    else
        args << "-newkey"
             << "rsa:2048";
    QProcess openssl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CRYPT_PARAMS"));
    openssl.setProcessEnvironment(env);
    openssl.start(QStringLiteral("openssl"), args);
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

// A TLS server context with the certificate of that kind and, when given, only that suite
// (TLS 1.2, as the GOST suites are).
SSL_CTX* serverContext(const QString& dir, const QString& kind, const char* suite) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    const QByteArray cert = QFile::encodeName(dir + "/" + kind + ".pem");
    const QByteArray key = QFile::encodeName(dir + "/" + kind + "-key.pem");
    if (!ctx || SSL_CTX_use_certificate_file(ctx, cert.constData(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, key.constData(), SSL_FILETYPE_PEM) != 1)
        return nullptr;
    if (suite && (SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION) != 1 ||
                  SSL_CTX_set_cipher_list(ctx, suite) != 1))
        return nullptr;
    return ctx;
}

// Plain HTTP against RSA TLS and each GOST suite, for a 50 MB upload.
bool compareTransports(QuietFrontend& frontend, const QString& dir) {
    const QString path = dir + QStringLiteral("/report50.er7");
    if (!writeReport(path, 50) || !makeServerCertificate(dir, "rsa") ||
        !makeServerCertificate(dir, "gost")) {
        std::fprintf(stderr, "cannot make the report or the server certificates\n");
        return false;
    }
    struct Transport {
        const char* name;
        const char* kind; // null: plain HTTP
        const char* suite;
    } transports[] = {
        {"plain HTTP", nullptr, nullptr},
        {"TLS, RSA certificate, OpenSSL's choice", "rsa", nullptr},
        {"TLS 1.2 GOST2012-KUZNYECHIK-KUZNYECHIKOMAC", "gost",
         "GOST2012-KUZNYECHIK-KUZNYECHIKOMAC"},
        {"TLS 1.2 GOST2012-MAGMA-MAGMAOMAC", "gost", "GOST2012-MAGMA-MAGMAOMAC"},
        {"TLS 1.2 GOST2012-GOST8912-GOST8912", "gost", "GOST2012-GOST8912-GOST8912"},
    };
    std::printf("TLS cost of a 50 MB upload (best of 3):\n");
    double plain = 0;
    for (const Transport& transport : transports) {
        SSL_CTX* tls = nullptr;
        if (transport.kind) {
            tls = serverContext(dir, transport.kind, transport.suite);
            if (!tls) {
                std::fprintf(stderr, "cannot set up the server for %s\n", transport.name);
                return false;
            }
        }
        const Server server(tls);
        if (server.port == 0)
            return false;
        telva::AppContext ctx(frontend);
        telva::HttpClient client(ctx);
        if (transport.kind)
            client.setCaFile(dir + "/" + transport.kind + ".pem");
        const QString url = QStringLiteral("%1://127.0.0.1:%2/uploadfile")
                                .arg(transport.kind ? "https" : "http")
                                .arg(server.port);
        const double seconds = bestUpload(client, url, path);
        SSL_CTX_free(tls);
        if (seconds < 0)
            return false;
        if (!transport.kind)
            plain = seconds;
        std::printf("  %-44s %7.3f s %6.0f MB/s  %+6.0f%% time\n", transport.name, seconds,
                    50 / seconds, (seconds / plain - 1) * 100);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The child servers inherit the engine for the GOST suites.
    if (const telva::Status engine = telva::crypto::ensureGostEngine(); !engine) {
        std::fprintf(stderr, "%s\n", qPrintable(engine.text()));
        return 1;
    }
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/report.er7");
    if (!writeReport(path, 100))
        return 1;

    QuietFrontend frontend;
    double best = 0;
    long before = 0;
    double mb = 0;
    {
        const Server server(nullptr);
        if (server.port == 0)
            return 1;
        telva::AppContext ctx(frontend);
        telva::HttpClient client(ctx);
        const QString url = QStringLiteral("http://127.0.0.1:%1/uploadfile").arg(server.port);
        mb = QFile(path).size() / (1024.0 * 1024.0);
        before = residentKb();
        best = bestUpload(client, url, path);
        if (best < 0)
            return 1;
    }
    const double rate = mb / best;
    const double extraMb = (peakKb() - before) / 1024.0;
    std::printf("upload of %.0f MB: best of 3 %.3f s, %.0f MB/s (goal >= 200) %s; "
                "peak memory +%.1f MB over %.1f MB before (goal < 64) %s\n",
                mb, best, rate, rate >= 200 ? "OK" : "SLOW", extraMb, before / 1024.0,
                extraMb < 64 ? "OK" : "HIGH");
    QFile::remove(path);
    return compareTransports(frontend, dir.path()) ? 0 : 1;
}
