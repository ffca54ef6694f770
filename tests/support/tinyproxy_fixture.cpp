#include "tinyproxy_fixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telva::test {

bool loopbackPortAccepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

quint16 freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

TinyproxyFixture::~TinyproxyFixture() {
    stop();
}

QString TinyproxyFixture::binary() {
    for (const char* path : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"})
        if (QFileInfo(QString::fromLatin1(path)).isExecutable())
            return QString::fromLatin1(path);
    return {};
}

QString TinyproxyFixture::hostPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString TinyproxyFixture::log() const {
    QFile file(dir_.filePath(QStringLiteral("tinyproxy.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool TinyproxyFixture::start(const Options& options) {
    stop();
    const QString program = binary();
    if (program.isEmpty()) {
        error_ = QStringLiteral("tinyproxy is not installed");
        return false;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = freeLoopbackPort();
        QByteArray config = "Port " + QByteArray::number(port_) +
                            "\n"
                            "Listen 127.0.0.1\n"
                            "Timeout 30\n"
                            "MaxClients 16\n"
                            "LogLevel Info\n"
                            "LogFile \"" +
                            dir_.filePath(QStringLiteral("tinyproxy.log")).toUtf8() +
                            "\"\n"
                            "Allow 127.0.0.1\n"
                            "DisableViaHeader Yes\n";
        if (getuid() == 0)
            config += "User nobody\nGroup nogroup\n";
        if (!options.user.isEmpty())
            config += "BasicAuth " + options.user.toUtf8() + ' ' + options.password.toUtf8() + '\n';
        const QString configPath = dir_.filePath(QStringLiteral("tinyproxy.conf"));
        QFile file(configPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = QStringLiteral("cannot write %1").arg(configPath);
            return false;
        }
        file.write(config);
        file.close();
        // The log file must be writable by the user tinyproxy drops to.
        QFile logFile(dir_.filePath(QStringLiteral("tinyproxy.log")));
        if (logFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            logFile.close();
        QFile::setPermissions(logFile.fileName(), QFileDevice::Permissions(0x6666));
        QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7777));

        process_.setProgram(program);
        process_.setArguments({QStringLiteral("-d"), QStringLiteral("-c"), configPath});
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            error_ = QStringLiteral("tinyproxy did not start: %1").arg(process_.errorString());
            return false;
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000 && process_.state() == QProcess::Running) {
            if (loopbackPortAccepts(port_))
                return true;
            QThread::msleep(20);
        }
        process_.waitForFinished(100);
        error_ = QStringLiteral("tinyproxy did not listen on %1: %2 %3")
                     .arg(port_)
                     .arg(QString::fromUtf8(process_.readAll()), log());
        stop();
    }
    return false;
}

void TinyproxyFixture::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

} // namespace telva::test
