#pragma once

#include <QString>

namespace telva {

// A file as it was at one moment: which file it is (a link followed) and its size and
// modification time, so that a later step can tell it was replaced, changed or removed.
struct FileStamp {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1; // -1: not there, or not a regular file
    qint64 modifiedNs = 0;

    static FileStamp of(const QString& path);
    bool exists() const { return size >= 0; }
    bool operator==(const FileStamp&) const = default;
};

} // namespace telva
