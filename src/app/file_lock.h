#pragma once

#include <QString>

namespace telva {

// An exclusive lock (flock) on a lock file, held for the object's life; programs of the same
// user that update one file at once take turns on it. The lock file is created when missing.
class FileLock {
public:
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace telva
