#pragma once

#include "app/file_lock.h"

#include <QDateTime>
#include <QString>

namespace telva {

class Frontend;

// The time of the last gateway request, kept in a small file so that every run of the window
// and the terminal program spaces its requests after the others'. An empty path, a missing
// or unreadable file read as no time; writing is best effort, as the spacing is a courtesy.
QDateTime readLastRequestTime(const QString& path);
void writeLastRequestTime(const QString& path, const QDateTime& time);

// The last request that counts for spacing at now: the later of the run's own and the one
// the file holds. A time ahead of now was left before the clock was set back and counts as
// none, so that no wait stretches by the clock's jump.
QDateTime lastSpacedRequest(const QDateTime& own, const QString& path, const QDateTime& now);

// The right to send the next spaced request: a lock on the file beside the shared time
// (path + ".lock"), taken before the time is read and given back once the request has gone
// out, with the time it went out, so two programs never both decide that their turn has
// come. A run that holds it for longer than kSlotWaitMs is not waited for any more.
class RequestSlot {
public:
    // Waits for the lock; the frontend keeps painting meanwhile, and a cancel ends the wait.
    void take(const QString& path, Frontend& frontend);
    // Writes the time and unlocks; nothing when not held.
    void giveBack(const QDateTime& sentAt);
    bool held() const { return lock_.held(); }

    static constexpr int kSlotWaitMs = 120000;

private:
    QString path_;
    FileLock lock_;
};

} // namespace telva
