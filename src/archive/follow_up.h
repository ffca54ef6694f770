#pragma once

#include "archive/report_list.h"

#include <QDateTime>
#include <QHash>
#include <QString>

namespace telva {

// When the window asks again about reports still in processing: each report on its own
// growing interval (1, 2, 5, 10, 30 minutes, then hourly), restarted by a manual refresh.
class FollowUpSchedule {
public:
    // The wait before the given ask (0 for the first).
    static qint64 intervalSeconds(int asked);

    // Keeps the reports in processing of the list (new ones wait their first interval from
    // now) and forgets the others.
    void track(const ReportList& rows, const QDateTime& now);
    // The person refreshed it: its intervals start again from now.
    void restart(const QString& reportId, const QDateTime& now);
    // The report whose turn it is (the longest overdue), marked as asked; empty when none.
    QString takeDue(const QDateTime& now);

private:
    struct Entry {
        int asked = 0;
        QDateTime due;
    };
    QHash<QString, Entry> entries_;
};

} // namespace telva
