#include "gui/main_form.h"

#include "app/event_log.h"
#include "app/paths.h"
#include "app/program.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "archive/report_list.h"
#include "archive/sent_log.h"
#include "crypto/cert_format.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"
#include "crypto/sign_encrypt.h"
#include "gateway/connection_check.h"
#include "gateway/http_client.h"
#include "gui/batch_dialog.h"
#include "gui/cert_chooser.h"
#include "gui/icons.h"
#include "gui/input_gate.h"
#include "gui/receipt_view.h"
#include "gui/status_panel.h"
#include "operations/install_certificate.h"
#include "operations/receipt_check.h"
#include "operations/report_actions.h"
#include "operations/report_status.h"
#include "operations/send_recovery.h"
#include "operations/submission.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace telva {

namespace {

// How long before its end a personal certificate is warned of.
constexpr int kSoonDays = 30;

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
    createActions();
    pcMain_ = new QTabWidget(this);
    pcMain_->setObjectName(QStringLiteral("pcMain"));
    const QString pages[] = {QStringLiteral("&Подписать и зашифровать"),
                             QStringLiteral("&Отправленные отчеты"),
                             QStringLiteral("Проверить &квитанцию")};
    const char* names[] = {"tsSign", "tsReports", "tsKvit"};
    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget(pcMain_);
        page->setObjectName(QLatin1String(names[i]));
        pcMain_->addTab(page, pages[i]);
    }
    createSignPage(pcMain_->widget(SignPage));
    createReportsPage(pcMain_->widget(ReportsPage));
    createReceiptPage(pcMain_->widget(ReceiptPage));
    createStatusBar();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pcMain_, 1);
    layout->addWidget(statusPanel_);
    setCentralWidget(central);
    frontend_.setStatusSink([this](const QString& text) {
        statusPanel_->setStatusText(text, nextKind_);
        if (!checking_) {
            operationStatus_ = text;
            operationKind_ = nextKind_;
        }
    });
    watchFocus();
    auto* gate = new InputGate(this);
    gate->allow(statusPanel_->cancelButton());
    frontend_.setInputGate(gate);
    frontend_.setCancelSink([this](bool on) { statusPanel_->setCancelVisible(on); });
    frontend_.setPercentSink([this](int percent) { statusPanel_->setPercent(percent); });
    connect(statusPanel_, &StatusPanel::cancelClicked, this, [this] { frontend_.requestCancel(); });
    connect(pcMain_, &QTabWidget::currentChanged, this, &TMainForm::pcMainChange);
    acDoUpdate();
    acCheckSignUpdate();
    acShowFinalXmlUpdate();
    FormCreate(arguments);
}

void TMainForm::FormCreate(const QStringList& arguments) {
    // Before any run stored its place the window opens in the middle of the screen.
    const bool placedBefore =
        QSettings(globalSettingsPath(), QSettings::IniFormat).contains(QStringLiteral("Left"));
    LoadSettings(ctx_.settings, frontend_);
    savedSettings_ = ctx_.settings;
    cbAutoRefresh_->setChecked(ctx_.settings.autoRefresh);
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
    places_ = RecentPlaces::load();
    // Only a file that still reads as a report comes back; anything else would greet the
    // person with a message about a file they did not just choose.
    if (commandLine.receiptFile.isEmpty() && QFileInfo(places_.inputFile).isFile() &&
        detectKindOfFile(places_.inputFile))
        InputFileChosen(places_.inputFile);
    if (!commandLine.receiptFile.isEmpty()) {
        eFileSigned_->setText(commandLine.receiptFile);
        pcMain_->setCurrentIndex(ReceiptPage);
        execute(acCheckSign);
    }
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    // Without the engine the list stays empty; the person learns why and what to install.
    if (const Status engine = crypto::ensureGostEngine(); !engine)
        ctx_.frontend.showError(engine.text());
    const crypto::ProviderList providers = crypto::FillProviderList(ctx_.settings.provName);
    cbProv_->clear();
    for (const crypto::ProviderEntry& entry : providers.entries)
        cbProv_->addItem(entry.name, entry.type);
    cbProv_->setCurrentIndex(providers.selected);
    showCertificateLabels();
    // The reports in processing are followed from the start, not only once the list is seen.
    acGreedRefreshExecute();
    startFollowUp();
    watchArchive();
}

