#include "app/last_request.h"

#include "app/frontend.h"
#include "app/safe_file.h"

#include <QElapsedTimer>
#include <QThread>

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

QDateTime lastSpacedRequest(const QDateTime& own, const QString& path, const QDateTime& now) {
    QDateTime last;
    for (const QDateTime& time : {own, readLastRequestTime(path)}) {
        if (time.isValid() && time <= now && (!last.isValid() || time > last))
            last = time;
    }
    return last;
}

void RequestSlot::take(const QString& path, Frontend& frontend) {
    lock_.release();
    path_ = path;
    if (path.isEmpty() || !makePrivateFolder(path.section(QLatin1Char('/'), 0, -2)))
        return;
    QElapsedTimer waiting;
    waiting.start();
    bool shown = false;
    lock_ = FileLock::acquire(path + QStringLiteral(".lock"), [&] {
        if (!shown) {
            shown = true;
            frontend.showProgress(
                QStringLiteral("Ожидание очереди: запрос к шлюзу отправляет другая программа..."));
        }
        frontend.processEvents();
        QThread::msleep(50);
        return waiting.elapsed() < kSlotWaitMs && !frontend.cancelRequested();
    });
}

void RequestSlot::giveBack(const QDateTime& sentAt) {
    if (!lock_.held())
        return;
    writeLastRequestTime(path_, sentAt);
    lock_.release();
}

} // namespace telva
