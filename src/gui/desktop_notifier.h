#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>

namespace telva {

// Notifications through the desktop's notification service. Where none runs, nothing is
// shown and nothing fails; the window is never held up waiting for the service.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Tells about one report; activating the notification asks for that report.
    void notify(const QString& reportId, const QString& summary, const QString& body);

Q_SIGNALS:
    void activated(const QString& reportId);

private Q_SLOTS:
    void actionInvoked(uint notificationId, const QString& action);

private:
    QDBusConnection bus_;
    QHash<uint, QString> shown_; // notification -> report
};

} // namespace telva
