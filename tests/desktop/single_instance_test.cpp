#include "find_child.h"
#include "gui/main_form.h"
#include "gui/receipt_view.h"
#include "gui/single_instance.h"
#include "http_test_server.h"
#include "receipt_maker.h"
#include "temp_profile.h"

#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

// A second start, as from the file manager with a receipt: the running window comes back from
// the taskbar and shows the checked receipt; the second program ends.
TEST(Desktop, SecondStartHandsItsReceiptToTheRunningWindow) {
    TempProfile profile;
    Settings settings;
    installStandard(settings);
    const TestPki& pki = TestPki::instance();
    const QByteArray zip = makeReceiptArchive(profile.root(), "7701", "<p>7701</p>", "<R7/>");
    profile.writeFile("in/7701.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.personal));
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html/>"));

    QTemporaryDir runtime;
    // The lock of a run that crashed: its process is gone.
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
    SingleInstance instance(runtime.path());
    ASSERT_TRUE(instance.claim());

    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.hostPort();
    QObject::connect(&instance, &SingleInstance::handedOver, &form, &TMainForm::takeArguments);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.showMinimized();
    QTest::qWait(500);

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(profile.root() + "/in");
    second.start(QStringLiteral(TELVA_BINARY_DIR "/telva"), {QStringLiteral("7701.p7e")});
    ASSERT_TRUE(second.waitForStarted());
    // The second program waits for the window's answer; the window answers from this loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(child<QTabWidget>(&form, "pcMain")->currentIndex(), int(TMainForm::ReceiptPage));
    EXPECT_TRUE(child<ReceiptView>(&form, "wbKvit")->toPlainText().contains("7701"));
}
