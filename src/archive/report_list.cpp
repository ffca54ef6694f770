#include "archive/report_list.h"

#include "app/context.h"
#include "app/report_kind.h"
#include "archive/cp1251.h"
#include "archive/report_archive.h"

#include <QFile>
#include <algorithm>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

namespace {

// Closes a descriptor or a directory stream when the scope ends.
struct DirCloser {
    DIR* dir;
    ~DirCloser() {
        if (dir) closedir(dir);
    }
};

bool isFolderEntry(int dirFd, const dirent* entry) {
    if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_DIR;
    struct stat info {};
    return fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// Names of the entries other than "." and ".." that are (or are not) folders, in name order.
// Symbolic links are never report folders: the archive is only what lies in it.
std::vector<std::string> listEntries(DIR* dir, bool folders) {
    std::vector<std::string> names;
    const int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        if (isFolderEntry(fd, entry) != folders) continue;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray readAll(int dirFd, const char* name) {
    QByteArray content;
    const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return content;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        content.append(chunk, n);
    }
    close(fd);
    return content;
}

void fillFromFolder(ReportRow& row, int archiveFd, const std::string& folderName,
                    const std::string& srcExt, const std::string& kvitExt) {
    const int fd = openat(archiveFd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    DirCloser closer{dir};
    row.cells[ColState] = stateProcessing();
    for (const std::string& name : listEntries(dir, false)) {
        const std::size_t dot = name.rfind('.');
        const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        if (ext == ".er7" || ext == ".e7a" || ext == ".esl") {
            row.cells[ColListCode] = listCodeForExtension(QString::fromLatin1(ext));
        } else if (ext == srcExt) {
            row.cells[ColSourceFile] = QFile::decodeName(name.c_str());
        } else if (ext == ".inf") {
            row.cells[ColOrganisation] = fromCp1251(readAll(dirfd(dir), name.c_str()));
            const std::optional<QDateTime> created = fileCreationTimeAt(dirfd(dir), name.c_str());
            row.cells[ColSendDate] = created ? formatSendDate(*created) : QString();
        } else if (ext == kvitExt) {
            row.cells[ColState] = stateAccepted();
        } else if (ext == ".err") {
            row.cells[ColState] = stateHasErrors();
        }
    }
}

} // namespace

const std::array<QString, ReportColumnCount>& reportListHeaders() {
    static const std::array<QString, ReportColumnCount> headers{
        QStringLiteral("Идентификатор файла"), QStringLiteral("Исходный файл"),
        QStringLiteral("Организация"),         QStringLiteral("Дата отправки"),
        QStringLiteral("Состояние"),           QString()};
    return headers;
}

QString stateProcessing() {
    return QStringLiteral("Обрабатывается.");
}

QString stateAccepted() {
    return QStringLiteral("Успешно обработан.");
}

QString stateHasErrors() {
    return QStringLiteral("Обнаружены ошибки.");
}

ReportList FillReportList(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt) {
    ReportList list(1);
    if (archiveBaseFolder.isEmpty()) return list;
    DIR* archive = opendir(QFile::encodeName(archiveFolder(archiveBaseFolder)).constData());
    if (!archive) return list;
    DirCloser closer{archive};
    // Extensions are compared as the file system spells names: bytes, case-sensitive.
    const std::string src = QFile::encodeName(QLatin1Char('.') + srcExt).toStdString();
    const std::string kvit = QFile::encodeName(QLatin1Char('.') + kvitExt).toStdString();
    bool first = true;
    for (const std::string& name : listEntries(archive, true)) {
        if (name[0] == '.') continue; // hidden
        if (!first) list.emplace_back();
        first = false;
        ReportRow& row = list.back();
        row.cells[ColReportId] = QFile::decodeName(name.c_str());
        fillFromFolder(row, dirfd(archive), name, src, kvit);
    }
    return list;
}

ReportList FillReportList(const AppContext& ctx) {
    return FillReportList(ctx.archiveBaseFolder, ctx.settings.srcExt, ctx.settings.kvitExt);
}

const ReportRow* findReportRow(const ReportList& list, const QString& reportId) {
    for (const ReportRow& row : list)
        if (!reportId.isEmpty() && row.id() == reportId) return &row;
    return nullptr;
}

} // namespace telva
