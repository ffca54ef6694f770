#include "app/settings.h"
#include "find_child.h"
#include "gui/batch_dialog.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "operations/submission.h"
#include "temp_profile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using telva::test::child;
using namespace telva;
using telva::test::TempProfile;

namespace {

// A caption as read, without the "&" that marks its key.
QString plain(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

QString statusLine(TMainForm& form) {
    return child<StatusPanel>(&form, "StatusBar")->statusText();
}

} // namespace

TEST(MainForm, ControlsActionsAndCaptions) {
    TempProfile profile;
    TMainForm form({});
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("ТЕЛВА подписания и шифрования электронных документов (1.0.1.24)"));
    auto* pages = child<QTabWidget>(&form, "pcMain");
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(plain(pages->tabText(0)), QStringLiteral("Подписать и зашифровать"));
    EXPECT_EQ(plain(pages->tabText(1)), QStringLiteral("Отправленные отчеты"));
    EXPECT_EQ(plain(pages->tabText(2)), QStringLiteral("Проверить квитанцию"));
    EXPECT_EQ(pages->currentIndex(), 0);
    for (const char* name :
         {"cbProv", "ePrivCert", "ePubCert", "eFileIn", "eKindDoc", "eFileOut", "eFileSigned"})
        EXPECT_NE(form.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    EXPECT_TRUE(child<QLineEdit>(&form, "eKindDoc")->isReadOnly());
    EXPECT_EQ(child<QAction>(&form, "acSend")->toolTip(),
              QStringLiteral("Отправить успешно подписанный и зашифрованный отчет на шлюз приема "
                             "отчетности КВБ"));
    EXPECT_EQ(child<QAction>(&form, "acGreedRefresh")->toolTip(), QStringLiteral("Обновить"));
    EXPECT_FALSE(child<QAction>(&form, "acSend")->isEnabled());
    EXPECT_FALSE(child<QAction>(&form, "acPrint")->isEnabled());
    EXPECT_FALSE(child<QAction>(&form, "acCheckSign")->isEnabled());

    auto* grid = child<QTableWidget>(&form, "gRep");
    EXPECT_EQ(grid->columnCount(), 6);
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Идентификатор файла"));
    EXPECT_EQ(grid->horizontalHeaderItem(4)->text(), QStringLiteral("Состояние"));
    EXPECT_EQ(grid->columnWidth(2), 136);
    auto* pmCon = child<QMenu>(&form, "pmCon");
    ASSERT_EQ(pmCon->actions().size(), 3);
    EXPECT_EQ(plain(pmCon->actions().at(0)->text()), QStringLiteral("Тестировать подключение"));
    EXPECT_EQ(plain(pmCon->actions().at(1)->text()), QStringLiteral("Настройки прокси-сервера"));
    EXPECT_EQ(plain(pmCon->actions().at(2)->text()), QStringLiteral("Открыть журнал"));
    EXPECT_EQ(plain(child<QMenu>(&form, "pmRep")->actions().at(0)->text()),
              QStringLiteral("Удалить выделенный отчет"));
}

TEST(MainForm, SigningActionFollowsItsFieldsAtOnce) {
    TempProfile profile;
    TMainForm form({});
    auto* acDo = child<QAction>(&form, "acDo");
    auto* prov = child<QComboBox>(&form, "cbProv");
    prov->addItem(QStringLiteral("GOST Engine"), 75);
    prov->setCurrentIndex(0);
    child<QLineEdit>(&form, "ePrivCert")->setText(QStringLiteral("Org"));
    child<QLineEdit>(&form, "ePubCert")->setText(QStringLiteral("KVB"));
    child<QLineEdit>(&form, "eFileIn")->setText(QStringLiteral("/tmp/r.xml"));
    EXPECT_FALSE(acDo->isEnabled());
    auto* out = child<QLineEdit>(&form, "eFileOut");
    out->setText(QStringLiteral("/tmp/r.er7"));
    EXPECT_TRUE(acDo->isEnabled());
    out->clear();
    EXPECT_FALSE(acDo->isEnabled());
    out->setText(QStringLiteral("/tmp/r.er7"));
    prov->setCurrentIndex(-1);
    EXPECT_FALSE(acDo->isEnabled());

    child<QLineEdit>(&form, "eFileSigned")->setText(QStringLiteral("/tmp/k.p7e"));
    EXPECT_TRUE(child<QAction>(&form, "acCheckSign")->isEnabled());
}

TEST(MainForm, PageChangeClearsStatusAndRebuildsListEachTime) {
    TempProfile profile;
    TMainForm form({});
    QSignalSpy refreshes(child<QAction>(&form, "acGreedRefresh"), &QAction::triggered);
    auto* pages = child<QTabWidget>(&form, "pcMain");
    form.ShowStatus(QStringLiteral("что-то"));
    pages->setCurrentIndex(TMainForm::ReportsPage);
    EXPECT_EQ(statusLine(form), QString());
    pages->setCurrentIndex(TMainForm::SignPage);
    pages->setCurrentIndex(TMainForm::ReportsPage);
    EXPECT_EQ(refreshes.count(), 2);
}

TEST(MainForm, ShowStatusAppendsTheReason) {
    TempProfile profile;
    TMainForm form({});
    form.ShowStatus(QStringLiteral("Ошибка при поиске подходящего сертификата "),
                    QStringLiteral("Объект не найден."));
    EXPECT_EQ(statusLine(form),
              QStringLiteral("Ошибка при поиске подходящего сертификата (Объект не найден)."));
}

TEST(MainForm, ConnectionMenuOnlyFromRightClickOnTheIcon) {
    TempProfile profile;
    TMainForm form({});
    form.show();
    auto* panel = child<StatusPanel>(&form, "StatusBar");
    auto* menu = child<QMenu>(&form, "pmCon");
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(menu->isVisible());
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(30, 10));
    EXPECT_FALSE(menu->isVisible());
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST(MainForm, TestModeCaptionAndReceiptArgument) {
    TempProfile profile;
    {
        TMainForm form({QStringLiteral("-test")});
        EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral(" - тестовый режим !!!")));
        EXPECT_TRUE(form.context().testMode);
    }
    const QString receipt = profile.root() + QStringLiteral("/in/receipt.p7e");
    TMainForm form({receipt});
    EXPECT_FALSE(form.context().testMode);
    EXPECT_EQ(child<QTabWidget>(&form, "pcMain")->currentIndex(), TMainForm::ReceiptPage);
    EXPECT_EQ(child<QLineEdit>(&form, "eFileSigned")->text(), receipt);
}

