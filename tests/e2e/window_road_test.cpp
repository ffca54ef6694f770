#include "cli_runner.h"
#include "find_child.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "road_fixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTimer>

using namespace telva;
using namespace telva::test;

namespace {

QString statusLine(TMainForm& form) {
    return child<StatusPanel>(&form, "StatusBar")->statusText();
}

// With TELVA_SCREENSHOT_DIR set, keeps a picture of the window at this point of the road.
void snapshot(TMainForm& form, const char* name) {
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        form.grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

} // namespace

TEST_F(RoadTest, WindowTakesAReportAllTheWayToItsPrintableReceipt) {
    ASSERT_EQ(runCliInProcess({QStringLiteral("certs"), QStringLiteral("import"),
                               QStringLiteral("--store"), QStringLiteral("0"), personalCert_,
                               QStringLiteral("--key"), personalKey_})
                  .status,
              0);
    ASSERT_EQ(runCliInProcess({QStringLiteral("certs"), QStringLiteral("choose"),
                               QStringLiteral("personal"), QStringLiteral("--store"),
                               QStringLiteral("0"), QStringLiteral("--serial"), personalSerial_})
                  .status,
              0);

    TMainForm form({});
    // The proxy password as typed earlier in this run: nothing asks for it again.
    form.context().settings.proxy.password = QString::fromLatin1(kProxyPassword);
    form.show();
    form.activateWindow();
    QApplication::processEvents();

    // The root is new: the window shows it and asks with "Нет" as the default; Yes here.
    QString question;
    QString byDefault;
    // The box comes after the download, which lets events run: looked for until it is there.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        question = box->text();
        byDefault = box->defaultButton() ? box->defaultButton()->text() : QString();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == QStringLiteral("Да"))
                button->click();
        }
    });
    answer.start(20);
    child<QAction>(&form, "acLoadCert")->trigger();
    EXPECT_TRUE(question.contains(QStringLiteral("Отпечаток SHA-256"))) << question.toStdString();
    EXPECT_EQ(byDefault, QStringLiteral("Нет"));
    EXPECT_TRUE(statusLine(form).startsWith(QStringLiteral("Сертификаты успешно установлены. ")))
        << statusLine(form).toStdString();
    EXPECT_FALSE(child<QLineEdit>(&form, "ePubCert")->text().isEmpty());

    auto* providers = child<QComboBox>(&form, "cbProv");
    ASSERT_GT(providers->count(), 0);
    if (providers->currentIndex() < 0)
        providers->setCurrentIndex(0);
    form.InputFileChosen(report_);
    EXPECT_EQ(child<QLineEdit>(&form, "eKindDoc")->text(), QStringLiteral("Форма 7"));
    auto* acDo = child<QAction>(&form, "acDo");
    ASSERT_TRUE(acDo->isEnabled());
    form.execute(acDo);
    auto* acSend = child<QAction>(&form, "acSend");
    ASSERT_TRUE(acSend->isEnabled()) << statusLine(form).toStdString();

    form.execute(acSend);
    const QString sentStatus = statusLine(form);
    snapshot(form, "road-1-signed-and-sent");
    EXPECT_FALSE(sentStatus.isEmpty());

    auto* pages = child<QTabWidget>(&form, "pcMain");
    pages->setCurrentIndex(TMainForm::ReportsPage);
    auto* grid = child<QTableWidget>(&form, "gRep");
    ASSERT_GE(grid->rowCount(), 1);
    const QString id = grid->item(0, 0)->text();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_TRUE(sentStatus.contains(id)) << sentStatus.toStdString();
    EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("квартал 1.xml"));

    snapshot(form, "road-2-sent-reports");
    for (int attempt = 0; attempt < 4 && pages->currentIndex() != TMainForm::ReceiptPage;
         ++attempt) {
        grid->setCurrentCell(0, 0);
        form.execute(child<QAction>(&form, "acLoadKvit"));
    }
    ASSERT_EQ(pages->currentIndex(), TMainForm::ReceiptPage) << statusLine(form).toStdString();
    EXPECT_TRUE(child<QAction>(&form, "acPrint")->isEnabled()) << statusLine(form).toStdString();
    EXPECT_TRUE(child<QTextBrowser>(&form, "wbKvit")->toPlainText().contains(id));
    snapshot(form, "road-3-receipt");

    pages->setCurrentIndex(TMainForm::ReportsPage);
    grid->setCurrentCell(0, 0);
    EXPECT_EQ(grid->item(0, 4)->text(), QStringLiteral("Успешно обработан."));
    EXPECT_TRUE(child<QAction>(&form, "acShowFinalXml")->isEnabled());
    snapshot(form, "road-4-accepted");

    // The delete button puts the report in the trash and says so.
    form.execute(child<QAction>(&form, "acDelCurRec"));
    EXPECT_EQ(statusLine(form), QStringLiteral("Отчет ") + id +
                                    QStringLiteral(" перемещен в корзину: ") + profile_.dataHome() +
                                    QStringLiteral("/Trash/files/") + id);
    EXPECT_TRUE(grid->item(0, 0)->text().isEmpty());
    form.close();
}
