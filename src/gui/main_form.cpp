#include "gui/main_form.h"

#include "app/event_log.h"
#include "app/paths.h"
#include "app/program.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "archive/sent_log.h"
#include "gateway/http_client.h"
#include "gui/batch_dialog.h"
#include "gui/icons.h"
#include "gui/input_gate.h"
#include "gui/page_host.h"
#include "gui/receipt_check_page.h"
#include "gui/sent_reports_page.h"
#include "gui/signing_page.h"
#include "gui/status_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace telva {

namespace {

QString closeWhileSendingText() {
    return QStringLiteral("Отчет еще отправляется. Окно закроется само, когда отправка "
                          "завершится.");
}

QString closeWhileBusyText() {
    return QStringLiteral("Операция еще выполняется. Окно закроется само, когда она "
                          "завершится.");
}

} // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), frontend_(this), ctx_(frontend_),
      http_(std::make_unique<HttpClient>(ctx_)) {
    setObjectName(QStringLiteral("TMainForm"));
    setWindowIcon(programIcon());
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    resize(775, 314);
    setAcceptDrops(true);
    statusPanel_ = new StatusPanel(this);
    host_ = new PageHost(ctx_, frontend_, *http_, *statusPanel_, this);
    createActions();
    createPages();
    createStatusBar();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pcMain_, 1);
    layout->addWidget(statusPanel_);
    setCentralWidget(central);
    watchFocus();
    auto* gate = new InputGate(this);
    gate->allow(statusPanel_->cancelButton());
    frontend_.setInputGate(gate);
    frontend_.setCancelSink([this](bool on) { statusPanel_->setCancelVisible(on); });
    frontend_.setPercentSink([this](int percent) { statusPanel_->setPercent(percent); });
    connect(statusPanel_, &StatusPanel::cancelClicked, this, [this] { frontend_.requestCancel(); });
    connect(pcMain_, &QTabWidget::currentChanged, this, &TMainForm::pcMainChange);
    FormCreate(arguments);
}

TMainForm::~TMainForm() {
    // The pages go first, while the run's context is still whole: an ask of the follow-up
    // under way ends reading its clock.
    disconnect(pcMain_, nullptr, this, nullptr);
    delete pcMain_;
}

void TMainForm::createPages() {
    pcMain_ = new QTabWidget(this);
    pcMain_->setObjectName(QStringLiteral("pcMain"));
    signPage_ = new SigningPage(*host_, acProxy, pcMain_);
    reportsPage_ = new SentReportsPage(*host_, pcMain_);
    receiptPage_ = new ReceiptCheckPage(*host_, pcMain_);
    pcMain_->addTab(signPage_, QStringLiteral("&Подписать и зашифровать"));
    pcMain_->addTab(reportsPage_, QStringLiteral("&Отправленные отчеты"));
    pcMain_->addTab(receiptPage_, QStringLiteral("Проверить &квитанцию"));
    // F5 refreshes the list from any page.
    addAction(reportsPage_->refreshAction());
    // A report is followed from the moment it went out, whichever page is open.
    connect(signPage_, &SigningPage::sent, reportsPage_, &SentReportsPage::follow);
    connect(
        reportsPage_, &SentReportsPage::receiptDownloaded, this,
        [this](const QString& file, const std::optional<Result<crypto::CheckedReceipt>>& checked) {
            pcMain_->setCurrentIndex(ReceiptPage);
            receiptPage_->showDownloaded(file, checked);
        });
    connect(reportsPage_, &SentReportsPage::reportWanted, this, &TMainForm::showReport);
}

