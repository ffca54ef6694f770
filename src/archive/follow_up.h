#pragma once

#include "archive/report_list.h"

#include <QHash>
#include <QString>

namespace telva {

// When the window asks again about reports still in processing: each report on its own
// growing interval (1, 2, 5, 10, 30 minutes, then hourly), restarted by a manual refresh.
// Times are milliseconds on a count that never jumps (Clock::ticks), so a wall clock set
// back stalls nothing.
class FollowUpSchedule {
public:
    // The wait before the given ask (0 for the first).
    static qint64 intervalSeconds(int asked);

    // Keeps the reports in processing of the list (new ones wait their first interval from
    // now) and forgets the others.
    void track(const ReportList& rows, qint64 now);
    // The person refreshed it: its intervals start again from now.
    void restart(const QString& reportId, qint64 now);
    // The report whose turn it is (the longest overdue), marked as asked; empty when none.
    QString takeDue(qint64 now);

private:
    struct Entry {
        int asked = 0;
        qint64 due = 0;
    };
    QHash<QString, Entry> entries_;
};

} // namespace telva