TEST(MainForm, ClosingSavesSettingsAndGeometry) {
    TempProfile profile;
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("Left"), QStringLiteral("10"));
        global.setValue(QStringLiteral("Width"), QStringLiteral("600"));
    }
    {
        TMainForm form({});
        EXPECT_EQ(form.geometry().left(), 10);
        EXPECT_EQ(form.geometry().width(), 600);
        form.context().settings.priv.org = QStringLiteral(" ");
        form.context().settings.priv.subject = QStringLiteral("Иванов");
        form.close();
    }
    QSettings mode(modeSettingsPath(QStringLiteral("R7")), QSettings::IniFormat);
    EXPECT_EQ(mode.value(QStringLiteral("PrivOrg")).toString(), QStringLiteral(" "));
    QSettings global(globalSettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(global.value(QStringLiteral("Width")).toString(), QStringLiteral("600"));
    EXPECT_EQ(global.value(QStringLiteral("proxy")).toString(), QStringLiteral(":0"));
}

TEST(MainForm, StoredPositionOffTheScreenIsBroughtBack) {
    TempProfile profile;
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("Left"), QStringLiteral("5000"));
        global.setValue(QStringLiteral("Top"), QStringLiteral("-400"));
    }
    TMainForm form({});
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(form.geometry())) << form.geometry().left();
}

