#include "gui/receipt_view.h"

#include "operations/receipt_pdf.h"

#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace telva {

ReceiptView::ReceiptView(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("wbKvit"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setSearchPaths({});
}

void ReceiptView::ShowInReceiptView(const QString& html, const QString& identifier) {
    // A fresh document each time: nothing of an earlier page (resources, base address)
    // survives into the next one.
    clear();
    document()->clear();
    setHtml(html);
    identifier_ = identifier;
}

QVariant ReceiptView::loadResource(int type, const QUrl& name) {
    // Pictures written into the page itself are decoded by the document.
    if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
        return QVariant();
    // A non-null empty value, so that the document does not try the file itself.
    if (type == QTextDocument::StyleSheetResource || type == QTextDocument::HtmlResource ||
        type == QTextDocument::MarkdownResource)
        return QVariant(QString());
    return QVariant(QByteArray());
}

void ReceiptView::doSetSource(const QUrl&, QTextDocument::ResourceType) {}

QString ReceiptView::defaultPdfPath() const {
    const QString saved = identifier_.isEmpty() ? QStringLiteral("Квитанция.pdf")
                                                : crypto::receiptPdfName(identifier_);
    const QString name = QFileInfo(saved).completeBaseName() + QStringLiteral("-печать.pdf");
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') +
           name;
}

void ReceiptView::printTo(QPrinter* printer) const {
    if (!identifier_.isEmpty())
        printer->setDocName(identifier_);
    crypto::printAsShown(*document(), printer);
}

void ReceiptView::printWithDialog() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(identifier_);
    // Without a printer the preview's button saves a PDF; it starts from this name.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFileName(defaultPdfPath());
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(QStringLiteral("Печать"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { printTo(target); });
    preview.exec();
}

} // namespace telva
