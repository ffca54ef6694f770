#include "archive/sent_log.h"

#include "app/paths.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace telva {

namespace {

constexpr qsizetype kAnswerLimit = 4096;
constexpr qint64 kLogLimit = qint64(64) << 20;

QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

QString sentLogPath() {
    const QString state = stateHome();
    return state.isEmpty() ? QString() : state + QStringLiteral("/KVB/TELVA/sent-reports.log");
}

QString keptAnswer(const QByteArray& page) {
    return oneLine(QString::fromLatin1(page.left(kAnswerLimit)));
}

QString AppendSentLog(const SentLogEntry& entry) {
    const QString path = sentLogPath();
    if (path.isEmpty() || !makePrivateFolder(path.section(QLatin1Char('/'), 0, -2)))
        return {};
    QStringList fields{formatSendDate(entry.time),
                       oneLine(entry.reportId),
                       oneLine(entry.sentFile),
                       oneLine(entry.mode),
                       QString::fromLatin1(entry.outputHash),
                       QString::fromLatin1(entry.inputHash),
                       QString::fromLatin1(entry.token)};
    if (!entry.answer.isEmpty())
        fields.append(oneLine(entry.answer));
    const QByteArray line = fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    // One write on an O_APPEND descriptor: lines of two programs sending at once never mix.
    // A FIFO in its place is refused: the report has reached the gateway, nothing may hang now.
    const int fd = openRegularForAppend(path);
    if (fd < 0)
        return {};
    const bool written =
        write(fd, line.constData(), size_t(line.size())) == line.size() && fdatasync(fd) == 0;
    return close(fd) == 0 && written ? path : QString();
}

std::vector<SentLogLine> readSentLog() {
    std::vector<SentLogLine> lines;
    const Result<QByteArray> bytes = readRegularFile(sentLogPath(), kLogLimit);
    if (!bytes)
        return lines;
    for (const QByteArray& line : bytes->split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 7)
            continue;
        lines.push_back({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]),
                         QString::fromUtf8(fields[3]), fields[4], fields[5], fields[6]});
    }
    return lines;
}

} // namespace telva