// With TELVA_SCREENSHOT_DIR set, saves a picture of each page (for the README and review).
TEST(MainForm, PagesRenderForScreenshots) {
    TempProfile profile;
    TMainForm form({});
    form.resize(775, 340);
    form.show();
    auto* pages = child<QTabWidget>(&form, "pcMain");
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        const QPixmap picture = form.grab();
        EXPECT_FALSE(picture.isNull());
        if (!dir.isEmpty())
            picture.save(dir + QStringLiteral("/page-%1.png").arg(page + 1));
    }
}

namespace {

// Answers the next modal box (a message box) by closing it, and remembers its text.
QString closeNextModal() {
    static QString seen;
    seen.clear();
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->text();
            box->accept();
        }
    });
    return seen;
}

} // namespace

TEST(MainForm, NewInputFileOfUnknownKindClearsTheEarlierKindAndBlocksSigning) {
    TempProfile profile;
    TMainForm form({});
    auto* acSend = child<QAction>(&form, "acSend");
    auto* acDo = child<QAction>(&form, "acDo");
    auto* kind = child<QLineEdit>(&form, "eKindDoc");
    auto* out = child<QLineEdit>(&form, "eFileOut");
    auto* prov = child<QComboBox>(&form, "cbProv");
    prov->addItem(QStringLiteral("GOST Engine"), 75);
    prov->setCurrentIndex(0);
    child<QLineEdit>(&form, "ePrivCert")->setText(QStringLiteral("Org"));
    child<QLineEdit>(&form, "ePubCert")->setText(QStringLiteral("KVB"));
    const QString good = profile.writeFile(QStringLiteral("data.old/rep.xml"), "<ROWSET/>");
    const QByteArray unknown[] = {"<r7report/>", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"};
    for (const QByteArray& content : unknown) {
        acSend->setEnabled(true);
        form.InputFileChosen(good);
        EXPECT_FALSE(acSend->isEnabled());
        EXPECT_EQ(kind->text(), QStringLiteral("Реестр пособий"));
        EXPECT_EQ(out->text(), profile.root() + QStringLiteral("/data.old/rep.esl"));
        EXPECT_TRUE(acDo->isEnabled());

        const QString bad = profile.writeFile(QStringLiteral("bad.xml"), content);
        acSend->setEnabled(true);
        closeNextModal();
        form.InputFileChosen(bad);
        EXPECT_FALSE(acSend->isEnabled());
        EXPECT_EQ(child<QLineEdit>(&form, "eFileIn")->text(), bad);
        EXPECT_EQ(kind->text(), QString());
        EXPECT_EQ(out->text(), QString());
        EXPECT_FALSE(acDo->isEnabled());
    }
}

// Files dropped on the window: one takes the single-file road, several open the batch table,
// where a file that is no report says why in its row.
TEST(MainForm, DroppedFilesTakeTheSingleOrTheBatchRoad) {
    TempProfile profile;
    TMainForm form({});
    const QString one = profile.writeFile("in/one.txt", "not a report");
    const QString two = profile.writeFile("in/two.txt", "neither");
    auto drop = [&](const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls.append(QUrl::fromLocalFile(file));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&form, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&form, &event);
    };
    closeNextModal();
    drop({one});
    EXPECT_EQ(child<QLineEdit>(&form, "eFileIn")->text(), one);
    EXPECT_EQ(form.findChild<BatchDialog*>(), nullptr);

    drop({one, two});
    auto* dialog = form.findChild<BatchDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* table = child<QTableWidget>(dialog, "gBatch");
    ASSERT_EQ(table->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(table->item(row, BatchDialog::ColState)->text(), QStringLiteral("Ошибка"));
        EXPECT_FALSE(table->item(row, BatchDialog::ColResult)->text().isEmpty());
    }
}

