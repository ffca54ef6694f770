#pragma once

#include <QTextBrowser>

class QPrinter;

namespace telva {

// The receipt page: shows a receipt's HTML and loads nothing from outside the page (no
// network, no local files, no scripts); links are not followed.
class ReceiptView : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReceiptView(QWidget* parent = nullptr);

    // Replaces the page with the given HTML; an empty text empties the view.
    void ShowInReceiptView(const QString& html);

    // Prints the page shown to the printer as it is set up.
    void printTo(QPrinter* printer) const;
    // The print dialog, then printing of the page shown (also to a PDF file). A cancelled
    // dialog or a failed print changes nothing.
    void printWithDialog();

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
};

} // namespace telva
