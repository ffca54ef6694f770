#pragma once

#include "app/clock.h"
#include "app/frontend.h"
#include "app/texts.h"

#include <QList>
#include <mutex>

namespace telva {

// A clock whose time moves only when told to or when something sleeps on it; each sleep is
// recorded and costs no real time. A sleep begun once the person has cancelled ends at once.
// The window's background asks read it from their thread.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime())
        : now_(std::move(start)), ticks_(now_.toMSecsSinceEpoch()) {}

    QDateTime now() const override {
        const std::lock_guard lock(mutex_);
        return now_;
    }
    qint64 ticks() const override {
        const std::lock_guard lock(mutex_);
        return ticks_;
    }
    Status sleep(int milliseconds, Frontend* frontend) override {
        {
            const std::lock_guard lock(mutex_);
            sleeps.append(milliseconds);
            if (frontend && frontend->cancelRequested())
                return Status::fail(cancelledText(), ErrorKind::Cancelled);
            slept += milliseconds;
        }
        advance(milliseconds);
        return {};
    }
    void advance(qint64 milliseconds) {
        const std::lock_guard lock(mutex_);
        now_ = now_.addMSecs(milliseconds);
        ticks_ += milliseconds;
    }
    // Sets the wall clock (as a person or time service does); the count that never jumps
    // goes on unchanged.
    void setWallClock(QDateTime time) {
        const std::lock_guard lock(mutex_);
        now_ = std::move(time);
    }

    QList<int> sleeps;
    qint64 slept = 0;

private:
    mutable std::mutex mutex_;
    QDateTime now_;
    qint64 ticks_;
};

} // namespace telva
