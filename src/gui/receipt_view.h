#pragma once

#include <QTextBrowser>

namespace telva {

// The receipt page: shows a receipt's HTML and loads nothing from outside the page.
class ReceiptView : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReceiptView(QWidget* parent = nullptr);

    // Replaces the page with the given HTML; an empty text empties the view.
    void ShowInReceiptView(const QString& html);
};

} // namespace telva
