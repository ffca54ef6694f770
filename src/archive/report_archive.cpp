#include "archive/report_archive.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace telva {

QString archiveFolder(const QString& archiveBaseFolder) {
    return archiveBaseFolder + QStringLiteral("/ARC/");
}

QString reportFolder(const QString& archiveBaseFolder, const QString& reportId) {
    return archiveFolder(archiveBaseFolder) + reportId;
}

bool isPlainReportId(const QString& reportId) {
    if (reportId.isEmpty() || reportId.size() > 128 || reportId == QLatin1String(".")) return false;
    if (reportId.contains(QLatin1Char('/')) || reportId.contains(QLatin1Char('\\')) ||
        reportId.contains(QLatin1String("..")))
        return false;
    for (const QChar c : reportId)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            return false;
    return true;
}

std::optional<QDateTime> fileCreationTime(const QString& path) {
    return fileCreationTimeAt(AT_FDCWD, QFile::encodeName(path).constData());
}

std::optional<QDateTime> fileCreationTimeAt(int dirFd, const char* name) {
    struct statx info {};
    if (statx(dirFd, name, 0, STATX_BTIME | STATX_MTIME, &info) != 0) return std::nullopt;
    const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    return QDateTime::fromMSecsSinceEpoch(qint64(stamp.tv_sec) * 1000 + stamp.tv_nsec / 1000000);
}

QString formatSendDate(const QDateTime& time) {
    const QDateTime local = time.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return QString::asprintf("%.2d-%.2d-%.4d %.2d:%.2d", d.day(), d.month(), d.year(), t.hour(),
                             t.minute());
}

Status writeWholeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Status::fail(file.errorString());
    if (file.write(bytes) != bytes.size()) return Status::fail(file.errorString());
    if (!file.flush()) return Status::fail(file.errorString());
    return {};
}

} // namespace telva
