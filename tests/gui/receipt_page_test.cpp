#include "find_child.h"
#include "gui/main_form.h"
#include "gui/receipt_view.h"
#include "gui/status_panel.h"

#include "http_test_server.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QAction>
#include <QLineEdit>
#include <QPrinter>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

const QByteArray kPage = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                         "charset=windows-1251\"></head><body><h2>\xCA\xE2\xE8\xF2\xE0\xED\xF6\xE8"
                         "\xFF \xEE \xEF\xF0\xE8\xE5\xEC\xE5 \xEE\xF2\xF7\xE5\xF2\xE0 7701</h2>"
                         "<p>\xCE\xF2\xF7\xE5\xF2 \xEF\xF0\xE8\xED\xFF\xF2.</p></body></html>";

} // namespace

TEST(ReceiptPage, CheckShowsThePageAndEnablesPrinting) {
    TempProfile profile;
    Settings settings;
    installStandard(settings);
    const TestPki& pki = TestPki::instance();
    const QByteArray zip = makeReceiptArchive(profile.root(), "7701", kPage, "<R7REPORT/>");
    const QString good = profile.writeFile(
        "in/7701.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.personal));
    const QString foreign =
        profile.writeFile("in/7702.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.twoOu));

    TMainForm form({});
    form.resize(775, 420);
    form.show();
    child<QTabWidget>(&form, "pcMain")->setCurrentIndex(TMainForm::ReceiptPage);
    auto* file = child<QLineEdit>(&form, "eFileSigned");
    auto* check = child<QAction>(&form, "acCheckSign");
    auto* print = child<QAction>(&form, "acPrint");
    auto* view = child<ReceiptView>(&form, "wbKvit");
    auto* status = child<StatusPanel>(&form, "StatusBar");

    file->setText(good);
    form.execute(check);
    EXPECT_EQ(status->statusText(), QStringLiteral("Квитанция проверена: подпись верна. "
                                                   "Подписал: Уполномоченное лицо КВБ РФ, "
                                                   "Уполномоченное лицо"));
    EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("Квитанция о приеме отчета 7701")))
        << view->toPlainText().toStdString();
    EXPECT_TRUE(print->isEnabled());
    EXPECT_EQ(readFileBytes(profile.root() + "/in/7701.zip"), zip);

    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        form.grab().save(dir + QStringLiteral("/receipt-checked.png"));

    // What the print button prints, sent to a PDF file.
    const QString pdf = profile.root() + "/receipt.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    view->printTo(&printer);
    QByteArray text;
    ASSERT_EQ(runProgram("pdftotext", {pdf, "-"}, {}, &text), 0);
    EXPECT_TRUE(QString::fromUtf8(text).contains(QStringLiteral("Отчет принят.")));
    if (!dir.isEmpty())
        runProgram("pdftoppm", {"-png", "-r", "50", "-singlefile", pdf, dir + "/receipt-print"});

    // One click puts the page, with who signed it, in the documents folder.
    form.execute(child<QAction>(&form, "acSavePdf"));
    const QString saved = profile.home() + QStringLiteral("/Documents/Квитанция_7701.pdf");
    EXPECT_EQ(status->statusText(), QStringLiteral("Квитанция сохранена: ") + saved);
    ASSERT_EQ(runProgram("pdftotext", {saved, "-"}, {}, &text), 0);
    const QString plain = QString::fromUtf8(text).simplified();
    EXPECT_TRUE(plain.contains(QStringLiteral("Отчет принят."))) << plain.toStdString();
    EXPECT_TRUE(plain.contains(QStringLiteral("Серийный номер сертификата: 00A1B2C3")))
        << plain.toStdString();

    // A failed check empties the view and disables printing again.
    file->setText(foreign);
    form.execute(check);
    EXPECT_TRUE(status->statusText().startsWith(QStringLiteral("Ошибка при дешифровании (")))
        << status->statusText().toStdString();
    EXPECT_TRUE(view->toPlainText().isEmpty());
    EXPECT_FALSE(print->isEnabled());
    EXPECT_FALSE(child<QAction>(&form, "acSavePdf")->isEnabled());
}

TEST(ReceiptPage, ReceiptOnTheCommandLineIsCheckedAtStart) {
    TempProfile profile;
    Settings settings;
    installStandard(settings);
    const TestPki& pki = TestPki::instance();
    const QByteArray zip = makeReceiptArchive(profile.root(), "7701", kPage, "<R7REPORT/>");
    const QString good = profile.writeFile(
        "in/7701.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.personal, false));

    TMainForm form({good});
    EXPECT_EQ(child<QTabWidget>(&form, "pcMain")->currentIndex(), int(TMainForm::ReceiptPage));
    EXPECT_TRUE(
        child<ReceiptView>(&form, "wbKvit")->toPlainText().contains(QStringLiteral("7701")));
    EXPECT_TRUE(child<QAction>(&form, "acPrint")->isEnabled());
}

TEST(ReceiptPage, ConnectionCheckAtStartKeepsTheReceiptsResult) {
    TempProfile profile;
    Settings settings;
    installStandard(settings);
    const TestPki& pki = TestPki::instance();
    const QByteArray zip = makeReceiptArchive(profile.root(), "7702", kPage, "<R7REPORT/>");
    const QString foreign =
        profile.writeFile("in/7702.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.twoOu));
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html/>"));

    TMainForm form({foreign});
    form.context().settings.hosts.kvbSite = site.hostPort();
    auto* status = child<StatusPanel>(&form, "StatusBar");
    const QString reason = status->statusText();
    EXPECT_TRUE(reason.startsWith(QStringLiteral("Ошибка при дешифровании (")))
        << reason.toStdString();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(site.requestCount(), 1);
    EXPECT_EQ(status->statusText(), reason);
}
