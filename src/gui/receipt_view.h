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

    // Replaces the page with the given HTML; an empty text empties the view. identifier
    // names the receipt in print: the document's title and the PDF file's name.
    void ShowInReceiptView(const QString& html, const QString& identifier = QString());

    // Where "Печать" to a PDF writes unless the person says otherwise: a name of its own,
    // so that it never replaces the signed PDF of "Сохранить PDF".
    QString defaultPdfPath() const;
    // Prints the page shown to the printer as it is set up, as the view lays it out.
    void printTo(QPrinter* printer) const;
    // The print preview, whose print button leads to the print dialog (or, without a
    // printer, to saving a PDF). A cancelled dialog or a failed print changes nothing.
    void printWithDialog();

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    QString identifier_;
};

} // namespace telva
