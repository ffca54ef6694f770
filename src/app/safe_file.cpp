#include "app/safe_file.h"

#include "app/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

namespace {

// Keeps only regular files; anything else is closed and reported as EINVAL.
int keepRegular(int fd) {
    if (fd < 0)
        return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

constexpr char kTempPrefix[] = ".telva-";

// The writer's process of a temporary file name ".telva-<pid>-<base-36 random>", or 0 when
// the name is not one of ours.
pid_t tempWriter(const char* name) {
    const size_t prefix = sizeof kTempPrefix - 1;
    if (strncmp(name, kTempPrefix, prefix) != 0)
        return 0;
    const char* at = name + prefix;
    long pid = 0;
    const char* digits = at;
    while (*at >= '0' && *at <= '9' && pid < (1L << 30))
        pid = pid * 10 + (*at++ - '0');
    if (at == digits || *at++ != '-' || *at == 0)
        return 0;
    for (; *at; ++at)
        if (!((*at >= '0' && *at <= '9') || (*at >= 'a' && *at <= 'z')))
            return 0;
    return pid_t(pid);
}

// A temporary file is stale when its writer's process is gone and nobody holds its lock.
bool isStaleTemporary(int dirFd, const char* name, pid_t writer) {
    if (writer == getpid() || kill(writer, 0) == 0 || errno != ESRCH)
        return false;
    const int fd = openRegularFileAt(dirFd, name);
    if (fd < 0)
        return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

} // namespace

int openRegularFile(const QString& path) {
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return keepRegular(::open(QFile::encodeName(path).constData(), kReadFlags));
}

int openRegularFileAt(int dirFd, const char* name) {
    return keepRegular(::openat(dirFd, name, kReadFlags));
}

int openRegularForAppend(const QString& path) {
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return keepRegular(::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                              0600));
}

bool isSpecialFile(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           !S_ISREG(info.st_mode);
}

QStringList specialStateFiles(const QStringList& paths) {
    QStringList texts;
    for (const QString& path : paths) {
        if (isSpecialFile(path))
            texts.append(notRegularFileText(path));
    }
    return texts;
}

QByteArray readUpTo(int fd, qint64 limit, bool* failed) {
    QByteArray bytes;
    if (failed)
        *failed = false;
    struct stat info {};
    // The size is a hint only: the file may grow or shrink while it is read.
    qint64 want = fstat(fd, &info) == 0 ? qMin<qint64>(info.st_size + 1, limit) : 4096;
    while (bytes.size() < limit) {
        want = qBound<qint64>(1, want, limit - bytes.size());
        const qsizetype had = bytes.size();
        bytes.resize(had + qsizetype(want));
        const ssize_t n = ::read(fd, bytes.data() + had, size_t(want));
        if (n < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        bytes.resize(had + qMax<ssize_t>(n, 0));
        if (n < 0 && failed)
            *failed = true;
        // A short read of a regular file is its end.
        if (n < want)
            break;
        want = 1 << 16;
    }
    return bytes;
}

Result<QByteArray> readRegularFile(const QString& path, qint64 limit) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return Result<QByteArray>::fail(openErrorText(path));
    const QString tooBig =
        QStringLiteral("Файл \"%1\" слишком велик (больше %2 МБ).").arg(path).arg(limit >> 20);
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > limit) {
        close(fd);
        return Result<QByteArray>::fail(tooBig);
    }
    bool failed = false;
    QByteArray bytes = readUpTo(fd, limit + 1, &failed);
    close(fd);
    if (bytes.size() > limit)
        return Result<QByteArray>::fail(tooBig);
    if (failed)
        return Result<QByteArray>::fail(readErrorText(path));
    return bytes;
}

ReplacingFile::ReplacingFile(const QString& path, int mode)
    : target_(QFile::encodeName(path)), mode_(mode) {}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0)
        close(fd_);
    if (!temp_.isEmpty())
        unlink(temp_.constData());
}

Status ReplacingFile::fail() {
    errorNumber_ = errno;
    error_ = QString::fromLocal8Bit(strerror(errno));
    return Status::fail(error_, quint32(errorNumber_));
}

bool ReplacingFile::noSpace() const {
    return errorNumber_ == ENOSPC || errorNumber_ == EDQUOT;
}

