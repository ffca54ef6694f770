#pragma once

#include "archive/report_list.h"

#include <QDateTime>
#include <QHash>
#include <QString>

namespace telva {

// When the window asks again about reports still in processing: each report at 1, 3, 8, 18
// and 48 minutes after it was sent (waits of 1, 2, 5, 10 and 30 minutes), then every hour,
// counted from the send; a manual refresh counts anew from itself. An ask that comes late
// (the window was closed, busy or offline) is made once, and the next one keeps to the points
// counted from the send. Times are milliseconds on a count that never jumps (Clock::ticks), so
// a wall clock set back stalls nothing.
class FollowUpSchedule {
public:
    // The wait before the given ask (0 for the first).
    static qint64 intervalSeconds(int asked);

    // A report in processing sent at `sentAt` (on the same count); a known one stays as it is.
    void add(const QString& reportId, qint64 sentAt, qint64 now);
    // Takes the list's reports in processing that it does not know yet, each counted from its
    // send time (read from the archive on the wall clock `wallNow`; from now when unknown), and
    // forgets the listed reports no longer in processing. Reports not listed stay.
    void track(const ReportList& rows, qint64 now, const QDateTime& wallNow);
    void forget(const QString& reportId);
    // The person refreshed it: its asks count anew from now.
    void restart(const QString& reportId, qint64 now);
    // An ask that did not happen (the person's operation came first): made again after the
    // first wait, the points from the send kept after that.
    void askAgainSoon(const QString& reportId, qint64 now);
    // No more asks until the person refreshes it (restart): what it waits for needs them.
    void hold(const QString& reportId);
    // The report whose turn it is (the longest overdue), marked as asked; empty when none.
    QString takeDue(qint64 now);

    bool contains(const QString& reportId) const { return entries_.contains(reportId); }
    // When its next ask is due; -1 for an unknown or held report.
    qint64 dueAt(const QString& reportId) const;

private:
    struct Entry {
        qint64 since = 0; // the send, or the last manual refresh
        qint64 due = 0;
        bool held = false;
    };
    QHash<QString, Entry> entries_;
};

} // namespace telva
