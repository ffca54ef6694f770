#include "archive/report_actions.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/program.h"
#include "archive/report_archive.h"
#include "crypto/receipt_page.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

namespace {

QString notFoundText() {
    return QStringLiteral("Файл не найден.");
}

// Unlinks every entry of the folder that is not a folder; single failures are ignored.
// The folder is opened without following a link, so a link never leads the delete elsewhere.
void deleteFilesIn(const QString& folder) {
    const int fd = open(QFile::encodeName(folder).constData(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            continue;
        unlinkat(fd, entry->d_name, 0);
    }
    closedir(dir);
}

bool openOrComplain(AppContext& ctx, const QString& path) {
    if (QFileInfo::exists(path) && ctx.frontend.openFile(path))
        return true;
    ctx.frontend.messageBox(notFoundText(), programTitle(), Frontend::Icon::None);
    return false;
}

} // namespace

bool DeleteReport(AppContext& ctx, const ReportRow& row) {
    if (row.id().isEmpty() || ctx.archiveBaseFolder.isEmpty())
        return false;
    if (isPlainReportId(row.id())) {
        const QString folder = reportFolder(ctx.archiveBaseFolder, row.id());
        deleteFilesIn(folder);
        if (rmdir(QFile::encodeName(folder).constData()) == 0)
            return true;
    }
    ctx.showStatus(QStringLiteral("Не удалось удалить отчет."));
    return false;
}

bool ShowSourceFile(AppContext& ctx, const ReportRow& row) {
    const QString path =
        reportFolder(ctx.archiveBaseFolder, row.id()) + QLatin1Char('/') + row.cells[ColSourceFile];
    return openOrComplain(ctx, path);
}

QString reportFileStem(const AppContext& ctx, const QString& reportId) {
    return reportFolder(ctx.archiveBaseFolder, reportId) + QLatin1Char('/') +
           reportFolderName(reportId);
}

bool CanShowAcceptedReport(const AppContext& ctx, const ReportRow& row) {
    if (!isPlainReportId(row.id()))
        return false;
    const QString stem = reportFileStem(ctx, row.id());
    return QFileInfo::exists(stem + QStringLiteral(".zip")) ||
           QFileInfo::exists(stem + QStringLiteral(".xml"));
}

bool ShowAcceptedReport(AppContext& ctx, const ReportRow& row) {
    if (!isPlainReportId(row.id()))
        return false;
    const QString stem = reportFileStem(ctx, row.id());
    const QString view = stem + QStringLiteral(".xml");
    if (!QFileInfo::exists(view) &&
        !crypto::BuildAcceptedReportView(ctx, stem + QStringLiteral(".zip")).ok())
        return false;
    return openOrComplain(ctx, view);
}

} // namespace telva
