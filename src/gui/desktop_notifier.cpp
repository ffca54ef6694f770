#include "gui/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace telva {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    if (bus_.isConnected())
        bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
}

void DesktopNotifier::notify(const QString& reportId, const QString& summary, const QString& body) {
    if (!bus_.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("ТЕЛВА") << 0u << QString() << summary << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Открыть")} << QVariantMap()
         << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, reportId] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            shown_.insert(reply.value(), reportId);
        watcher->deleteLater();
    });
}

void DesktopNotifier::actionInvoked(uint notificationId, const QString&) {
    const auto shown = shown_.constFind(notificationId);
    if (shown != shown_.cend())
        Q_EMIT activated(*shown);
}

} // namespace telva
