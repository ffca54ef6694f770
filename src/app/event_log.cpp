#include "app/event_log.h"

#include "app/paths.h"
#include "app/safe_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace telva {

namespace {

std::function<void(const QString&)>& echo() {
    static std::function<void(const QString&)> sink;
    return sink;
}

} // namespace

QString logFilePath() {
    const QString base = stateHome();
    return base.isEmpty() ? QString() : base + QStringLiteral("/KVB/TELVA/telva.log");
}

QString withoutCredentials(const QString& text) {
    // A user part, a colon, a password part, then "@": the form of credentials in an address.
    static const QRegularExpression credentials(QStringLiteral("[^\\s/@:\"'()]+:[^\\s/@\"']*@"));
    QString clean = text;
    clean.replace(credentials, QStringLiteral("***@"));
    return clean;
}

void appendLogLine(const QString& path, const QString& line, qint64 maxBytes) {
    const QByteArray bytes = line.toUtf8() + '\n';
    const QFileInfo info(path);
    if (!makePrivateFolder(info.absolutePath()))
        return;
    const QByteArray name = QFile::encodeName(path);
    if (info.exists() && info.size() + bytes.size() > maxBytes)
        std::rename(name.constData(), QFile::encodeName(path + QStringLiteral(".1")).constData());
    // Appends from several runs at once stay whole lines; a link or a FIFO put in its place
    // is refused, not written through or waited on.
    const int fd = openRegularForAppend(path);
    if (fd < 0)
        return;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    close(fd);
}

void logEvent(const QString& text) {
    if (text.isEmpty())
        return;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) +
        withoutCredentials(text);
    if (echo())
        echo()(line);
    const QString path = logFilePath();
    if (!path.isEmpty())
        appendLogLine(path, line, kLogRotateBytes);
}

void setLogEcho(std::function<void(const QString&)> sink) {
    echo() = std::move(sink);
}

} // namespace telva
