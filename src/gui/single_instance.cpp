#include "gui/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

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
    socket->write("ok\n");
    socket->flush();
    Q_EMIT handedOver(arguments);
}

bool SingleInstance::handOver(const QStringList& arguments) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath(folder_));
    if (!socket.waitForConnected(kWaitMs))
        return false;
    QByteArray message;
    for (const QString& argument : arguments)
        message += argument.toUtf8() + '\0';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    // The answer tells that the window took the arguments, not only the socket.
    return socket.waitForReadyRead(kWaitMs) && socket.readAll().startsWith("ok");
}

} // namespace telva
