#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace telva {

// One window per user: the first start holds a lock and listens on a local socket; a later
// start hands its arguments over to it and ends. A lock left by a crashed run does not
// count.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live (the user's runtime folder by default).
    explicit SingleInstance(const QString& folder = defaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and listens; false when another run holds it.
    bool claim();
    // Sends the arguments to the run that holds the lock; false when it cannot be reached.
    bool handOver(const QStringList& arguments) const;

    static QString defaultFolder();

Q_SIGNALS:
    // A later start's arguments arrived.
    void handedOver(const QStringList& arguments);

private:
    void readFrom(QLocalSocket* socket);

    QString folder_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace telva
