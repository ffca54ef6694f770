#include "gui/receipt_view.h"

#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QStandardPaths>
#include <memory>

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
    const QString name = identifier_.isEmpty() ? QStringLiteral("Квитанция")
                                               : QStringLiteral("Квитанция_") + identifier_;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') +
           name + QStringLiteral(".pdf");
}

void ReceiptView::printTo(QPrinter* printer) const {
    if (!identifier_.isEmpty())
        printer->setDocName(identifier_);
    // Laid out on the printer itself, sizes given in pixels (the page's title) would be
    // printer dots, a smudge at high resolution. Laid out in screen pixels on pages of the
    // paper's size, the document is scaled to the paper as the view shows it.
    std::unique_ptr<QTextDocument> copy(document()->clone());
    const qreal dpi = QGuiApplication::primaryScreen()
                          ? QGuiApplication::primaryScreen()->logicalDotsPerInch()
                          : 96.0;
    const QSizeF points = printer->pageLayout().paintRect(QPageLayout::Point).size();
    copy->setPageSize(points * dpi / 72.0);
    copy->print(printer);
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
