// While the window uploads, clicks and keys meant for it are dropped, not run afterwards,
// and "Отмена" beside the progress stops the request.
#include "app/settings.h"
#include "crypto/providers.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "find_child.h"
#include "gateway/http_client.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "http_test_server.h"
#include "operations/submission.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

const QByteArray kId = "7701-0001-000123";

class BusyWindow : public ::testing::Test {
protected:
    TempProfile profile;
    ManualClock clock;
    HttpTestServer gate;
    std::atomic<bool> answer{false};
    std::unique_ptr<TMainForm> form;
    QAction* acSend = nullptr;
    QToolButton* sendButton = nullptr;

    void SetUp() override {
        Clock::setSystem(&clock);
        // The window sends only what it signed: the report is signed for real first.
        {
            FakeFrontend frontend;
            Settings settings;
            LoadSettings(settings, frontend);
            installStandard(settings);
            settings.provName = crypto::FillProviderList(QString()).entries.value(0).name;
            SaveSettings(settings, frontend);
        }
        {
            QSettings global(globalSettingsPath(), QSettings::IniFormat);
            global.setValue(QStringLiteral("KVBSiteHost"), gate.hostPort());
            global.setValue(QStringLiteral("GateHost"), gate.hostPort());
        }
        gate.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
        // The gateway holds its answer until the test lets it go.
        gate.on("POST", "/uploadfile", [this](const RecordedRequest&) {
            for (int i = 0; i < 2000 && !answer; ++i)
                QThread::msleep(5);
            return ScriptedResponse::ok("<span id=\"identifier\" style=\"font-family: Tahoma\">" +
                                        kId + "</span>");
        });
        form = std::make_unique<TMainForm>(QStringList{});
        form->show();
        form->activateWindow();
        QApplication::processEvents(); // the connection check at activation
        form->InputFileChosen(profile.writeFile(
            QStringLiteral("work/rep.xml"), "<R7REPORT>" + QByteArray(300, '-') + "</R7REPORT>"));
        form->execute(child<QAction>(form.get(), "acDo"));
        acSend = child<QAction>(form.get(), "acSend");
        ASSERT_TRUE(acSend->isEnabled()) << statusLine().toStdString();
        acSend->setVisible(true);
        sendButton = child<QToolButton>(form.get(), "btn_acSend");
        gate.clearRequests();
    }
    void TearDown() override {
        answer = true;
        form.reset();
        Clock::setSystem(nullptr);
    }
    qsizetype uploads() const {
        qsizetype n = 0;
        for (const RecordedRequest& request : gate.requests())
            n += request.method == "POST";
        return n;
    }
    QString statusLine() const { return child<StatusPanel>(form.get(), "StatusBar")->statusText(); }
};

} // namespace

TEST_F(BusyWindow, ClicksDuringAnUploadAreDroppedNotQueued) {
    QSignalSpy triggered(acSend, &QAction::triggered);
    QTimer::singleShot(20, [this] {
        // Clicked again, directly and through the event queue, and F5 pressed.
        QTest::mouseClick(sendButton, Qt::LeftButton);
        const QPointF at(5, 5);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                sendButton, new QMouseEvent(type, at, at, Qt::LeftButton, Qt::LeftButton, {}));
        QTest::keyClick(form.get(), Qt::Key_F5);
        answer = true;
    });
    QTest::mouseClick(sendButton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_EQ(uploads(), 1);
    EXPECT_EQ(statusLine(), reportSentText(QString::fromLatin1(kId)));
}

TEST_F(BusyWindow, CancelBesideTheProgressStopsTheUpload) {
    auto* cancel = child<QPushButton>(form.get(), "CancelButton");
    EXPECT_FALSE(cancel->isVisible());
    bool shownWhileBusy = false;
    QTimer::singleShot(20, [&] {
        shownWhileBusy = cancel->isVisible();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QTest::mouseClick(sendButton, Qt::LeftButton);
    EXPECT_TRUE(shownWhileBusy);
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_EQ(statusLine(), mayHaveArrivedText(cancelledText()));
}
