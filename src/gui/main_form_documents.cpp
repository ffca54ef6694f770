#include "archive/report_archive.h"
#include "archive/report_export.h"
#include "gui/main_form.h"
#include "gui/receipt_view.h"
#include "operations/receipt_pdf.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QStandardPaths>
#include <QTableWidget>

namespace telva {

namespace {

QString documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    return documents;
}

} // namespace

void TMainForm::showCheckedReceipt(std::optional<crypto::CheckedReceipt> receipt) {
    shownReceipt_ = std::move(receipt);
    receiptView_->ShowInReceiptView(
        shownReceipt_ ? shownReceipt_->page : QString(),
        shownReceipt_ ? QFileInfo(shownReceipt_->archivePath).completeBaseName() : QString());
    acPrint->setEnabled(shownReceipt_.has_value());
    acSavePdf->setEnabled(shownReceipt_.has_value());
}

void TMainForm::acSavePdfExecute() {
    if (!shownReceipt_)
        return;
    const QString id = QFileInfo(shownReceipt_->archivePath).completeBaseName();
    const QString name = crypto::receiptPdfName(id);
    const QString path = documentsFolder() + QLatin1Char('/') + name;
    if (const Status written = crypto::writeReceiptPdf(*shownReceipt_, id, path); !written) {
        showOutcome(written.text(), StatusKind::Error);
        return;
    }
    // A receipt of a sent report keeps its PDF beside it too, so the archive's export has it.
    const QString beside = QFileInfo(shownReceipt_->archivePath).absolutePath();
    if (isPlainReportId(id) &&
        QFileInfo(beside) == QFileInfo(reportFolder(ctx_.archiveBaseFolder, id)))
        (void)crypto::writeReceiptPdf(*shownReceipt_, id, beside + QLatin1Char('/') + name);
    showOutcome(QStringLiteral("Квитанция сохранена: ") + path, StatusKind::Success);
}

void TMainForm::acExportExecute() {
    const QString zip = QFileDialog::getSaveFileName(
        this, QStringLiteral("Экспорт архива"),
        documentsFolder() + QStringLiteral("/Отчеты_") +
            QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".zip"),
        QStringLiteral("ZIP (*.zip)"));
    if (!zip.isEmpty())
        exportReportsTo(zip);
}

void TMainForm::exportReportsTo(const QString& zipPath) {
    QStringList ids;
    for (const QModelIndex& chosen : gRep_->selectionModel()->selectedRows()) {
        const std::optional<size_t> index = reportAt(chosen.row());
        if (index && !reports_[*index].id().isEmpty() && !gRep_->isRowHidden(chosen.row()))
            ids.append(reports_[*index].id());
    }
    if (ids.isEmpty()) {
        ShowStatus(QStringLiteral("Выделите отчеты для экспорта."));
        return;
    }
    const Status written = exportReports(ctx_.archiveBaseFolder, ids, zipPath);
    showOutcome(written ? Result<QString>(QStringLiteral("Архив отчетов сохранен: %1 (отчетов: %2)")
                                              .arg(zipPath)
                                              .arg(ids.size()))
                        : Result<QString>(written.error()));
}

} // namespace telva