void TMainForm::showCertificateLabels() {
    const Settings& s = ctx_.settings;
    ePrivCert_->setText(crypto::identityLabel(s.priv));
    ePubCert_->setText(crypto::identityLabel(s.pub));
    showCertificateTips();
}

void TMainForm::showCertificateTips() {
    // The field shows the organisation only; two people of one organisation differ here.
    // A certificate that will not sign is told of now, not when signing fails.
    const struct {
        QLineEdit* field;
        const CertIdentity* identity;
        QString whose;
        int soonDays;
    } fields[] = {
        {ePrivCert_, &ctx_.settings.priv, QStringLiteral("личного сертификата"), kSoonDays},
        {ePubCert_, &ctx_.settings.pub, QStringLiteral("сертификата уполномоченного лица КВБ"), 0},
    };
    QStringList warnings;
    const QDateTime now = ctx_.clock.now();
    for (const auto& f : fields) {
        QString tip;
        if (Result<crypto::CertStore> store = crypto::CertStore::open(f.identity->store)) {
            if (const std::optional<crypto::Certificate> cert =
                    crypto::FindCertByIdentity(*store, f.identity->issuer, f.identity->sernum)) {
                tip = crypto::certSummary(*cert, now);
                if (QString warning = crypto::certWarning(*cert, f.whose, now, f.soonDays);
                    !warning.isEmpty())
                    warnings.append(warning);
            }
        }
        f.field->setToolTip(tip);
    }
    lbCertWarning_->setText(warnings.join(QLatin1Char('\n')));
    lbCertWarning_->setVisible(!warnings.isEmpty());
    showFirstSteps();
}

