#pragma once

#include <QDateTime>

namespace telva {

class Frontend;

// The time as the program sees it; tests replace it to move time without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;
    // Waits the given time; the frontend keeps painting and sees the seconds left.
    virtual void sleep(int milliseconds, Frontend* frontend);

    // The clock every new context starts with: the real one, unless a test put another.
    static Clock& system();
    static void setSystem(Clock* clock);
};

// A clock whose time moves only when it is told to or when something sleeps on it.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime()) : now_(start) {}
    QDateTime now() const override { return now_; }
    void sleep(int milliseconds, Frontend*) override {
        slept += milliseconds;
        now_ = now_.addMSecs(milliseconds);
    }
    void advance(qint64 milliseconds) { now_ = now_.addMSecs(milliseconds); }

    qint64 slept = 0;

private:
    QDateTime now_;
};

} // namespace telva
