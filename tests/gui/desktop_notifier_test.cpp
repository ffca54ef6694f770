#include "gui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace telva;

namespace {

// A notification service of the test's own, on a private session bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown; // summary, a newline, body

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        shown.append(summary + '\n' + body);
        return uint(shown.size()) + 40;
    }
};

class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon.waitForReadyRead(10000));
        address = QString::fromUtf8(daemon.readLine().trimmed());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("window"));
        daemon.kill();
        daemon.waitForFinished();
    }
    QDBusConnection connect(const char* name) {
        return QDBusConnection::connectToBus(address, QLatin1String(name));
    }

    QProcess daemon;
    QString address;
};

} // namespace

TEST_F(PrivateBus, NotificationNamesTheReportAndItsActivationOpensIt) {
    DesktopNotifier notifier(connect("window"));
    // No service yet: the notification goes nowhere, and nothing fails.
    notifier.notify(QStringLiteral("7700"), QStringLiteral("Отчет 7700"), QStringLiteral("-"));
    QTest::qWait(300);

    FakeNotifications service;
    QDBusConnection serviceBus = connect("service");
    ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                          &service, QDBusConnection::ExportAllSlots));
    QSignalSpy opened(&notifier, &DesktopNotifier::activated);
    notifier.notify(QStringLiteral("7701-0001-000123"), QStringLiteral("Отчет 7701-0001-000123"),
                    QStringLiteral("Обнаружены ошибки."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.shown.isEmpty(); }, 5000));
    EXPECT_EQ(service.shown,
              QStringList{QStringLiteral("Отчет 7701-0001-000123\nОбнаружены ошибки.")});
    // The id has to come back before the activation can be told apart.
    QTest::qWait(200);
    QDBusMessage invoked = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    invoked << 41u << QStringLiteral("default");
    serviceBus.send(invoked);
    ASSERT_TRUE(opened.wait(5000));
    EXPECT_EQ(opened.first().first().toString(), QStringLiteral("7701-0001-000123"));
}

#include "desktop_notifier_test.moc"
