#pragma once

#include "app/clock.h"

#include <QList>

namespace telva {

// A clock whose time moves only when told to or when something sleeps on it; each sleep is
// recorded and costs no real time.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime())
        : now_(std::move(start)), ticks_(now_.toMSecsSinceEpoch()) {}

    QDateTime now() const override { return now_; }
    qint64 ticks() const override { return ticks_; }
    void sleep(int milliseconds, Frontend*) override {
        sleeps.append(milliseconds);
        slept += milliseconds;
        advance(milliseconds);
    }
    void advance(qint64 milliseconds) {
        now_ = now_.addMSecs(milliseconds);
        ticks_ += milliseconds;
    }
    // Sets the wall clock (as a person or time service does); the count that never jumps
    // goes on unchanged.
    void setWallClock(QDateTime time) { now_ = std::move(time); }

    QList<int> sleeps;
    qint64 slept = 0;

private:
    QDateTime now_;
    qint64 ticks_;
};

} // namespace telva
