#pragma once

#include "app/clock.h"

#include <QList>

namespace telva {

// A clock whose time moves only when told to or when something sleeps on it; each sleep is
// recorded and costs no real time.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime()) : now_(std::move(start)) {}

    QDateTime now() const override { return now_; }
    qint64 ticks() const override { return now_.toMSecsSinceEpoch(); }
    void sleep(int milliseconds, Frontend*) override {
        sleeps.append(milliseconds);
        slept += milliseconds;
        now_ = now_.addMSecs(milliseconds);
    }
    void advance(qint64 milliseconds) { now_ = now_.addMSecs(milliseconds); }

    QList<int> sleeps;
    qint64 slept = 0;

private:
    QDateTime now_;
};

} // namespace telva
