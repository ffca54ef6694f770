#include "app/last_request.h"

#include "app/safe_file.h"

namespace telva {

QDateTime readLastRequestTime(const QString& path) {
    if (path.isEmpty())
        return {};
    // A regular file of a line only: a FIFO or a link planted there neither blocks nor misleads.
    const auto bytes = readRegularFile(path, 64);
    if (!bytes.ok())
        return {};
    return QDateTime::fromString(QString::fromLatin1(bytes.value().trimmed()), Qt::ISODateWithMs);
}

void writeLastRequestTime(const QString& path, const QDateTime& time) {
    if (path.isEmpty() || !makePrivateFolder(path.section(QLatin1Char('/'), 0, -2)))
        return;
    (void)writeFileReplacing(path, time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n');
}

} // namespace telva
