#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

namespace telva {

// Files the program keeps for the user (archive, stores, keys) may have been replaced by
// links or special files. Reads here take regular files only, never follow a link at the
// last step, never block on a FIFO and stop at a size limit; writes go to a fresh file
// beside the target that is renamed over it, so a link there is replaced, not written
// through, and a failed write leaves nothing behind.

inline constexpr qint64 kSmallFileLimit = qint64(16) << 20;
inline constexpr qint64 kLargeFileLimit = qint64(512) << 20;

// A descriptor of the regular file at the path (or at name inside the open folder dirFd),
// or -1 with errno set (ELOOP for a link, EINVAL for anything else that is not a regular
// file). The caller closes it.
int openRegularFile(const QString& path);
int openRegularFileAt(int dirFd, const char* name);

// A descriptor for appending to the regular file at the path, created (0600) when missing;
// -1 with errno set as openRegularFile does. Never blocks on a FIFO put in its place.
int openRegularForAppend(const QString& path);

// Whether something that is not a regular file (a FIFO, a folder, a link, a device) stands
// at the path.
bool isSpecialFile(const QString& path);

// The texts of the state files among the paths that are not regular files, one each; the
// programs show them at start, as those files are passed over rather than opened.
QStringList specialStateFiles(const QStringList& paths);

// The whole regular file, when it is no bigger than the limit.
Result<QByteArray> readRegularFile(const QString& path, qint64 limit);
// At most limit bytes of the open file; the rest is ignored. failed tells a read error.
QByteArray readUpTo(int fd, qint64 limit, bool* failed = nullptr);

// A file written whole or not at all: bytes go to a temporary file in the target's folder,
// commit() renames it over the target; without a commit the temporary file is removed.
// The temporary file is named ".telva-<pid>-<random>" and locked (flock) while it is written,
// so one that a killed program left behind can be told from one still being written; opening
// a new one removes such leftovers from the folder.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& path, int mode = 0600);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Each fails with the system's words and errno as its code.
    Status open();
    Status write(const char* data, qint64 size);
    Status commit();
    // The last failure as the system words it.
    QString errorString() const { return error_; }
    bool failed() const { return !error_.isEmpty(); }
    // The last failure was a full disk (or a used-up quota).
    bool noSpace() const;

private:
    Status fail();
    Status notOpen() const;

    QByteArray target_;
    QByteArray temp_;
    int mode_;
    int fd_ = -1;
    QString error_;
    int errorNumber_ = 0;
};

// A ReplacingFile as a write-only device, for writers that take one (a download): each
// write goes whole to the file or fails, the file keeping the reason.
class ReplacingFileDevice : public QIODevice {
public:
    explicit ReplacingFileDevice(ReplacingFile& file);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    ReplacingFile& file_;
};

// Replaces the file with the bytes, as ReplacingFile does.
[[nodiscard]] Status writeFileReplacing(const QString& path, const QByteArray& bytes,
                                        int mode = 0600);

// Removes the temporary files of ReplacingFile in the folder whose writer is gone (its process
// no longer runs and nothing holds the file's lock); anything else is left alone. The number
// removed.
int removeStaleTemporaries(const QString& folder);

// Creates the folder and any missing parents, each new one private to the user (0700
// whatever the umask). The folder itself must end up a real folder, not a link to one; it
// fails with the system's words otherwise.
Status makePrivateFolder(const QString& path);

// Whether the path names a real folder (a link to one does not count).
bool isRealFolder(const QString& path);

// Whether two paths name the same file: the same path once links and "." or ".." are
// resolved, or the same device and inode (a link or a second name of it). A path that does
// not exist yet is compared by its resolved folder and name.
bool isSameFile(const QString& a, const QString& b);

} // namespace telva
