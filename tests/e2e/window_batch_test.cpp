#include "cli_runner.h"
#include "find_child.h"
#include "gui/batch_dialog.h"
#include "gui/main_form.h"
#include "road_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

// Four files dropped at once, one of them no report: three are signed and sent in turn
// with the spacing kept; "Отмена" after the first stops before the next; a second
// "Отправить все" sends the rest and never the first again.
TEST_F(RoadTest, WindowSendsSeveralReportsInTurn) {
    qputenv("TELVA_PROXY_PASSWORD", kProxyPassword);
    for (const QStringList& args :
         {QStringList{"--yes", "install-certs"}, // the first run takes the proxy password
          QStringList{"certs", "import", "--store", "0", personalCert_, "--key", personalKey_},
          QStringList{"certs", "choose", "personal", "--store", "0", "--serial",
                      personalSerial_}}) {
        const CliRun run = runCliInProcess(args);
        ASSERT_EQ(run.status, 0) << args.join(' ').toStdString() << run.err.toStdString();
    }
    QStringList files;
    for (const char* name : {"a.xml", "note.txt", "b.xml", "c.xml"}) {
        const QByteArray sum = QByteArray::number(files.size() + 100);
        files.append(profile_.writeFile(
            QStringLiteral("batch/") + QLatin1String(name),
            QByteArray(name) == "note.txt"
                ? QByteArray("not a report")
                : "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT><ORG>\xce\xce\xce "
                  "\xd0\xee\xec\xe0\xf8\xea\xe0 \xd1\xe5\xe2\xe5\xf0</ORG><SUM>" +
                      sum + "</SUM></R7REPORT>\n"));
    }

    TMainForm form({});
    form.context().settings.proxy.password = QString::fromLatin1(kProxyPassword);
    form.show();
    QApplication::processEvents();
    auto* providers = child<QComboBox>(&form, "cbProv");
    ASSERT_GT(providers->count(), 0);
    if (providers->currentIndex() < 0)
        providers->setCurrentIndex(0);
    form.openBatch(files);
    auto* dialog = form.findChild<BatchDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* table = child<QTableWidget>(dialog, "gBatch");
    auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
    const QString signedText = QStringLiteral("Подписан и зашифрован");
    for (int row : {0, 2, 3})
        EXPECT_EQ(cell(row, BatchDialog::ColState), signedText)
            << cell(row, BatchDialog::ColResult).toStdString();
    EXPECT_EQ(cell(1, BatchDialog::ColState), QStringLiteral("Ошибка"));
    EXPECT_FALSE(cell(1, BatchDialog::ColResult).isEmpty());

    const QMetaObject::Connection stop = QObject::connect(
        dialog, &BatchDialog::fileSent, [&] { child<QPushButton>(dialog, "btnCancel")->click(); });
    child<QPushButton>(dialog, "btnSendAll")->click();
    QObject::disconnect(stop);
    const QString first = cell(0, BatchDialog::ColResult);
    EXPECT_EQ(cell(0, BatchDialog::ColState), QStringLiteral("Отправлен"));
    EXPECT_EQ(cell(2, BatchDialog::ColState), signedText);

    if (const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR"); !dir.isEmpty())
        dialog->grab().save(dir + QStringLiteral("/batch-table.png"));
    child<QPushButton>(dialog, "btnSendAll")->click();
    for (int row : {0, 2, 3})
        EXPECT_EQ(cell(row, BatchDialog::ColState), QStringLiteral("Отправлен")) << row;
    EXPECT_EQ(cell(0, BatchDialog::ColResult), first);
    EXPECT_EQ(proxyLog().count(QStringLiteral("/uploadfile")), 3) << proxyLog().toStdString();
    EXPECT_GE(clock_.sleeps.count(10000), 2) << "each upload after the first waits its turn";
    dialog->close();
    form.close();
}
