#pragma once

#include "app/clock.h"
#include "app/frontend.h"
#include "app/texts.h"

#include <QList>

namespace telva {

// A clock whose time moves only when told to or when something sleeps on it; each sleep is
// recorded and costs no real time. A sleep begun once the person has cancelled ends at once.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime())
        : now_(std::move(start)), ticks_(now_.toMSecsSinceEpoch()) {}

    QDateTime now() const override { return now_; }
    qint64 ticks() const override { return ticks_; }
    Status sleep(int milliseconds, Frontend* frontend) override {
        sleeps.append(milliseconds);
        if (frontend && frontend->cancelRequested())
            return Status::fail(cancelledText(), ErrorKind::Cancelled);
        slept += milliseconds;
        advance(milliseconds);
        return {};
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
