#include "archive/report_archive.h"

#include "app/safe_file.h"

#include <QCryptographicHash>
#include <QFile>
#include <cstdio>
#include <ctime>
#include <limits>

namespace telva {

QString archiveFolder(const QString& archiveBaseFolder) {
    return archiveBaseFolder + QStringLiteral("/ARC/");
}

namespace {

// File names are at most 255 bytes; the rest leaves room for the longest suffix a report's
// files get (".p7e.bad" and the like).
constexpr qsizetype kMaxStemBytes = 255 - 16;
// A shortened name keeps this much of the identifier, so the list still reads sensibly.
constexpr qsizetype kKeptBytes = 200;

} // namespace

QString reportFolderName(const QString& reportId) {
    if (QFile::encodeName(reportId).size() <= kMaxStemBytes)
        return reportId;
    qsizetype bytes = 0;
    qsizetype kept = 0;
    while (kept < reportId.size()) {
        const qsizetype width = reportId.at(kept).isHighSurrogate() ? 2 : 1;
        const qsizetype more = QFile::encodeName(reportId.mid(kept, width)).size();
        if (bytes + more > kKeptBytes)
            break;
        bytes += more;
        kept += width;
    }
    const QByteArray hash =
        QCryptographicHash::hash(reportId.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return reportId.left(kept) + QLatin1Char('~') + QString::fromLatin1(hash);
}

QString reportIdFileName(const QString& folderName) {
    return folderName + QStringLiteral(".id");
}

bool isIdentifierOf(const QString& reportId, const QString& folderName) {
    return isPlainReportId(reportId) && reportId != folderName &&
           reportFolderName(reportId) == folderName;
}

QString reportIdOfFile(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot);
    const auto bytes =
        readRegularFile(path.left(path.size() - name.size()) + reportIdFileName(stem), 1024);
    if (!bytes.ok())
        return stem;
    const QString id = QString::fromUtf8(bytes.value());
    return isIdentifierOf(id, stem) ? id : stem;
}

QString reportFolder(const QString& archiveBaseFolder, const QString& reportId) {
    return archiveFolder(archiveBaseFolder) + reportFolderName(reportId);
}

bool isPlainReportId(const QString& reportId) {
    if (reportId.isEmpty() || reportId.size() > 128 || reportId == QLatin1String("."))
        return false;
    if (reportId.contains(QLatin1Char('/')) || reportId.contains(QLatin1Char('\\')) ||
        reportId.contains(QLatin1String("..")))
        return false;
    for (const QChar c : reportId)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            return false;
    return true;
}

QString formatSendDate(const QDateTime& time) {
    tzset();
    return formatSendDate(time.toSecsSinceEpoch());
}

QString formatSendDate(qint64 secondsSinceEpoch) {
    const time_t seconds = time_t(secondsSinceEpoch);
    struct tm local {};
    if (!localtime_r(&seconds, &local))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.2d-%.2d-%.4d %.2d:%.2d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min);
    return QString::fromLatin1(text);
}

qint64 sendDateSortKey(const QString& text) {
    const QDateTime date = QDateTime::fromString(text, QStringLiteral("dd-MM-yyyy HH:mm"));
    return date.isValid() ? date.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

} // namespace telva
