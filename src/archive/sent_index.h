#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace telva {

// When and under which identifier a file was sent.
struct SentMark {
    QString date; // as the list shows it
    QString id;
};

// The SHA-256 (hex) of every encrypted and source file sent in one work mode, so that a
// second send of the same file is caught without reading the archive. Kept as
// "sent-index.tsv" in the mode's archive base folder: one "hash<TAB>date<TAB>id" line each.
class SentIndex {
public:
    // The index of the archive; rebuilt from the report folders when the file is missing
    // or damaged (and then written back).
    static SentIndex load(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt);

    std::optional<SentMark> find(const QByteArray& hash) const;
    void add(const QByteArray& hash, const SentMark& mark);
    // Writes the whole index in place of the old one.
    Status save() const;

private:
    QString path_;
    QHash<QByteArray, SentMark> marks_;
};

// The SHA-256 of a regular file's bytes in hex; empty when it cannot be read.
QByteArray fileSha256(const QString& path);

} // namespace telva
