#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace telva::test {

// A real tinyproxy on a free loopback port, with a generated configuration, optionally
// demanding Basic authentication. Started by start(), stopped by stop() or the destructor.
class TinyproxyFixture {
public:
    struct Options {
        QString user; // non-empty: Basic authentication with user and password
        QString password;
    };

    TinyproxyFixture() = default;
    ~TinyproxyFixture();
    TinyproxyFixture(const TinyproxyFixture&) = delete;
    TinyproxyFixture& operator=(const TinyproxyFixture&) = delete;

    // The tinyproxy program, or empty when it is not installed.
    static QString binary();

    // Starts the proxy and waits until it accepts connections; false with errorText() when
    // that fails.
    bool start(const Options& options = {});
    void stop();
    bool running() const { return process_.state() == QProcess::Running; }

    quint16 port() const { return port_; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    QString hostPort() const;
    QString errorText() const { return error_; }
    // The proxy's log so far (for failure messages).
    QString log() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

// A loopback TCP port that nothing listens on right now.
quint16 freeLoopbackPort();
// Whether something accepts connections on that loopback port now.
bool loopbackPortAccepts(quint16 port);

} // namespace telva::test
