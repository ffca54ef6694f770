#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace telva {
class Frontend;
struct AppContext;
} // namespace telva

namespace telva::crypto {

// The path with the extension of its file name replaced by ext (".zip"); a file name
// without an extension gets ext appended.
QString withExtension(const QString& path, const QString& ext);
// The receipt archive written beside a receipt: 123.p7e gives 123.zip.
QString receiptArchivePath(const QString& receiptPath);
// The entry holding the receipt page: the receipt's identifier with ".htm" (123.htm), the
// identifier being the file's name or the whole one a shortened name stands for.
QString receiptPageEntryName(const QString& receiptPath);
// The entry holding the accepted report: the same for the archive, with ".p7m" (123.p7m).
QString acceptedReportEntryName(const QString& archivePath);

// The receipt page as text: in the encoding its byte-order mark or charset declaration
// names, else in code page 1251.
QString decodeReceiptPage(const QByteArray& bytes);

// The fixed start of the accepted-report view, naming the fund's display stylesheet.
QByteArray acceptedReportPrologue(const QString& styleHost);
// The accepted-report view: the prologue followed by the report element cut out of the
// ".p7m" bytes, from the first "<R7REPORT>" through the first "</R7REPORT>" after it,
// bytes unchanged. Fails when either marker is missing.
[[nodiscard]] Result<QByteArray> acceptedReportView(QByteArrayView p7m, const QString& styleHost);

// Writes the accepted-report view (the archive's name with ".xml") from the ".p7m" entry of
// a receipt archive. Failures are shown (status line, or the error box for a damaged
// archive) and returned; nothing is written then, and an earlier ".xml" is left alone.
[[nodiscard]] Status BuildAcceptedReportView(AppContext& ctx, const QString& archivePath);

} // namespace telva::crypto
