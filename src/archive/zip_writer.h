#pragma once

#include "app/result.h"
#include "app/safe_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace telva {

// Writes a ZIP archive any unzip reads: deflated entries with UTF-8 names, each file read
// in pieces, so a large encrypted report is never held whole. The archive appears at its
// path only on commit(); a failure leaves an earlier file of that name as it was.
// Without ZIP64: the archive stays under 4 GB and 65535 entries, or the writer says so.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path);

    [[nodiscard]] Status open();
    // The file's bytes as the entry of that name ("folder/file"), dated by the file.
    [[nodiscard]] Status addFile(const QString& entryName, const QString& sourcePath);
    [[nodiscard]] Status commit();

private:
    struct Entry {
        QByteArray name;
        quint32 crc = 0;
        quint32 packed = 0;
        quint32 size = 0;
        quint16 time = 0;
        quint16 date = 0;
        quint32 offset = 0;
    };

    [[nodiscard]] bool put(const QByteArray& bytes);
    Status failed() const;

    QString path_;
    ReplacingFile file_;
    quint64 written_ = 0;
    QList<Entry> entries_;
};

} // namespace telva
