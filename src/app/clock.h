#pragma once

#include "app/result.h"

#include <QDateTime>

namespace telva {

class Frontend;

// The time as the program sees it; tests replace it to move time without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;
    // Milliseconds on a count that never jumps, for measuring how long something took.
    virtual qint64 ticks() const;
    // Waits the given time; the frontend keeps painting and sees the seconds left. Ends early,
    // failing as cancelled (cancelledText()), once the person cancels.
    virtual Status sleep(int milliseconds, Frontend* frontend);

    // The clock every new context starts with: the real one, unless a test put another.
    static Clock& system();
    static void setSystem(Clock* clock);
};

} // namespace telva
