#include "archive/sent_index.h"

#include "app/file_lock.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "archive/sent_log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace telva {

namespace {

constexpr qint64 kIndexLimit = qint64(64) << 20;

bool isHash(const QByteArray& text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

struct Contents {
    QHash<QByteArray, SentMark> marks;
    std::vector<SentIndex::Pending> pending;
};

// The index's lines, or nothing when a line is not one of the index's.
std::optional<Contents> parse(const QByteArray& bytes) {
    Contents contents;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 4 && fields[0].startsWith('~') && !fields[2].isEmpty()) {
            bool ok = false;
            const qint64 size = fields[0].mid(1).toLongLong(&ok);
            if (!ok)
                return std::nullopt;
            contents.pending.push_back(
                {size,
                 QString::fromUtf8(fields[3]),
                 {QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2])}});
            continue;
        }
        if (fields.size() != 3 || !isHash(fields[0]) || fields[2].isEmpty())
            return std::nullopt;
        contents.marks.insert(fields[0],
                              {QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2])});
    }
    return contents;
}

QByteArray serialise(const Contents& contents) {
    QByteArray bytes;
    for (auto it = contents.marks.constBegin(); it != contents.marks.constEnd(); ++it)
        bytes += it.key() + '\t' + it->date.toUtf8() + '\t' + it->id.toUtf8() + '\n';
    for (const SentIndex::Pending& p : contents.pending)
        bytes += '~' + QByteArray::number(p.size) + '\t' + p.mark.date.toUtf8() + '\t' +
                 p.mark.id.toUtf8() + '\t' + p.file.toUtf8() + '\n';
    return bytes;
}

QString indexPath(const QString& base) {
    return base + QStringLiteral("/sent-index.tsv");
}

std::optional<Contents> readIndex(const QString& base) {
    const Result<QByteArray> bytes = readRegularFile(indexPath(base), kIndexLimit);
    return bytes ? parse(*bytes) : std::nullopt;
}

// What the archive and the sent log know: the log's hashes of this mode, and every file of the
// report folders that is not the report's own (identifier, receipt, notes) noted by its size.
// A report listed in the archive gives its marks the date the list shows.
Contents rebuild(const QString& base, const QString& srcExt, const QString& kvitExt) {
    Contents contents;
    QHash<QString, QString> listedDates;
    for (const ReportRow& row : FillReportList(base, srcExt, kvitExt)) {
        if (!isPlainReportId(row.id()))
            continue;
        listedDates.insert(row.id(), row.cells[ColSendDate]);
        const QString name = reportFolderName(row.id());
        const QDir folder(reportFolder(base, row.id()));
        for (const QFileInfo& file : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
            if (file.fileName().startsWith(name + QLatin1Char('.')) || file.isSymLink())
                continue;
            contents.pending.push_back({file.size(),
                                        name + QLatin1Char('/') + file.fileName(),
                                        {row.cells[ColSendDate], row.id()}});
        }
    }
    const QString mode = QFileInfo(base).fileName();
    for (const SentLogLine& line : readSentLog()) {
        if (line.mode != mode || !isPlainReportId(line.reportId) ||
            line.reportId == QLatin1String("???"))
            continue;
        const SentMark mark{listedDates.value(line.reportId, line.sendDate), line.reportId};
        for (const QByteArray& hash : {line.outputHash, line.inputHash})
            if (isHash(hash))
                contents.marks.insert(hash, mark);
    }
    return contents;
}

// Runs the change on the index on disk under its lock and writes the result back.
Status update(const QString& base, const QString& srcExt, const QString& kvitExt,
              const std::function<void(Contents&)>& change, Contents* result = nullptr) {
    if (base.isEmpty() || !makePrivateFolder(base))
        return Status::fail(QStringLiteral("Нет архива."));
    const FileLock lock = FileLock::acquire(base + QStringLiteral("/sent-index.lock"));
    if (!lock.held())
        return Status::fail(QStringLiteral("Не удается заблокировать указатель отправленных "
                                           "файлов в \"%1\".")
                                .arg(base));
    std::optional<Contents> contents = readIndex(base);
    const bool rebuilt = !contents;
    if (rebuilt)
        contents = rebuild(base, srcExt, kvitExt);
    const Contents before = *contents;
    change(*contents);
    if (result)
        *result = *contents;
    if (!rebuilt && contents->marks == before.marks &&
        contents->pending.size() == before.pending.size())
        return {};
    return writeFileReplacing(indexPath(base), serialise(*contents));
}

} // namespace

SentIndex SentIndex::load(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt, Progress progress) {
    SentIndex index;
    index.base_ = archiveBaseFolder;
    index.progress_ = std::move(progress);
    if (archiveBaseFolder.isEmpty())
        return index;
    std::optional<Contents> contents = readIndex(archiveBaseFolder);
    if (!contents) {
        Contents rebuilt;
        // An index that cannot be written is rebuilt again next time.
        if (!update(
                archiveBaseFolder, srcExt, kvitExt, [](Contents&) {}, &rebuilt))
            rebuilt = rebuild(archiveBaseFolder, srcExt, kvitExt);
        contents = std::move(rebuilt);
    }
    index.marks_ = std::move(contents->marks);
    index.pending_ = std::move(contents->pending);
    return index;
}

std::optional<SentMark> SentIndex::find(const QByteArray& hash, qint64 size) {
    if (hash.isEmpty())
        return std::nullopt;
    if (const auto it = marks_.constFind(hash); it != marks_.constEnd())
        return *it;
    std::vector<Pending> wanted;
    std::vector<Pending> rest;
    for (Pending& p : pending_)
        (p.size == size ? wanted : rest).push_back(std::move(p));
    pending_ = std::move(rest);
    if (wanted.empty())
        return std::nullopt;
    QHash<QString, QByteArray> hashed;
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (progress_)
            progress_(QStringLiteral("Проверка архива отправленных отчетов: файл %1 из %2")
                          .arg(i + 1)
                          .arg(wanted.size()));
        const QByteArray found = fileSha256(archiveFolder(base_) + wanted[i].file);
        hashed.insert(wanted[i].file, found);
        if (!found.isEmpty())
            marks_.insert(found, wanted[i].mark);
    }
    // Kept on disk, so that the next send does not hash them again.
    (void)update(base_, QString(), QString(), [&](Contents& disk) {
        std::vector<Pending> kept;
        for (Pending& p : disk.pending) {
            const auto it = hashed.constFind(p.file);
            if (it == hashed.constEnd()) {
                kept.push_back(std::move(p));
                continue;
            }
            if (!it->isEmpty())
                disk.marks.insert(*it, p.mark);
        }
        disk.pending = std::move(kept);
    });
    return find(hash, -1);
}

Status SentIndex::record(const QString& archiveBaseFolder, const QList<QByteArray>& hashes,
                         const SentMark& mark) {
    return update(archiveBaseFolder, QString(), QString(), [&](Contents& disk) {
        for (const QByteArray& hash : hashes)
            if (!hash.isEmpty())
                disk.marks.insert(hash, mark);
    });
}

QByteArray fileSha256(const QString& path) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

} // namespace telva
