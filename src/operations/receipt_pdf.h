#pragma once

#include "app/result.h"
#include "operations/receipt_check.h"

#include <QString>
#include <memory>

class QPagedPaintDevice;
class QTextDocument;

namespace telva::crypto {

// A receipt page as a document that loads nothing from outside itself (no files, no
// network): only pictures written into the page are shown.
std::unique_ptr<QTextDocument> sealedReceiptDocument(const QString& html);

// Prints a page laid out as the window shows it: in screen pixels on pages of the paper's
// size, then scaled to the paper. Laid out on the device itself, sizes given in pixels (the
// page's title) would be printer dots, a smudge at high resolution.
void printAsShown(const QTextDocument& page, QPagedPaintDevice* device);

// The closing lines of a saved receipt: who signed it (subject, serial number, validity)
// and when the signature was checked.
QString receiptPdfFooter(const CheckedReceipt& receipt);

// "Квитанция_<id>.pdf": the file name a receipt's PDF gets.
QString receiptPdfName(const QString& identifier);

// Writes the receipt page with its footer as a PDF titled with the identifier. Needs a
// QGuiApplication (fonts); a failure leaves an earlier file of that name as it was.
[[nodiscard]] Status writeReceiptPdf(const CheckedReceipt& receipt, const QString& identifier,
                                     const QString& pdfPath);

} // namespace telva::crypto
