#include "find_child.h"
#include "gui/main_form.h"
#include "gui/proxy_dialog.h"
#include "gui/status_panel.h"
#include "http_test_server.h"
#include "temp_profile.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

// A person at the keyboard who answers every modal dialog with Escape, counting the proxy
// dialogs among them.
class EscapingUser {
public:
    EscapingUser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || !dialog->isActiveWindow())
                return;
            if (!dialog->property("seen").toBool()) {
                dialog->setProperty("seen", true);
                proxyDialogs += qobject_cast<TGetProxyDlg*>(dialog) ? 1 : 0;
            }
            QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Escape")});
        });
        timer_.start(100);
    }

    int proxyDialogs = 0;

private:
    QTimer timer_;
};

// The fund's site answering with nothing: the check finds no connection.
struct SilentSite {
    SilentSite() { server.on("GET", "/", ScriptedResponse::ok(QByteArray())); }
    HttpTestServer server;
};

} // namespace

TEST(Desktop, OfflineTheProxyDialogComesOnceAndTheWindowStaysUsable) {
    TempProfile profile;
    SilentSite site;
    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.server.hostPort();
    EscapingUser user;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    // Each closed dialog hands the activation back to the window; a loop shows up here.
    QTest::qWait(2500);
    EXPECT_EQ(user.proxyDialogs, 1);
    EXPECT_TRUE(form.isActiveWindow());

    // A box of the user's own: when it closes the check runs again, without the dialog.
    const qsizetype checks = site.server.requestCount();
    QMessageBox::information(&form, QStringLiteral("ТЕЛВА"), QStringLiteral("Проверка"));
    QTest::qWait(1500);
    EXPECT_GT(site.server.requestCount(), checks);
    EXPECT_EQ(user.proxyDialogs, 1);
    EXPECT_TRUE(form.isActiveWindow());

    // Asked for from the connection menu, the dialog is offered again.
    form.execute(child<QAction>(&form, "acTestConn"));
    QTest::qWait(1500);
    EXPECT_EQ(user.proxyDialogs, 2);
}

// With TELVA_SCREENSHOT_DIR set, keeps a picture of the whole 1024x600 screen.
TEST(Desktop, LongStatusTextKeepsTheWindowOnTheScreen) {
    TempProfile profile;
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html/>"));
    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.hostPort();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::qWait(300);
    const int width = form.width();
    const QString path = QStringLiteral("/home/buhgalter/Документы/Отчетность/2026/IV квартал/"
                                        "Филиал Северо-Западный/Подразделение 14/"
                                        "Реестр пособий по временной нетрудоспособности/"
                                        "Исправленный/reestr_posobiy_2026_12_08_ispr.esl");
    form.ShowStatus(QStringLiteral("Ошибка создания \"%1\".").arg(path));
    QTest::qWait(500);
    const QRect screen = form.screen()->geometry();
    EXPECT_EQ(form.width(), width);
    EXPECT_LT(form.frameGeometry().width(), screen.width());
    auto* sign = child<QToolButton>(&form, "btn_acDo");
    const QRect button(sign->mapToGlobal(QPoint(0, 0)), sign->size());
    EXPECT_TRUE(screen.contains(button));
    auto* shown = child<QLabel>(&form, "StatusText");
    EXPECT_TRUE(shown->text().contains(QChar(0x2026))) << shown->text().toStdString();
    EXPECT_TRUE(shown->toolTip().endsWith(QStringLiteral("_ispr.esl\".")));
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        form.screen()->grabWindow(0).save(dir + QStringLiteral("/window-long-status-1024x600.png"));
}
