#include "app/clock.h"

#include "app/frontend.h"
#include "app/texts.h"

#include <QElapsedTimer>
#include <QThread>

namespace telva {

QDateTime Clock::now() const {
    return QDateTime::currentDateTime();
}

qint64 Clock::ticks() const {
    static QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

Status Clock::sleep(int milliseconds, Frontend* frontend) {
    QElapsedTimer timer;
    timer.start();
    qint64 shownSecond = -1;
    while (timer.elapsed() < milliseconds) {
        if (frontend && frontend->cancelRequested())
            return Status::fail(cancelledText(), ErrorKind::Cancelled);
        const qint64 left = (milliseconds - timer.elapsed() + 999) / 1000;
        if (frontend && left != shownSecond) {
            shownSecond = left;
            frontend->showProgress(QStringLiteral("Ожидание %1 с ...").arg(left));
        }
        if (frontend)
            frontend->processEvents();
        QThread::msleep(std::min<qint64>(50, milliseconds - timer.elapsed() + 1));
    }
    return {};
}

namespace {
Clock* g_override = nullptr;
}

Clock& Clock::system() {
    static Clock clock;
    return g_override ? *g_override : clock;
}

void Clock::setSystem(Clock* clock) {
    g_override = clock;
}

} // namespace telva
