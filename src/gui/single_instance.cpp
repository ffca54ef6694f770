#include "gui/single_instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>

namespace telva {

namespace {

constexpr int kWaitMs = 3000;

QString socketPath(const QString& folder) {
    return folder + QStringLiteral("/telva.socket");
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder), lock_(folder + QStringLiteral("/telva.lock")) {
    // A run may stay open for weeks: only a dead owner makes the lock stale.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/telva-") + qEnvironmentVariable("USER");
    return folder;
}

bool SingleInstance::claim() {
    QDir().mkpath(folder_);
    if (!lock_.tryLock(0))
        return false;
    // The socket of a run that crashed is still there and would refuse the new one.
    QLocalServer::removeServer(socketPath(folder_));
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(socketPath(folder_));
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    // One message per connection: the arguments, each ended by a zero byte, then a newline.
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    if (!buffer.endsWith('\n')) {
        socket->setProperty("buffer", buffer);
        return;
    }
    buffer.chop(1);
    QStringList arguments;
    for (const QByteArray& part : buffer.split('\0')) {
        if (!part.isEmpty())
            arguments.append(QString::fromUtf8(part));
    }
    const QString refused = refusal_ ? refusal_(arguments) : QString();
    if (!refused.isEmpty()) {
        socket->write("refused\t" + refused.toUtf8() + '\n');
        socket->flush();
        return;
    }
    socket->write("ok\n");
    socket->flush();
    Q_EMIT handedOver(arguments);
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& arguments, int waitMs) const {
    QByteArray message;
    for (const QString& argument : arguments)
        message += argument.toUtf8() + '\0';
    message += '\n';
    // A window busy with a long step answers late; its lock says it is alive, so the
    // message waits for its answer instead of a second window opening.
    QElapsedTimer waited;
    waited.start();
    const auto left = [&] { return int(std::max<qint64>(waitMs - waited.elapsed(), 100)); };
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath(folder_));
        if (socket.waitForConnected(std::min(kWaitMs, left())))
            break;
        if (waited.elapsed() >= waitMs)
            return {HandOver::Unreachable, {}};
        QThread::msleep(200);
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(left()))
        return {HandOver::Unreachable, {}};
    QByteArray answer;
    while (!answer.endsWith('\n') && waited.elapsed() < waitMs && socket.waitForReadyRead(left()))
        answer += socket.readAll();
    // The answer tells that the window took the arguments, not only the socket.
    if (answer.startsWith("ok"))
        return {HandOver::Taken, {}};
    if (answer.startsWith("refused\t"))
        return {HandOver::Refused, QString::fromUtf8(answer.mid(8).trimmed())};
    return {HandOver::Unreachable, {}};
}

} // namespace telva
