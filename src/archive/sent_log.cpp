#include "archive/sent_log.h"

#include "app/paths.h"
#include "app/safe_file.h"
#include "archive/report_archive.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace telva {

QString sentLogPath() {
    const QString state = stateHome();
    return state.isEmpty() ? QString() : state + QStringLiteral("/KVB/TELVA/sent-reports.log");
}

QString AppendSentLog(const QDateTime& time, const QString& reportId, const QString& sentFile) {
    const QString path = sentLogPath();
    if (path.isEmpty() || !makePrivateFolder(path.section(QLatin1Char('/'), 0, -2)))
        return {};
    const QByteArray line =
        (formatSendDate(time) + QLatin1Char('\t') + reportId + QLatin1Char('\t') + sentFile)
            .toUtf8() +
        '\n';
    // One write on an O_APPEND descriptor: lines of two programs sending at once never mix.
    // A FIFO in its place is refused: the report has reached the gateway, nothing may hang now.
    const int fd = openRegularForAppend(path);
    if (fd < 0)
        return {};
    const bool written = write(fd, line.constData(), size_t(line.size())) == line.size();
    return close(fd) == 0 && written ? path : QString();
}

} // namespace telva
