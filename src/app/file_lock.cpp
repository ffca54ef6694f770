#include "app/file_lock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

FileLock::FileLock(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd < 0)
        return;
    int locked = -1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
    if (locked != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        close(fd_);
}

} // namespace telva
