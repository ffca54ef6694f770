#include "gui/receipt_view.h"

#include <QPrintDialog>
#include <QPrinter>

namespace telva {

ReceiptView::ReceiptView(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("wbKvit"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setSearchPaths({});
}

void ReceiptView::ShowInReceiptView(const QString& html) {
    // A fresh document each time: nothing of an earlier page (resources, base address)
    // survives into the next one.
    clear();
    document()->clear();
    setHtml(html);
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

void ReceiptView::printTo(QPrinter* printer) const {
    print(printer);
}

void ReceiptView::printWithDialog() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Печать"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printTo(&printer);
}

} // namespace telva
