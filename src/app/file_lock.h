#pragma once

#include <QString>
#include <functional>
#include <utility>

namespace telva {

// An exclusive lock (flock) on a small file beside what it guards, so that the window and
// the terminal program never update one shared file at the same time. The kernel drops the
// lock with the process: a killed run leaves nothing locked.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileLock& operator=(FileLock&& other) noexcept {
        if (this != &other) {
            release();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks the file at path (created, private, when missing). While another run holds it,
    // keepWaiting is called between tries and ends the wait by returning false; without it
    // the call blocks until the lock is free. Holds nothing when the file cannot be opened
    // or is not a regular file.
    static FileLock acquire(const QString& path, const std::function<bool()>& keepWaiting = {});

    bool held() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

} // namespace telva
