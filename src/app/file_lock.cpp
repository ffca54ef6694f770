#include "app/file_lock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

FileLock FileLock::acquire(const QString& path, const std::function<bool()>& keepWaiting) {
    FileLock lock;
    if (path.isEmpty())
        return lock;
    // Without blocking and without following a link: a FIFO or a link planted there is no lock.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return lock;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return lock;
    }
    for (;;) {
        const int mode = keepWaiting ? LOCK_EX | LOCK_NB : LOCK_EX;
        if (flock(fd, mode) == 0) {
            lock.fd_ = fd;
            return lock;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || !keepWaiting || !keepWaiting())
            break;
    }
    close(fd);
    return lock;
}

void FileLock::release() {
    if (fd_ < 0)
        return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

} // namespace telva
