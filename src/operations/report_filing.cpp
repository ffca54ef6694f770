#include "operations/report_filing.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"
#include "archive/sent_index.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace telva {

namespace {

// Copies an open file from its start, replacing the target, when its bytes have the expected
// SHA-256; the copy is private to the user.
bool copyReplacing(int fd, const QString& to, const QByteArray& expectedHash) {
    QFile source;
    if (lseek(fd, 0, SEEK_SET) != 0 ||
        !source.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return false;
    ReplacingFile target(to);
    if (!target.open())
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char chunk[65536];
    for (;;) {
        const qint64 n = source.read(chunk, sizeof chunk);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        hash.addData(QByteArrayView(chunk, n));
        if (!target.write(chunk, n))
            return false;
    }
    // A file changed since it was sent is not the copy the archive keeps.
    if (!expectedHash.isEmpty() && hash.result().toHex() != expectedHash)
        return false;
    return target.commit().ok();
}

bool copyReplacing(const QString& from, const QString& to, const QByteArray& expectedHash) {
    const int fd = openRegularFile(from);
    if (fd < 0)
        return false;
    const bool copied = copyReplacing(fd, to, expectedHash);
    ::close(fd);
    return copied;
}

} // namespace

QString chosenFile(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

bool fileReport(const AppContext& ctx, const QString& reportId, const SendIntent& send,
                bool completing, int sentFd) {
    const QString folder = reportFolder(ctx.archiveBaseFolder, reportId) + QLatin1Char('/');
    const QString name = reportFolderName(reportId);
    // A report folder planted as a link would file the report outside the archive.
    if (ctx.archiveBaseFolder.isEmpty() || !makePrivateFolder(folder))
        return false;
    if (name != reportId && !writeFileReplacing(folder + reportIdFileName(name), reportId.toUtf8()))
        return false;
    for (const auto& [file, hash] :
         {std::pair{send.inputFile, send.inputHash}, std::pair{send.outputFile, send.outputHash}}) {
        const QString target = folder + QFileInfo(file).fileName();
        if (completing && !hash.isEmpty() && fileSha256(target) == hash)
            continue;
        // Completing, a source gone or changed since leaves the report filed without its copy.
        const bool copied = sentFd >= 0 && file == send.outputFile
                                ? copyReplacing(sentFd, target, hash)
                                : copyReplacing(chosenFile(file), target, hash);
        if (!copied && !completing)
            return false;
    }
    const QString note = folder + name + QStringLiteral(".inf");
    if (completing && QFileInfo::exists(note))
        return true;
    const Status noted = writeFileReplacing(note, toCp1251(send.organisation));
    // A sending that cannot write its note still filed the report; a completion tries again.
    return noted.ok() || !completing;
}

} // namespace telva
