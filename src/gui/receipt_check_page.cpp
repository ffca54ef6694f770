#include "gui/receipt_check_page.h"

#include "archive/report_archive.h"
#include "gui/page_controls.h"
#include "gui/page_host.h"
#include "gui/receipt_view.h"
#include "operations/receipt_pdf.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace telva {

ReceiptCheckPage::ReceiptCheckPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("tsKvit"));
    acCheckSign = makeAction(this, "acCheckSign", QStringLiteral("Прове&рить"));
    acPrint = makeAction(this, "acPrint", QStringLiteral("П&ечать"));
    acSavePdf =
        makeAction(this, "acSavePdf", QStringLiteral("Сохранить &PDF"),
                   QStringLiteral("Сохранить квитанцию в папку документов одним файлом PDF"));
    acPrint->setEnabled(false);
    acSavePdf->setEnabled(false);
    // Checking reads and may write the receipt of a report's folder: a background ask gives
    // way to it.
    host_.bind(
        acCheckSign, [this] { acCheckSignExecute(); }, true);
    host_.bind(acPrint, [this] { receiptView_->printWithDialog(); });
    host_.bind(acSavePdf, [this] { acSavePdfExecute(); });
    host_.setUpdateRule(acCheckSign, [this] { acCheckSignUpdate(); });

    eFileSigned_ = lineEdit(this, "eFileSigned");
    auto* sbSelKvit = smallButton(this, "sbSelKvit");
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Подписанный файл"), this));
    top->addWidget(eFileSigned_, 1);
    top->addWidget(sbSelKvit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(actionButton(this, acPrint));
    buttons->addWidget(actionButton(this, acSavePdf));
    buttons->addWidget(actionButton(this, acCheckSign));
    buttons->addStretch(1);
    receiptView_ = new ReceiptView(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(receiptView_, 1);
    connect(sbSelKvit, &QToolButton::clicked, this, &ReceiptCheckPage::sbSelKvitClick);
    connect(eFileSigned_, &QLineEdit::textChanged, this, &ReceiptCheckPage::acCheckSignUpdate);
    acCheckSignUpdate();
}

void ReceiptCheckPage::check(const QString& file) {
    eFileSigned_->setText(file);
    host_.execute(acCheckSign);
}

void ReceiptCheckPage::showDownloaded(
    const QString& file, const std::optional<Result<crypto::CheckedReceipt>>& checked) {
    eFileSigned_->setText(file);
    // A receipt just downloaded was checked before it was kept: shown, not checked again.
    if (checked)
        showCheckOutcome(*checked);
    else
        host_.execute(acCheckSign);
}

void ReceiptCheckPage::acCheckSignUpdate() {
    acCheckSign->setEnabled(!eFileSigned_->text().isEmpty());
}

void ReceiptCheckPage::acCheckSignExecute() {
    showCheckedReceipt(std::nullopt);
    host_.ShowStatus(QString());
    showCheckOutcome(crypto::CheckReceipt(host_.ctx, eFileSigned_->text()));
}

void ReceiptCheckPage::showCheckOutcome(Result<crypto::CheckedReceipt> receipt) {
    showCheckedReceipt(std::nullopt);
    if (!receipt) {
        // The check has shown why; the line turns to a failure's.
        host_.markFailureShown(receipt.text());
        return;
    }
    const QString signer = receipt->signer;
    showCheckedReceipt(std::move(*receipt));
    host_.ShowStatus(QStringLiteral("Квитанция проверена: подпись верна. Подписал: ") + signer,
                     QString(), StatusKind::Success);
}

void ReceiptCheckPage::showCheckedReceipt(std::optional<crypto::CheckedReceipt> receipt) {
    shownReceipt_ = std::move(receipt);
    receiptView_->ShowInReceiptView(
        shownReceipt_ ? shownReceipt_->page : QString(),
        shownReceipt_ ? QFileInfo(shownReceipt_->archivePath).completeBaseName() : QString());
    acPrint->setEnabled(shownReceipt_.has_value());
    acSavePdf->setEnabled(shownReceipt_.has_value());
}

void ReceiptCheckPage::acSavePdfExecute() {
    if (!shownReceipt_)
        return;
    const QString id = QFileInfo(shownReceipt_->archivePath).completeBaseName();
    const QString name = crypto::receiptPdfName(id);
    const QString path = PageHost::documentsFolder() + QLatin1Char('/') + name;
    if (const Status written = crypto::writeReceiptPdf(*shownReceipt_, id, path); !written) {
        host_.showOutcome(written.text(), StatusKind::Error);
        return;
    }
    // A receipt of a sent report keeps its PDF beside it too, so the archive's export has it.
    const QString beside = QFileInfo(shownReceipt_->archivePath).absolutePath();
    if (isPlainReportId(id) &&
        QFileInfo(beside) == QFileInfo(reportFolder(host_.ctx.archiveBaseFolder, id)))
        (void)crypto::writeReceiptPdf(*shownReceipt_, id, beside + QLatin1Char('/') + name);
    host_.showOutcome(QStringLiteral("Квитанция сохранена: ") + path, StatusKind::Success);
}

void ReceiptCheckPage::sbSelKvitClick() {
    showCheckedReceipt(std::nullopt);
    host_.ShowStatus(QString());
    const QString ext = host_.ctx.settings.kvitExt;
    const QString file = QFileDialog::getOpenFileName(
        this, QString(), dialogStartFolder(eFileSigned_->text(), host_.places.receiptFolder),
        ext + QStringLiteral(" (*.") + ext + ')');
    if (file.isEmpty())
        return;
    eFileSigned_->setText(file);
    host_.places.receiptFolder = QFileInfo(file).absolutePath();
    host_.places.save();
}

} // namespace telva
