#pragma once

#include "app/clock.h"

#include <QList>

namespace telva::test {

// A clock that stands still until moved; sleeping moves it at once and is recorded.
class FakeClock : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 3, 2), QTime(10, 0)))
        : now_(std::move(start)) {}

    QDateTime now() const override { return now_; }
    void sleep(int milliseconds, Frontend*) override {
        sleeps.append(milliseconds);
        now_ = now_.addMSecs(milliseconds);
    }
    void advance(qint64 milliseconds) { now_ = now_.addMSecs(milliseconds); }

    QList<int> sleeps;

private:
    QDateTime now_;
};

} // namespace telva::test
