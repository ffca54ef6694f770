#include "archive/sent_index.h"

#include "app/safe_file.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <unistd.h>

namespace telva {

namespace {

constexpr qint64 kIndexLimit = qint64(16) << 20;

bool isHash(const QByteArray& text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The marks of the file, or nothing when a line is not one of the index's.
std::optional<QHash<QByteArray, SentMark>> parse(const QByteArray& bytes) {
    QHash<QByteArray, SentMark> marks;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3 || !isHash(fields[0]) || fields[2].isEmpty())
            return std::nullopt;
        marks.insert(fields[0], {QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2])});
    }
    return marks;
}

// Every sent file of the archive: in each report folder, the files that are not the
// report's own (identifier, receipt, notes), that is the copies of the source and the
// encrypted report.
QHash<QByteArray, SentMark> rebuild(const QString& base, const QString& srcExt,
                                    const QString& kvitExt) {
    QHash<QByteArray, SentMark> marks;
    for (const ReportRow& row : FillReportList(base, srcExt, kvitExt)) {
        if (!isPlainReportId(row.id()))
            continue;
        const QString name = reportFolderName(row.id());
        const QDir folder(reportFolder(base, row.id()));
        for (const QString& file : folder.entryList(QDir::Files | QDir::Hidden)) {
            if (file.startsWith(name + QLatin1Char('.')))
                continue;
            const QByteArray hash = fileSha256(folder.filePath(file));
            if (!hash.isEmpty())
                marks.insert(hash, {row.cells[ColSendDate], row.id()});
        }
    }
    return marks;
}

} // namespace

SentIndex SentIndex::load(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt) {
    SentIndex index;
    if (archiveBaseFolder.isEmpty())
        return index;
    index.path_ = archiveBaseFolder + QStringLiteral("/sent-index.tsv");
    const Result<QByteArray> bytes = readRegularFile(index.path_, kIndexLimit);
    std::optional<QHash<QByteArray, SentMark>> marks;
    if (bytes)
        marks = parse(*bytes);
    if (marks) {
        index.marks_ = std::move(*marks);
        return index;
    }
    index.marks_ = rebuild(archiveBaseFolder, srcExt, kvitExt);
    // An index that cannot be written is rebuilt again next time.
    (void)index.save();
    return index;
}

std::optional<SentMark> SentIndex::find(const QByteArray& hash) const {
    const auto it = marks_.constFind(hash);
    if (it == marks_.constEnd())
        return std::nullopt;
    return *it;
}

void SentIndex::add(const QByteArray& hash, const SentMark& mark) {
    if (!hash.isEmpty())
        marks_.insert(hash, mark);
}

Status SentIndex::save() const {
    if (path_.isEmpty())
        return Status::fail(QStringLiteral("Нет архива."));
    QByteArray bytes;
    for (auto it = marks_.constBegin(); it != marks_.constEnd(); ++it) {
        bytes += it.key() + '\t' + it->date.toUtf8() + '\t' + it->id.toUtf8() + '\n';
    }
    return writeFileReplacing(path_, bytes);
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