// Escape while a file is on its way: the table stays until that send has ended, sends no
// further file, and only then closes.
TEST(BatchTable, ClosedWhileSendingClosesAfterTheStep) {
    QPointer<BatchDialog> dialog;
    int sent = 0;
    BatchDialog::Steps steps;
    steps.detect = [](const QString& source) -> Result<std::pair<QString, QString>> {
        return std::pair{QStringLiteral("Форма 7"), source + QStringLiteral(".er7")};
    };
    steps.sign = [](const QString&, const QString&) { return Status(); };
    steps.send = [&](const QString&, const QString&) -> Result<QString> {
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QString::number(++sent);
    };
    dialog = new BatchDialog(std::move(steps), {QStringLiteral("a.xml"), QStringLiteral("b.xml")});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->prepare();
    dialog->sendAll();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(sent, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

// The status line says by its colour how an operation went: failures bold red, successes
// dark green, progress in the window's own text colour.
TEST(MainForm, TheStatusLineIsColouredByWhatItTells) {
    TempProfile profile;
    TMainForm form({});
    auto* panel = form.findChild<StatusPanel*>();
    auto* line = child<QWidget>(&form, "StatusText");
    const QColor text = line->palette().color(QPalette::Text);
    const struct {
        std::function<void()> show;
        StatusKind kind;
        QColor colour;
        bool bold;
    } cases[] = {
        {[&] { form.context().showProgress(QStringLiteral("Идет загрузка ...")); },
         StatusKind::Info, text, false},
        {[&] { form.ShowStatus(QStringLiteral("Ошибка при шифровании "), QStringLiteral("нет")); },
         StatusKind::Error, QColor(Qt::red), true},
        {[&] { form.showOutcome(Result<QString>(QStringLiteral("Отчет подписан."))); },
         StatusKind::Success, QColor(0, 110, 0), false},
        {[&] { form.showOutcome(Result<QString>::fail(QStringLiteral("Файл не найден."))); },
         StatusKind::Error, QColor(Qt::red), true},
    };
    for (const auto& c : cases) {
        c.show();
        EXPECT_EQ(panel->statusKind(), c.kind) << panel->statusText().toStdString();
        EXPECT_EQ(line->palette().color(QPalette::WindowText), c.colour)
            << panel->statusText().toStdString();
        EXPECT_EQ(line->font().bold(), c.bold) << panel->statusText().toStdString();
    }
}

// Sent, declined as a repeat, failed with a long text: each row says so, the whole error is in
// the tooltip, and a line under the table counts the outcome.
TEST(BatchTable, RowsSayWhatBecameOfEachFileAndALineCountsThem) {
    const QString longError = QStringLiteral("Не удается подключиться к серверу kvb.example: "
                                             "сервер недоступен или отказал в соединении.");
    const std::map<QString, Result<QString>> answers = {
        {QStringLiteral("a.xml"), Result<QString>(QStringLiteral("7701-0001-1"))},
        {QStringLiteral("b.xml"),
         Result<QString>::fail(QStringLiteral("Отчет \"b.xml\" уже отправлен. Отправить еще раз?"),
                               kSendDeclined)},
        {QStringLiteral("c.xml"), Result<QString>::fail(longError)},
        {QStringLiteral("d.xml"), Result<QString>(QStringLiteral("7701-0001-2"))},
    };
    BatchDialog::Steps steps;
    steps.detect = [](const QString& source) -> Result<std::pair<QString, QString>> {
        return std::pair{QStringLiteral("Форма 7"), source + QStringLiteral(".er7")};
    };
    steps.sign = [](const QString&, const QString&) { return Status(); };
    steps.send = [&](const QString& source, const QString&) { return answers.at(source); };
    BatchDialog dialog(std::move(steps), {"a.xml", "b.xml", "c.xml", "d.xml"});
    dialog.prepare();
    dialog.sendAll();
    auto* table = child<QTableWidget>(&dialog, "gBatch");
    const QString states[] = {QStringLiteral("Отправлен"), QStringLiteral("не отправлен (повтор)"),
                              QStringLiteral("Ошибка отправки"), QStringLiteral("Отправлен")};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(table->item(row, BatchDialog::ColState)->text(), states[row]) << row;
    EXPECT_EQ(table->item(2, BatchDialog::ColResult)->toolTip(), longError);
    EXPECT_EQ(child<QLabel>(&dialog, "lbSummary")->text(),
              QStringLiteral("отправлено 2, ошибок 1, не отправлено повторов 1"));
}
