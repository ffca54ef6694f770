#include "archive/report_list.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/report_kind.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"
#include "archive/send_journal.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <ctime>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

namespace {

// Closes a descriptor when the scope ends.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            close(fd);
    }
};

bool isDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Names of the entries of an open folder other than "." and ".." that are (or are not)
// folders, in name order. Read straight with getdents64: a list of thousands of reports
// costs a few system calls per report. Symbolic links are never report folders.
std::vector<std::string> listEntries(int fd, bool folders) {
    std::vector<std::string> names;
    alignas(8) char buffer[32768];
    for (;;) {
        const ssize_t n = getdents64(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (isDot(entry->d_name))
                continue;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info {};
                isFolder = fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(info.st_mode);
            }
            if (isFolder == folders)
                names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// An organisation's name is far shorter; a longer note is cut here.
constexpr qint64 kNoteLimit = 64 * 1024;

// The sender's note: its content and its creation time. A note that cannot be opened still
// gives its date; one that is not a regular file (a link, a FIFO, a device) is never opened.
void readNote(ReportRow& row, int folderFd, const char* name) {
    const int fd = openRegularFileAt(folderFd, name);
    const FdCloser closer{fd};
    struct statx info {};
    const int statted =
        fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &info)
                : statx(folderFd, name, AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &info);
    if (statted == 0) {
        const statx_timestamp& stamp =
            (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
        row.cells[ColSendDate] = formatSendDate(qint64(stamp.tv_sec));
        row.sentAt =
            QDateTime::fromMSecsSinceEpoch(qint64(stamp.tv_sec) * 1000 + stamp.tv_nsec / 1000000);
    }
    if (fd < 0)
        return;
    row.cells[ColOrganisation] = fromCp1251(readUpTo(fd, kNoteLimit));
}

// The whole identifier of a folder with a shortened name; taken only when the identifier
// names this very folder, so the file cannot make a row point elsewhere.
void readIdFile(ReportRow& row, int folderFd, const std::string& name) {
    const int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const FdCloser closer{fd};
    if (fd < 0)
        return;
    char text[1024];
    const ssize_t n = read(fd, text, sizeof text);
    if (n <= 0 || n == ssize_t(sizeof text))
        return;
    const QString id = QString::fromUtf8(text, n);
    if (isIdentifierOf(id, row.id()))
        row.cells[ColReportId] = id;
}

void fillFromFolder(ReportRow& row, int archiveFd, const std::string& folderName,
                    const std::string& srcExt, const std::string& kvitExt) {
    const int fd =
        openat(archiveFd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    const FdCloser closer{fd};
    row.cells[ColState] = stateProcessing();
    const std::string idFile = QFile::encodeName(reportIdFileName(row.id())).toStdString();
    for (const std::string& name : listEntries(fd, false)) {
        if (name == idFile) {
            readIdFile(row, fd, name);
            continue;
        }
        const std::size_t dot = name.rfind('.');
        const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        const QString listCode = listCodeForExtension(QString::fromLatin1(ext));
        if (!listCode.isEmpty()) {
            row.cells[ColListCode] = listCode;
        } else if (ext == srcExt) {
            row.cells[ColSourceFile] = QFile::decodeName(name.c_str());
        } else if (ext == ".inf") {
            readNote(row, fd, name.c_str());
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

QString stateUnconfirmed() {
    return QStringLiteral("отправка не подтверждена");
}

ReportList FillReportList(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt) {
    ReportList list(1);
    if (archiveBaseFolder.isEmpty())
        return list;
    const int archive = open(QFile::encodeName(archiveFolder(archiveBaseFolder)).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (archive < 0)
        return list;
    const FdCloser closer{archive};
    // The time zone is read once for the whole list, not once per date.
    tzset();
    // Extensions are compared as the file system spells names: bytes, case-sensitive.
    const std::string src = QFile::encodeName(QLatin1Char('.') + srcExt).toStdString();
    const std::string kvit = QFile::encodeName(QLatin1Char('.') + kvitExt).toStdString();
    bool first = true;
    // Hidden folders are listed too: an identifier may begin with ".".
    for (const std::string& name : listEntries(archive, true)) {
        if (!first)
            list.emplace_back();
        first = false;
        ReportRow& row = list.back();
        row.cells[ColReportId] = QFile::decodeName(name.c_str());
        fillFromFolder(row, archive, name, src, kvit);
    }
    return list;
}

ReportList FillReportList(const AppContext& ctx) {
    ReportList list =
        FillReportList(ctx.archiveBaseFolder, ctx.settings.srcExt, ctx.settings.kvitExt);
    const QString journalPath = SendJournal::pathFor(ctx.settings.activeMode);
    if (journalPath.isEmpty() || !QFileInfo::exists(journalPath))
        return list;
    SendJournal journal(journalPath);
    for (const SendIntent& send : journal.unconfirmed()) {
        if (list.size() == 1 && list.front().id().isEmpty() && list.front().state().isEmpty())
            list.clear();
        ReportRow& row = list.emplace_back();
        row.cells[ColSourceFile] = QFileInfo(send.inputFile).fileName();
        row.cells[ColOrganisation] = send.organisation;
        row.cells[ColSendDate] = formatSendDate(send.time);
        row.cells[ColState] = stateUnconfirmed();
        row.cells[ColListCode] =
            listCodeForExtension(QLatin1Char('.') + QFileInfo(send.outputFile).suffix());
        const QString answer =
            send.answer.isEmpty() ? QString() : QStringLiteral("; ответ шлюза: ") + send.answer;
        row.detail = QStringLiteral("Отчет мог быть принят шлюзом, но номер не получен "
                                    "(отправка %1, файл %2%3). Проверьте на сайте КВБ, принят ли "
                                    "отчет, или отправьте его еще раз.")
                         .arg(row.cells[ColSendDate], send.outputFile, answer.left(300));
    }
    return list;
}

const ReportRow* findReportRow(const ReportList& list, const QString& reportId) {
    for (const ReportRow& row : list)
        if (!reportId.isEmpty() && row.id() == reportId)
            return &row;
    return nullptr;
}

} // namespace telva