bool TMainForm::busy() const {
    if (running_ > 0)
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
        auto* box = new QMessageBox(QMessageBox::Information, programTitle(),
                                    sending_ ? closeWhileSendingText() : closeWhileBusyText(),
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
    savedSettings_ = ctx_.settings;
}

void TMainForm::keepSettings() {
    // Written when they change, not only at a clean close: a killed window loses nothing.
    if (ctx_.settings == savedSettings_)
        return;
    SaveSettings(ctx_.settings, frontend_);
    savedSettings_ = ctx_.settings;
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
    nextKind_ = errorText.isEmpty() ? kind : StatusKind::Error;
    ctx_.showStatus(text, errorText);
    nextKind_ = StatusKind::Info;
}

void TMainForm::showOutcome(const QString& text, StatusKind kind) {
    if (!text.isEmpty())
        ShowStatus(text, QString(), kind);
}

void TMainForm::showOutcome(const Result<QString>& result) {
    showOutcome(result ? *result : result.text(), result ? StatusKind::Success : StatusKind::Error);
}

void TMainForm::showSendOutcome(const Result<SentReport>& sent) {
    const bool declined = !sent && sent.error().code == kSendDeclined;
    showOutcome(sent ? sent->text : sent.text(), sent       ? StatusKind::Success
                                                 : declined ? StatusKind::Info
                                                            : StatusKind::Error);
    if (declined)
        return;
    // Followed from the moment it went out, whichever page is open.
    if (sent)
        followUp_.add(sent->id, ctx_.clock.ticks(), ctx_.clock.ticks());
    if (sent || sent.kind() == ErrorKind::Unreachable) {
        ctx_.connected = sent.ok();
        statusPanel_->setConnected(ctx_.connected);
    }
}

void TMainForm::runUpdate(QAction* action) {
    if (action == acDo)
        acDoUpdate();
    else if (action == acCheckSign)
        acCheckSignUpdate();
    else if (action == acShowFinalXml)
        acShowFinalXmlUpdate();
}

void TMainForm::execute(QAction* action) {
    runUpdate(action);
    if (action->isEnabled())
        action->trigger();
}

void TMainForm::acDoUpdate() {
    acDo->setEnabled(cbProv_->currentIndex() >= 0 && !cbProv_->currentText().isEmpty() &&
                     !ePrivCert_->text().isEmpty() && !ePubCert_->text().isEmpty() &&
                     !eFileIn_->text().isEmpty() && !eFileOut_->text().isEmpty());
}

void TMainForm::acCheckSignUpdate() {
    acCheckSign->setEnabled(!eFileSigned_->text().isEmpty());
}

void TMainForm::acShowFinalXmlUpdate() {
    const ReportRow* row = selectedReport();
    acShowFinalXml->setEnabled(row && CanShowAcceptedReport(ctx_, *row));
}

const ReportRow* TMainForm::selectedReport() const {
    const std::optional<size_t> index = reportAt(gRep_->currentRow());
    return index ? &reports_[*index] : nullptr;
}

void TMainForm::acDoExecute() {
    ctx_.settings.provName = cbProv_->currentText();
    ctx_.settings.provType = cbProv_->currentData().toInt();
    const Result<QString> done = crypto::SignAndEncrypt(ctx_, eFileIn_->text(), eFileOut_->text());
    showOutcome(done);
    signed_.reset();
    if (done)
        signed_ = {FileStamp::of(eFileIn_->text()), FileStamp::of(eFileOut_->text())};
    acSend->setEnabled(done.ok());
}

void TMainForm::acSendExecute() {
    // A source moved or changed, or an output written over since signing, is not what the
    // person signed: nothing goes out, and signing again is the way on.
    if (!signed_ || FileStamp::of(eFileIn_->text()) != signed_->first ||
        FileStamp::of(eFileOut_->text()) != signed_->second) {
        signed_.reset();
        acSend->setEnabled(false);
        ShowStatus(QStringLiteral(
                       "Файлы изменились после подписи или перемещены. Подпишите отчет заново."),
                   QString(), StatusKind::Error);
        return;
    }
    sending_ = true;
    const Result<SentReport> sent =
        SubmitReport(ctx_, *http_, {eFileOut_->text(), eFileIn_->text(), ePrivCert_->text()});
    sending_ = false;
    showSendOutcome(sent);
}

void TMainForm::acLoadCertExecute() {
    const Result<QString> installed = crypto::LoadFundCertificates(ctx_, *http_);
    showOutcome(installed);
    showCertificateLabels();
}

void TMainForm::acProxyExecute() {
    proxyDialogDeclined_ = false;
    const Status changed = ChangeProxySettings(ctx_, *http_);
    statusPanel_->setConnected(ctx_.connected);
    if (!changed)
        frontend_.showError(changed.text());
}

void TMainForm::acTestConnExecute() {
    proxyDialogDeclined_ = false;
    TestConnection(ctx_, *http_);
    statusPanel_->setConnected(ctx_.connected);
}

void TMainForm::acGreedRefreshExecute() {
    RecoverSends(ctx_);
    reports_ = FillReportList(ctx_);
    fillReportGrid();
    paintReportList();
    gRep_->setCurrentCell(0, 0);
    acShowFinalXmlUpdate();
    watchReportFolders();
}

void TMainForm::acLoadKvitExecute() {
    const ReportRow* row = selectedReport();
    if (!row)
        return;
    // A send without an identifier has nothing to ask the gateway about; the row says why.
    if (!row->detail.isEmpty()) {
        ShowStatus(row->detail);
        return;
    }
    const size_t index = size_t(row - reports_.data());
    followUp_.restart(row->id(), ctx_.clock.ticks());
    followUpNotes_.remove(row->id());
    toldFailures_.remove(row->id());
    const Result<RefreshOutcome> refreshed = RefreshReportState(ctx_, *http_, *row);
    if (!refreshed) {
        showOutcome(refreshed.text(), StatusKind::Error);
        return;
    }
    const RefreshOutcome& outcome = *refreshed;
    if (outcome.status)
        ShowStatus(*outcome.status);
    if (outcome.newState)
        setReportState(index, *outcome.newState);
    acShowFinalXmlUpdate();
    if (outcome.receiptToCheck.isEmpty())
        return;
    eFileSigned_->setText(outcome.receiptToCheck);
    pcMain_->setCurrentIndex(ReceiptPage);
    // A receipt just downloaded was checked before it was kept: shown, not checked again.
    if (outcome.checked)
        showCheckOutcome(*outcome.checked);
    else
        execute(acCheckSign);
}

void TMainForm::acShowSrcExecute() {
    if (const ReportRow* row = selectedReport())
        ShowSourceFile(ctx_, *row);
}

void TMainForm::acShowFinalXmlExecute() {
    if (const ReportRow* row = selectedReport())
        if (const Status shown = ShowAcceptedReport(ctx_, *row); !shown)
            showOutcome(shown.text(), StatusKind::Error);
}

void TMainForm::acDelCurRecExecute() {
    const ReportRow* row = selectedReport();
    if (!row)
        return;
    const Result<QString> deleted = DeleteReport(ctx_, *row);
    showOutcome(deleted);
    if (deleted)
        execute(acGreedRefresh);
}

void TMainForm::acCheckSignExecute() {
    showCheckedReceipt(std::nullopt);
    ShowStatus(QString());
    showCheckOutcome(crypto::CheckReceipt(ctx_, eFileSigned_->text()));
}

void TMainForm::showCheckOutcome(Result<crypto::CheckedReceipt> receipt) {
    showCheckedReceipt(std::nullopt);
    if (!receipt) {
        // The check has shown why; the line turns to a failure's.
        if (statusPanel_->statusText() == receipt.text()) {
            statusPanel_->setStatusText(receipt.text(), StatusKind::Error);
            operationKind_ = StatusKind::Error;
        }
        return;
    }
    const QString signer = receipt->signer;
    showCheckedReceipt(std::move(*receipt));
    ShowStatus(QStringLiteral("Квитанция проверена: подпись верна. Подписал: ") + signer, QString(),
               StatusKind::Success);
}

void TMainForm::acPrintExecute() {
    receiptView_->printWithDialog();
}

void TMainForm::sbSelFileClick() {
    const QString ext = ctx_.settings.srcExt;
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), dialogStartFolder(eFileIn_->text(), places_.reportFolder),
        ext + QStringLiteral(" (*.") + ext + ')');
    if (files.size() == 1)
        InputFileChosen(files.first());
    else if (files.size() > 1)
        openBatch(files);
}

