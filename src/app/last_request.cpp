#include "app/last_request.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace telva {

QDateTime readLastRequestTime(const QString& path) {
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QDateTime::fromString(QString::fromLatin1(file.read(64).trimmed()), Qt::ISODateWithMs);
}

void writeLastRequestTime(const QString& path, const QDateTime& time) {
    if (path.isEmpty())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n');
    (void)file.commit();
}

} // namespace telva