ReplacingFileDevice::ReplacingFileDevice(ReplacingFile& file) : file_(file) {
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 ReplacingFileDevice::writeData(const char* data, qint64 size) {
    return file_.write(data, size) ? size : -1;
}

Status ReplacingFile::open() {
    struct stat info {};
    // A folder in the way is known before anything is written.
    if (target_.isEmpty() || target_.endsWith('/') ||
        (lstat(target_.constData(), &info) == 0 && S_ISDIR(info.st_mode))) {
        errno = EISDIR;
        return fail();
    }
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target_.left(qMax<qsizetype>(slash, 1));
    removeStaleTemporaries(QFile::decodeName(folder));
    // Created afresh (O_EXCL): a name planted beforehand, link or not, is never opened.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = folder + '/' + kTempPrefix + QByteArray::number(getpid()) + '-' +
                                QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_);
        if (fd_ >= 0) {
            temp_ = name;
            // Held until the file is closed: a sweep never takes a file being written.
            flock(fd_, LOCK_EX | LOCK_NB);
            return {};
        }
        if (errno != EEXIST)
            break;
    }
    return fail();
}

Status ReplacingFile::write(const char* data, qint64 size) {
    if (fd_ < 0)
        return notOpen();
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return fail();
        }
        data += n;
        size -= n;
    }
    return {};
}

Status ReplacingFile::commit() {
    if (fd_ < 0)
        return notOpen();
    // A full disk may show only when the data reaches it: at fsync or close.
    Status done = fsync(fd_) == 0 ? Status() : fail();
    if (close(fd_) != 0 && done)
        done = fail();
    fd_ = -1;
    if (done && rename(temp_.constData(), target_.constData()) != 0)
        done = fail();
    if (done)
        temp_.clear();
    return done;
}

Status ReplacingFile::notOpen() const {
    // The failure that left the file without a descriptor, or EBADF when it was never opened.
    return Status::fail(failed() ? error_ : QString::fromLocal8Bit(strerror(EBADF)),
                        quint32(failed() ? errorNumber_ : EBADF));
}

Status writeFileReplacing(const QString& path, const QByteArray& bytes, int mode) {
    ReplacingFile file(path, mode);
    if (Status opened = file.open(); !opened)
        return opened;
    if (Status written = file.write(bytes.constData(), bytes.size()); !written)
        return written;
    return file.commit();
}

int removeStaleTemporaries(const QString& folder) {
    const int dirFd = ::open(QFile::encodeName(folder).constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const pid_t writer = tempWriter(entry->d_name);
        if (writer > 0 && isStaleTemporary(dirFd, entry->d_name, writer) &&
            unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
    }
    closedir(dir);
    return removed;
}

Status makePrivateFolder(const QString& path) {
    const auto failed = [](int code) {
        return Status::fail(QString::fromLocal8Bit(strerror(code)), quint32(code));
    };
    const QByteArray full = QFile::encodeName(QDir::cleanPath(path));
    if (full.isEmpty())
        return failed(ENOENT);
    for (qsizetype at = 1; at <= full.size(); ++at) {
        if (at < full.size() && full.at(at) != '/')
            continue;
        const QByteArray part = full.left(at);
        if (mkdir(part.constData(), 0700) == 0)
            chmod(part.constData(), 0700); // a umask may have taken the owner's bits
        else if (errno != EEXIST)
            return failed(errno);
    }
    if (!isRealFolder(path))
        return failed(ENOTDIR);
    // Folders an older version created under a lax umask become private too.
    chmod(full.constData(), 0700);
    return {};
}

bool isRealFolder(const QString& path) {
    struct stat info {};
    return lstat(QFile::encodeName(QDir::cleanPath(path)).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode);
}

namespace {

// The path with every link and "." or ".." resolved; for a missing file, its folder's.
QString resolvedPath(const QString& path) {
    const QFileInfo info(path);
    const QString whole = info.canonicalFilePath();
    if (!whole.isEmpty())
        return whole;
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

} // namespace

bool isSameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    struct stat first {};
    struct stat second {};
    if (::stat(QFile::encodeName(a).constData(), &first) == 0 &&
        ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
        first.st_ino == second.st_ino)
        return true;
    return resolvedPath(a) == resolvedPath(b);
}

} // namespace telva
