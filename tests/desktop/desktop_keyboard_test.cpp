#include "gui/help_page.h"
#include "gui/main_form.h"
#include "http_test_server.h"
#include "temp_profile.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

void pressKeys(const char* keys) {
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(keys)});
}

} // namespace

// F1 brings the help up over the window and Escape takes it away; Ctrl+Q closes the window.
TEST(DesktopKeyboard, F1HelpsAndCtrlQQuits) {
    TempProfile profile;
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html/>"));
    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.hostPort();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::qWait(300);

    // The help runs its own loop: what is seen and answered there happens from a timer.
    bool helpShown = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        // Keys go to the focused window: wait until the window manager has focused the help.
        QWidget* help = qobject_cast<HelpPage*>(QApplication::activeModalWidget());
        if (help && help->isActiveWindow() && !helpShown) {
            helpShown = true;
            pressKeys("Escape");
        }
    });
    answer.start(100);
    pressKeys("F1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return helpShown && !QApplication::activeModalWidget(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    pressKeys("ctrl+q");
    EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.isVisible(); }));
}
