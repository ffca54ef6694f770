#include "find_child.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "http_test_server.h"
#include "temp_profile.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

// The fund's site as the window sees it: up answers the check, down answers with nothing.
class WindowConnection : public ::testing::Test {
protected:
    void SetUp() override {
        qunsetenv("http_proxy");
        qunsetenv("HTTP_PROXY");
        site_.on("GET", "/", [this](const RecordedRequest&) {
            return ScriptedResponse::ok(up_ ? QByteArray("<html/>") : QByteArray());
        });
        form_.context().settings.hosts.kvbSite = site_.hostPort();
        // Every modal dialog is cancelled as it comes.
        QObject::connect(&canceller_, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        canceller_.start(20);
        other_.resize(200, 100);
    }

    // Makes the window active coming from another window of the program.
    void activateFromOwnWindow() {
        other_.show();
        other_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other_));
        form_.show();
        form_.activateWindow();
        // The check runs at once; its dialogs that close may hand the activation back.
        QTest::qWait(300);
    }

    bool buttonShown(const char* action) {
        return !child<QToolButton>(&form_, (QByteArray("btn_") + action).constData())->isHidden();
    }

    TempProfile profile_;
    HttpTestServer site_;
    std::atomic<bool> up_{false};
    TMainForm form_{QStringList()};
    QWidget other_;
    QTimer canceller_;
};

} // namespace

TEST_F(WindowConnection, NetworkButtonsHideWhenDownAndComeBackWhenUp) {
    auto* acSend = child<QAction>(&form_, "acSend");
    acSend->setEnabled(true);
    activateFromOwnWindow();
    auto* panel = child<StatusPanel>(&form_, "StatusBar");
    EXPECT_FALSE(panel->connected());
    for (const char* action : {"acSend", "acLoadCert", "acLoadKvit"}) {
        EXPECT_FALSE(buttonShown(action)) << action;
        // Hidden, not disabled: the double click on the list still refreshes a report.
        EXPECT_TRUE(child<QAction>(&form_, action)->isEnabled()) << action;
    }

    up_ = true;
    activateFromOwnWindow();
    EXPECT_TRUE(panel->connected());
    EXPECT_EQ(panel->statusText(), QString());
    for (const char* action : {"acSend", "acLoadCert", "acLoadKvit"})
        EXPECT_TRUE(buttonShown(action)) << action;
    EXPECT_TRUE(acSend->isEnabled());
}
