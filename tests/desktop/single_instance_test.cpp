#include "find_child.h"
#include "gui/main_form.h"
#include "gui/receipt_view.h"
#include "gui/single_instance.h"
#include "http_test_server.h"
#include "receipt_maker.h"
#include "temp_profile.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

// A running window holding the single-instance lock, and a receipt for later starts to hand
// it.
struct SecondStart : ::testing::Test {
    TempProfile profile;
    HttpTestServer site;
    QTemporaryDir runtime;
    std::optional<SingleInstance> instance;
    std::optional<TMainForm> form;
    QProcess second;

    void SetUp() override {
        Settings settings;
        installStandard(settings);
        const TestPki& pki = TestPki::instance();
        const QByteArray zip = makeReceiptArchive(profile.root(), "7701", "<p>7701</p>", "<R7/>");
        profile.writeFile("in/7701.p7e",
                          makeReceipt(profile.root(), zip, pki.fundAp, pki.personal));
        site.on("GET", "/", ScriptedResponse::ok("<html/>"));
    }

    void openWindow() {
        instance.emplace(runtime.path());
        ASSERT_TRUE(instance->claim());
        form.emplace(QStringList{});
        form->context().settings.hosts.kvbSite = site.hostPort();
        TMainForm* window = &*form;
        instance->setRefusal([window](const QStringList& a) { return window->refusalFor(a); });
        QObject::connect(&*instance, &SingleInstance::handedOver, window,
                         &TMainForm::takeArguments);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&*form));
    }

    // Starts the built window program again, as the file manager would.
    void startSecond(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(profile.root() + "/in");
        second.start(QStringLiteral(TELVA_BINARY_DIR "/telva"), arguments);
        ASSERT_TRUE(second.waitForStarted());
    }
    // The second program waits for the window's answer; the window answers from this loop.
    bool secondEnded() {
        return QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 40000);
    }
    bool receiptShown() {
        return child<QTabWidget>(&*form, "pcMain")->currentIndex() == int(TMainForm::ReceiptPage) &&
               child<ReceiptView>(&*form, "wbKvit")->toPlainText().contains("7701");
    }
};

} // namespace

// A second start, as from the file manager with a receipt: the running window comes back from
// the taskbar and shows the checked receipt; the second program ends. A lock left by a run
// that crashed does not count.
TEST_F(SecondStart, HandsItsReceiptToTheRunningWindow) {
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile stale(runtime.filePath(QStringLiteral("telva.lock")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(pid) + "\ntelva\n" + QSysInfo::machineHostName().toUtf8() +
                "\n");
    stale.close();
    openWindow();
    form->showMinimized();
    QTest::qWait(500);

    startSecond({QStringLiteral("7701.p7e")});
    ASSERT_TRUE(secondEnded());
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&*form));
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(receiptShown());
}

// Handed over while the window asks a question, the receipt waits for the answer instead of
// being dropped.
TEST_F(SecondStart, ReceiptWaitsForTheOpenDialog) {
    openWindow();
    QTimer::singleShot(0, [&] {
        startSecond({QStringLiteral("7701.p7e")});
        EXPECT_TRUE(secondEnded());
        EXPECT_FALSE(receiptShown());
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    QMessageBox::information(&*form, QStringLiteral("ТЕЛВА"), QStringLiteral("Вопрос"));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return receiptShown(); }));
}

// A start in test mode is refused by a window in work mode, saying why; nothing is handed.
TEST_F(SecondStart, TestModeIsNotHandedToAWorkModeWindow) {
    openWindow();
    startSecond({QStringLiteral("-test")});
    QString said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said += QString::fromLocal8Bit(second.readAllStandardError());
            return said.contains(QStringLiteral("в рабочем режиме"));
        },
        40000));
    // Its box is answered as a person would.
    QProcess::execute(
        QStringLiteral("bash"),
        {QStringLiteral("-c"),
         // By the second program's pid: the first window's title starts the same way.
         QStringLiteral("w=$(xdotool search --sync --onlyvisible --pid %1 | head -1) && "
                        "xdotool windowactivate --sync $w && xdotool key Escape")
             .arg(second.processId())});
    ASSERT_TRUE(secondEnded());
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_FALSE(form->context().testMode);
}
