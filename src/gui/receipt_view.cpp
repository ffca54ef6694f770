#include "gui/receipt_view.h"

namespace telva {

ReceiptView::ReceiptView(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("wbKvit"));
    setOpenLinks(false);
}

void ReceiptView::ShowInReceiptView(const QString& html) { setHtml(html); }

} // namespace telva