void TMainForm::FormCreate(const QStringList& arguments) {
    // Before any run stored its place the window opens in the middle of the screen.
    const bool placedBefore =
        QSettings(globalSettingsPath(), QSettings::IniFormat).contains(QStringLiteral("Left"));
    LoadSettings(ctx_.settings, frontend_);
    host_->settingsWritten();
    reportsPage_->settingsLoaded();
    placeWindow(!placedBefore);
    ctx_.archiveBaseFolder = InitArchiveBaseFolder(ctx_.settings.activeMode);
    const CommandLine commandLine = parseCommandLine(arguments, ctx_.settings.kvitExt);
    ctx_.testMode = commandLine.testMode;
    pcMain_->setCurrentIndex(SignPage);
    setWindowTitle(windowCaption(ctx_.testMode));
    ctx_.lastRequestTime = ctx_.clock.now();
    ctx_.lastRequestFile = lastRequestFile();
    for (const QString& text : specialStateFiles({logFilePath(), sentLogPath(), lastRequestFile()}))
        frontend_.showError(text);
    host_->places = RecentPlaces::load();
    // Only a file that still reads as a report comes back; anything else would greet the
    // person with a message about a file they did not just choose.
    const QString lastInput = host_->places.inputFile;
    if (commandLine.receiptFile.isEmpty() && QFileInfo(lastInput).isFile() &&
        detectKindOfFile(lastInput))
        signPage_->InputFileChosen(lastInput);
    if (!commandLine.receiptFile.isEmpty())
        checkReceipt(commandLine.receiptFile);
}

void TMainForm::checkReceipt(const QString& file) {
    pcMain_->setCurrentIndex(ReceiptPage);
    receiptPage_->check(file);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    signPage_->start();
    reportsPage_->start();
}

bool TMainForm::busy() const {
    if (host_->running() > 0)
        return true;
    for (const BatchDialog* batch : findChildren<BatchDialog*>())
        if (batch->busy())
            return true;
    return false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A hidden window would let a send go on unseen: the window stays, says why, and closes
    // itself once the operation has ended.
    if (busy()) {
        event->ignore();
        if (closeWhenDone_)
            return;
        closeWhenDone_ = new QTimer(this);
        closeWhenDone_->setInterval(300);
        connect(closeWhenDone_, &QTimer::timeout, this, [this] {
            if (!busy())
                close();
        });
        closeWhenDone_->start();
        auto* box =
            new QMessageBox(QMessageBox::Information, programTitle(),
                            signPage_->sending() ? closeWhileSendingText() : closeWhileBusyText(),
                            QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("CloseWhenDone"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        return;
    }
    FormDestroy();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormDestroy() {
    ctx_.settings.left = frameGeometry().left();
    ctx_.settings.top = frameGeometry().top();
    ctx_.settings.width = width();
    ctx_.settings.height = height();
    SaveSettings(ctx_.settings, frontend_);
    host_->settingsWritten();
}

bool TMainForm::cameToFront() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    // A dialog of the window is open: its question comes first.
    return !QApplication::activeModalWidget();
}

void TMainForm::ShowStatus(const QString& text, const QString& errorText, StatusKind kind) {
    host_->ShowStatus(text, errorText, kind);
}

void TMainForm::showOutcome(const QString& text, StatusKind kind) {
    host_->showOutcome(text, kind);
}

void TMainForm::showOutcome(const Result<QString>& result) {
    host_->showOutcome(result);
}

void TMainForm::execute(QAction* action) {
    host_->execute(action);
}

void TMainForm::InputFileChosen(const QString& file) {
    signPage_->InputFileChosen(file);
}

void TMainForm::openBatch(const QStringList& files) {
    signPage_->openBatch(files);
}

void TMainForm::followUp() {
    reportsPage_->followUp();
}

bool TMainForm::followUpRunning() const {
    return reportsPage_->followUpRunning();
}

void TMainForm::exportReportsTo(const QString& zipPath) {
    reportsPage_->exportReportsTo(zipPath);
}

void TMainForm::showReport(const QString& reportId) {
    if (!cameToFront())
        return;
    pcMain_->setCurrentIndex(ReportsPage);
    reportsPage_->choose(reportId);
}

void TMainForm::pcMainChange(int index) {
    ShowStatus(QString());
    if (index == ReportsPage)
        reportsPage_->refresh();
}

} // namespace telva
