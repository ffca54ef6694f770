#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <functional>
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

    // What became of arguments handed to the running window.
    struct HandOver {
        enum Outcome { Taken, Refused, Unreachable } outcome = Unreachable;
        QString text; // why the window refused them
    };
    // Sends the arguments to the run that holds the lock, trying again for up to waitMs
    // while that run is busy.
    HandOver handOver(const QStringList& arguments, int waitMs) const;
    // Asked for each later start's arguments: a text refuses them (and is shown by that
    // start), an empty one takes them.
    void setRefusal(std::function<QString(const QStringList&)> refusal) {
        refusal_ = std::move(refusal);
    }

    static QString defaultFolder();

Q_SIGNALS:
    // A later start's arguments arrived.
    void handedOver(const QStringList& arguments);

private:
    void readFrom(QLocalSocket* socket);

    QString folder_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
    std::function<QString(const QStringList&)> refusal_;
};

} // namespace telva
