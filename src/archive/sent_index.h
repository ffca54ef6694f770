#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace telva {

// When and under which identifier a file was sent.
struct SentMark {
    QString date; // as the list shows it
    QString id;
    bool operator==(const SentMark&) const = default;
};

// The SHA-256 (hex) of every encrypted and source file sent in one work mode, so that a
// second send of the same file is caught without reading the archive. Kept as
// "sent-index.tsv" in the mode's archive base folder: one "hash<TAB>date<TAB>id" line each,
// and "~size<TAB>date<TAB>id<TAB>folder/name" for a file of the archive not hashed yet.
// Programs sending at once update it in turns ("sent-index.lock" beside it), each merging
// what the others wrote.
class SentIndex {
public:
    using Progress = std::function<void(const QString&)>;

    // The index of the archive; rebuilt when the file is missing or damaged (and then written
    // back) from the sent log's lines of this mode and the report folders. Files of the
    // folders are only noted with their size; find() hashes those it needs.
    static SentIndex load(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt, Progress progress = {});

    // The mark of a file with this hash and size. Archive files of that size not hashed yet
    // are hashed now, with progress shown, and the index keeps their hashes.
    std::optional<SentMark> find(const QByteArray& hash, qint64 size);

    // Adds the hashes under the mark to the index on disk.
    static Status record(const QString& archiveBaseFolder, const QList<QByteArray>& hashes,
                         const SentMark& mark);

    // An archive file noted by size only.
    struct Pending {
        qint64 size = 0;
        QString file; // "<report folder name>/<file name>"
        SentMark mark;
    };

private:
    QString base_;
    QHash<QByteArray, SentMark> marks_;
    std::vector<Pending> pending_;
    Progress progress_;
};

// The SHA-256 of a regular file's bytes in hex; empty when it cannot be read.
QByteArray fileSha256(const QString& path);

} // namespace telva