void TMainForm::eFileInEdited() {
    // Until the typed path is read, the kind and output name of the previous file would
    // write over that report's output.
    signed_.reset();
    acSend->setEnabled(false);
    eKindDoc_->clear();
    eFileOut_->clear();
}

void TMainForm::eFileInEditingFinished() {
    const QString typed = eFileIn_->text().trimmed();
    if (eFileOut_->text().isEmpty() && QFileInfo(typed).isFile())
        InputFileChosen(typed);
}

void TMainForm::InputFileChosen(const QString& file) {
    signed_.reset();
    acSend->setEnabled(false);
    eFileIn_->setText(file);
    places_.inputFile = file;
    places_.reportFolder = QFileInfo(file).absolutePath();
    places_.save();
    const Result<const ReportKind*> kind = detectKindOfFile(file);
    if (!kind) {
        // The earlier kind and output name belong to another file: signing with them would
        // write this file over that report's output.
        eKindDoc_->clear();
        eFileOut_->clear();
        frontend_.messageBox(kindErrorText(kind.text()), QStringLiteral("Внимание"),
                             Frontend::Icon::Information);
        return;
    }
    ctx_.settings.encExt = (*kind)->encExt;
    keepSettings();
    eKindDoc_->setText((*kind)->displayName);
    eFileOut_->setText(outputFileName(eFileIn_->text(), (*kind)->encExt));
}

void TMainForm::sbSelKvitClick() {
    showCheckedReceipt(std::nullopt);
    ShowStatus(QString());
    const QString ext = ctx_.settings.kvitExt;
    const QString file = QFileDialog::getOpenFileName(
        this, QString(), dialogStartFolder(eFileSigned_->text(), places_.receiptFolder),
        ext + QStringLiteral(" (*.") + ext + ')');
    if (file.isEmpty())
        return;
    eFileSigned_->setText(file);
    places_.receiptFolder = QFileInfo(file).absolutePath();
    places_.save();
}

void TMainForm::sbPrivCertClick() {
    CertIdentity& identity = ctx_.settings.priv;
    if (!ChooseCertificate(this, identity, &frontend_))
        return;
    ePrivCert_->setText(crypto::identityLabel(identity));
    showCertificateTips();
    keepSettings();
}

void TMainForm::sbPubCertClick() {
    CertIdentity& identity = ctx_.settings.pub;
    if (!ChooseCertificate(this, identity, &frontend_))
        return;
    ePubCert_->setText(crypto::identityLabel(identity));
    showCertificateTips();
    keepSettings();
}

void TMainForm::pcMainChange(int index) {
    ShowStatus(QString());
    if (index == ReportsPage)
        execute(acGreedRefresh);
}

void TMainForm::showConnectionMenu() {
    const QRect frame = frameGeometry();
    pmCon_->popup(QPoint(frame.left() + 5, frame.top() + frame.height() - 70));
}

} // namespace telva
