#include "operations/report_actions.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/frontend.h"
#include "app/paths.h"
#include "app/program.h"
#include "app/texts.h"
#include "archive/report_archive.h"
#include "operations/receipt_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
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

// A trash folder of the user only, as the desktop makes it; true when it is a folder.
bool makeTrashFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    return (mkdir(name.constData(), 0700) == 0 || errno == EEXIST) &&
           stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the home trash is there or could be made. Qt's move to the trash falls back to the
// working folder when it cannot make it, so the move is tried only after this.
bool homeTrashReady() {
    const QString home = dataHome();
    const QString trash = home + QStringLiteral("/Trash");
    return !home.isEmpty() && QDir().mkpath(home) && makeTrashFolder(trash) &&
           makeTrashFolder(trash + QStringLiteral("/files")) &&
           makeTrashFolder(trash + QStringLiteral("/info"));
}

bool openOrComplain(AppContext& ctx, const QString& path) {
    if (QFileInfo::exists(path) && ctx.frontend.openFile(path))
        return true;
    ctx.frontend.messageBox(notFoundText(), programTitle(), Frontend::Icon::None);
    return false;
}

} // namespace

Result<QString> DeleteReport(AppContext& ctx, const ReportRow& row) {
    if (row.id().isEmpty() || ctx.archiveBaseFolder.isEmpty())
        return Result<QString>::fail(QString());
    const QString folder = reportFolder(ctx.archiveBaseFolder, row.id());
    struct stat info {};
    // A link is never a report folder: neither it nor what it points to is touched.
    if (isPlainReportId(row.id()) && lstat(QFile::encodeName(folder).constData(), &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        // The only local record of a sent report goes where the desktop can bring it back.
        QString inTrash;
        if (homeTrashReady() && QFile::moveToTrash(folder, &inTrash)) {
            return QStringLiteral("Отчет %1 перемещен в корзину: %2").arg(row.id(), inTrash);
        }
        deleteFilesIn(folder);
        if (rmdir(QFile::encodeName(folder).constData()) == 0) {
            return QStringLiteral("Корзина недоступна, отчет %1 удален.").arg(row.id());
        }
    }
    return Result<QString>::fail(QStringLiteral("Не удалось удалить отчет."));
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

Status ShowAcceptedReport(AppContext& ctx, const ReportRow& row) {
    if (!isPlainReportId(row.id()))
        return Status::fail(QString());
    const QString stem = reportFileStem(ctx, row.id());
    const QString view = stem + QStringLiteral(".xml");
    if (!QFileInfo::exists(view)) {
        if (Status built = crypto::BuildAcceptedReportView(ctx, stem + QStringLiteral(".zip"));
            !built)
            return built;
    }
    if (!QFileInfo::exists(view))
        return openOrComplain(ctx, view) ? Status() : Status::fail(QString());
    if (ctx.frontend.openFile(view))
        return Status();
    // No program on this desktop opens XML: the report is shown inside, as text.
    QFile file(view);
    if (file.open(QIODevice::ReadOnly) &&
        ctx.frontend.showDocument(QStringLiteral("Принятый отчет ") + row.id(),
                                  fromCp1251(file.readAll()), false))
        return Status();
    return Status::fail(noViewerText(view));
}

} // namespace telva
