#include "operations/receipt_page.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "archive/report_archive.h"
#include "archive/zip_reader.h"
#include "operations/zip_entry.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace telva::crypto {

QString withExtension(const QString& path, const QString& ext) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return (dot >= nameStart ? path.left(dot) : path) + ext;
}

QString receiptArchivePath(const QString& receiptPath) {
    return withExtension(receiptPath, QStringLiteral(".zip"));
}

// The entries are named by the whole identifier even where the archive shortens it.
QString receiptPageEntryName(const QString& receiptPath) {
    return reportIdOfFile(receiptPath) + QStringLiteral(".htm");
}

QString acceptedReportEntryName(const QString& archivePath) {
    return reportIdOfFile(archivePath) + QStringLiteral(".p7m");
}

QString decodeReceiptPage(const QByteArray& bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        return decoder(bytes);
    }
    static const QRegularExpression charset(
        QStringLiteral("charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9._:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset.match(QString::fromLatin1(bytes.left(2048)));
    if (match.hasMatch()) {
        QStringDecoder declared(match.captured(1).toLatin1().constData());
        if (declared.isValid())
            return declared(bytes);
    }
    QStringDecoder cp1251("windows-1251");
    return cp1251(bytes);
}

QByteArray acceptedReportPrologue(const QString& styleHost) {
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                             "<?xml-stylesheet type='text/xsl' href='") +
           fundAddress(styleHost, QStringLiteral("/template/2010/6/r7form.xsl")).toLatin1() +
           QByteArrayLiteral("'?><?R7FORM version=\"0.1\"?>");
}

// The fund keeps the accepted report of the main kind only.
Result<QByteArray> acceptedReportView(QByteArrayView p7m, const QString& styleHost) {
    const QByteArray root = mainReportKind().rootMarker;
    const QByteArray opening = '<' + root + '>';
    const QByteArray closing = "</" + root + '>';
    const qsizetype open = p7m.indexOf(opening);
    const qsizetype close = open < 0 ? -1 : p7m.indexOf(closing, open + opening.size());
    if (close < 0)
        return Error{QStringLiteral("no report element")};
    return acceptedReportPrologue(styleHost) +
           p7m.sliced(open, close - open + closing.size()).toByteArray();
}

Status BuildAcceptedReportView(AppContext& ctx, const QString& archivePath) {
    const QString entryName = acceptedReportEntryName(archivePath);
    const Result<QByteArray> entry =
        ReadZipEntry(ExtractEntry(archivePath, entryName), ctx.frontend);
    if (!entry) {
        ctx.frontend.showError(entry.text());
        return entry.status();
    }
    if (entry->isEmpty()) {
        const QString text = QStringLiteral("Принятый отчет %1 не найден в архиве \"%2\".")
                                 .arg(entryName, archivePath);
        ctx.showStatus(text);
        return Status::fail(text);
    }
    const Result<QByteArray> view = acceptedReportView(*entry, ctx.settings.hosts.style);
    if (!view) {
        const QString text =
            QStringLiteral("Принятый отчет %1 не содержит элемента %2, архив \"%3\".")
                .arg(entryName, QLatin1String(mainReportKind().rootMarker), archivePath);
        ctx.showStatus(text);
        return Status::fail(text);
    }

    const QString xmlPath = withExtension(archivePath, QStringLiteral(".xml"));
    // Written whole or not at all: a partial view would be taken for a finished one later.
    ReplacingFile file(xmlPath);
    if (!file.open()) {
        const QString text = openErrorText(xmlPath);
        ctx.showStatus(text);
        return Status::fail(text);
    }
    if (!file.write(view->constData(), view->size()) || !file.commit()) {
        const QString text = writeErrorText(xmlPath);
        ctx.showStatus(text);
        return Status::fail(text);
    }
    return {};
}

} // namespace telva::crypto
