#include "gui/main_form.h"

#include "app/paths.h"
#include "app/program.h"
#include "app/report_kind.h"
#include "gui/receipt_view.h"
#include "gui/status_panel.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace telva {

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), frontend_(this), ctx_(frontend_) {
    setObjectName(QStringLiteral("TMainForm"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    resize(775, 314);
    createActions();
    pcMain_ = new QTabWidget(this);
    pcMain_->setObjectName(QStringLiteral("pcMain"));
    const QString pages[] = {QStringLiteral("Подписать и зашифровать"),
                             QStringLiteral("Отправленные отчеты"),
                             QStringLiteral("Проверить квитанцию")};
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
    frontend_.setStatusSink([this](const QString& text) { statusPanel_->setStatusText(text); });
    connect(pcMain_, &QTabWidget::currentChanged, this, &TMainForm::pcMainChange);
    acDoUpdate();
    acCheckSignUpdate();
    acShowFinalXmlUpdate();
    FormCreate(arguments);
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate(const QStringList& arguments) {
    LoadSettings(ctx_.settings, frontend_);
    setGeometry(ctx_.settings.left, ctx_.settings.top, ctx_.settings.width, ctx_.settings.height);
    ctx_.archiveBaseFolder = InitArchiveBaseFolder(ctx_.settings.activeMode);
    const CommandLine commandLine = parseCommandLine(arguments, ctx_.settings.kvitExt);
    ctx_.testMode = commandLine.testMode;
    pcMain_->setCurrentIndex(SignPage);
    setWindowTitle(windowCaption(ctx_.testMode));
    ctx_.lastRequestTime = ctx_.clock.now();
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
    showCertificateLabels();
}

void TMainForm::showCertificateLabels() {
    const Settings& s = ctx_.settings;
    ePrivCert_->setText(s.priv.org.isEmpty() ? s.priv.subject : s.priv.org);
    ePubCert_->setText(s.pub.org.isEmpty() ? s.pub.subject : s.pub.org);
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activating_) {
        // Dialogs of the check itself would re-activate the window; one check at a time.
        activating_ = true;
        FormActivate();
        activating_ = false;
    }
}

void TMainForm::FormActivate() {}

void TMainForm::hideNetworkActions() {
    acLoadCert->setVisible(false);
    acSend->setVisible(false);
    acLoadKvit->setVisible(false);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormDestroy();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormDestroy() {
    const QRect frame = geometry();
    ctx_.settings.left = frame.left();
    ctx_.settings.top = frame.top();
    ctx_.settings.width = frame.width();
    ctx_.settings.height = frame.height();
    SaveSettings(ctx_.settings, frontend_);
    ctx_.downloadBuffer.clear();
}

void TMainForm::ShowStatus(const QString& text, const QString& errorText) {
    frontend_.showStatus(statusText(text, errorText));
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

void TMainForm::acShowFinalXmlUpdate() {}

void TMainForm::acDoExecute() {
    ctx_.settings.provName = cbProv_->currentText();
    ctx_.settings.provType = cbProv_->currentData().toInt();
}

void TMainForm::acSendExecute() {}

void TMainForm::acLoadCertExecute() {}

void TMainForm::acProxyExecute() {}

void TMainForm::acTestConnExecute() {}

void TMainForm::acGreedRefreshExecute() {}

void TMainForm::acLoadKvitExecute() {}

void TMainForm::acShowSrcExecute() {}

void TMainForm::acShowFinalXmlExecute() {}

void TMainForm::acDelCurRecExecute() {}

void TMainForm::acCheckSignExecute() {
    receiptView_->ShowInReceiptView(QString());
    acPrint->setEnabled(false);
    ShowStatus(QString());
}

void TMainForm::acPrintExecute() {}

void TMainForm::sbSelFileClick() {
    const QString ext = ctx_.settings.srcExt;
    const QString file = QFileDialog::getOpenFileName(this, QString(), eFileIn_->text(),
                                                      ext + QStringLiteral(" (*.") + ext + ')');
    if (!file.isEmpty())
        InputFileChosen(file);
}

void TMainForm::InputFileChosen(const QString& file) {
    acSend->setEnabled(false);
    eFileIn_->setText(file);
    const Result<const ReportKind*> kind = detectKindOfFile(file);
    if (!kind) {
        frontend_.messageBox(kindErrorText(kind.text()), QStringLiteral("Внимание"),
                             Frontend::Icon::Information);
        return;
    }
    ctx_.settings.encExt = (*kind)->encExt;
    eKindDoc_->setText((*kind)->displayName);
    eFileOut_->setText(outputFileName(eFileIn_->text(), (*kind)->encExt));
}

void TMainForm::sbSelKvitClick() {
    receiptView_->ShowInReceiptView(QString());
    acPrint->setEnabled(false);
    ShowStatus(QString());
    const QString ext = ctx_.settings.kvitExt;
    const QString file = QFileDialog::getOpenFileName(this, QString(), eFileSigned_->text(),
                                                      ext + QStringLiteral(" (*.") + ext + ')');
    if (!file.isEmpty())
        eFileSigned_->setText(file);
}

void TMainForm::sbPrivCertClick() {}

void TMainForm::sbPubCertClick() {}

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
