#include "archive/report_archive.h"

#include "app/safe_file.h"

#include <cstdio>
#include <ctime>

namespace telva {

QString archiveFolder(const QString& archiveBaseFolder) {
    return archiveBaseFolder + QStringLiteral("/ARC/");
}

QString reportFolder(const QString& archiveBaseFolder, const QString& reportId) {
    return archiveFolder(archiveBaseFolder) + reportId;
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

Status writeWholeFile(const QString& path, const QByteArray& bytes) {
    return writeFileReplacing(path, bytes);
}

} // namespace telva
