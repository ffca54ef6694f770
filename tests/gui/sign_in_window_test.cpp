#include "app/settings.h"
#include "crypto/cms_message.h"
#include "crypto/providers.h"
#include "fake_frontend.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace telva;
using telva::test::TestPki;

// Signs a report through the window's own action; with TELVA_SCREENSHOT_DIR set, keeps a
// picture of the page after signing.
TEST(SignInWindow, ActionSignsWithTheSavedIdentitiesAndProvider) {
    telva::test::TempProfile profile;
    telva::test::FakeFrontend frontend;
    Settings settings;
    LoadSettings(settings, frontend);
    telva::test::installStandard(settings);
    settings.provName = crypto::FillProviderList(QString()).entries.value(0).name;
    SaveSettings(settings, frontend);

    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<R7REPORT>";
    xml += QByteArray(300, '-') + "</R7REPORT>\n";
    const QString input = profile.writeFile(QStringLiteral("work/report.xml"), xml);

    TMainForm form({});
    form.resize(775, 340);
    // The connection check at activation is not this test's business: its dialogs are
    // cancelled as they come.
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    canceller.start(20);
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.findChild<QComboBox*>(QStringLiteral("cbProv"))->currentText(),
              settings.provName);
    form.InputFileChosen(input);
    const QString output = form.findChild<QLineEdit*>(QStringLiteral("eFileOut"))->text();
    EXPECT_EQ(output, profile.root() + QStringLiteral("/work/report.er7"));
    // While the signing runs, the window paints its percentage and "Отмена".
    auto* panel = form.findChild<StatusPanel*>(QStringLiteral("StatusBar"));
    bool barShown = false;
    bool cancelShown = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        barShown = barShown || panel->progressBar()->isVisible();
        cancelShown = cancelShown || panel->cancelButton()->isVisible();
    });
    watcher.start(0);
    form.execute(form.findChild<QAction*>(QStringLiteral("acDo")));
    watcher.stop();
    EXPECT_EQ(panel->statusText(), QStringLiteral("Файл зашифрован и подписан."));
    EXPECT_TRUE(barShown && cancelShown);
    EXPECT_FALSE(panel->progressBar()->isVisible());

    const TestPki& pki = TestPki::instance();
    const Result<QByteArray> inner = crypto::DecryptMessage(telva::test::readFileBytes(output),
                                                            pki.fundAp.cert, pki.fundAp.pkey());
    ASSERT_TRUE(inner.ok()) << inner.text().toStdString();
    const Result<QByteArray> content = crypto::VerifyAttachedSignature(*inner, pki.personal.cert);
    ASSERT_TRUE(content.ok()) << content.text().toStdString();
    EXPECT_EQ(*content, xml);

    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        form.grab().save(dir + QStringLiteral("/signed-in-window.png"));

    // A source moved after signing is not sent: the window says so before anything goes out.
    auto* send = form.findChild<QAction*>(QStringLiteral("acSend"));
    ASSERT_TRUE(send->isEnabled());
    ASSERT_TRUE(QFile::rename(input, input + QStringLiteral(".moved")));
    form.execute(send);
    EXPECT_TRUE(panel->statusText().startsWith(QStringLiteral("Файлы изменились после подписи")))
        << panel->statusText().toStdString();
    EXPECT_FALSE(send->isEnabled());

    // A path typed into the source field gives its own output name, not the previous one.
    const QString typed = profile.writeFile(QStringLiteral("work/second.xml"), xml);
    auto* fileIn = form.findChild<QLineEdit*>(QStringLiteral("eFileIn"));
    fileIn->clear();
    QTest::keyClicks(fileIn, typed);
    EXPECT_TRUE(form.findChild<QLineEdit*>(QStringLiteral("eFileOut"))->text().isEmpty());
    QTest::keyClick(fileIn, Qt::Key_Return);
    EXPECT_EQ(form.findChild<QLineEdit*>(QStringLiteral("eFileOut"))->text(),
              profile.root() + QStringLiteral("/work/second.er7"));
}
