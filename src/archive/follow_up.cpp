#include "archive/follow_up.h"

#include <iterator>

namespace telva {

namespace {

// The ask points after `since`: the last one at or before `now` (-1 when none has come yet)
// and the first one after it.
struct Points {
    qint64 passed = -1;
    qint64 next = 0;
};

Points pointsAround(qint64 since, qint64 now) {
    Points points;
    qint64 at = since;
    constexpr int growing = 5;
    for (int asked = 0; asked < growing; ++asked) {
        at += FollowUpSchedule::intervalSeconds(asked) * 1000;
        if (at > now) {
            points.next = at;
            return points;
        }
        points.passed = at;
    }
    const qint64 hour = FollowUpSchedule::intervalSeconds(growing) * 1000;
    points.passed = at + (now - at) / hour * hour;
    points.next = points.passed + hour;
    return points;
}

} // namespace

qint64 FollowUpSchedule::intervalSeconds(int asked) {
    static constexpr qint64 kMinutes[] = {1, 2, 5, 10, 30};
    constexpr int steps = int(std::size(kMinutes));
    return 60 * (asked < steps ? kMinutes[asked] : 60);
}

void FollowUpSchedule::add(const QString& reportId, qint64 sentAt, qint64 now) {
    if (reportId.isEmpty() || entries_.contains(reportId))
        return;
    const qint64 since = qMin(sentAt, now);
    const Points points = pointsAround(since, now);
    // A point passed before the window knew of the report: asked once now.
    entries_.insert(reportId, Entry{since, points.passed >= 0 ? points.passed : points.next});
}

void FollowUpSchedule::track(const ReportList& rows, qint64 now, const QDateTime& wallNow) {
    for (const ReportRow& row : rows) {
        if (row.id().isEmpty())
            continue;
        if (row.state() != stateProcessing()) {
            entries_.remove(row.id());
            continue;
        }
        qint64 sentAt = now;
        if (row.sentAt.isValid() && wallNow.isValid())
            sentAt = now - qMax<qint64>(0, row.sentAt.msecsTo(wallNow));
        add(row.id(), sentAt, now);
    }
}

void FollowUpSchedule::forget(const QString& reportId) {
    entries_.remove(reportId);
}

void FollowUpSchedule::restart(const QString& reportId, qint64 now) {
    const auto entry = entries_.find(reportId);
    if (entry != entries_.end())
        *entry = Entry{now, pointsAround(now, now).next};
}

void FollowUpSchedule::askAgainSoon(const QString& reportId, qint64 now) {
    const auto entry = entries_.find(reportId);
    if (entry != entries_.end() && !entry->held)
        entry->due = qMin(entry->due, now + intervalSeconds(0) * 1000);
}

void FollowUpSchedule::hold(const QString& reportId) {
    const auto entry = entries_.find(reportId);
    if (entry != entries_.end())
        entry->held = true;
}

qint64 FollowUpSchedule::dueAt(const QString& reportId) const {
    const auto entry = entries_.constFind(reportId);
    return entry == entries_.cend() || entry->held ? -1 : entry->due;
}

QString FollowUpSchedule::takeDue(qint64 now) {
    QString due;
    qint64 dueAt = 0;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        if (!it->held && it->due <= now && (due.isEmpty() || it->due < dueAt)) {
            due = it.key();
            dueAt = it->due;
        }
    }
    if (!due.isEmpty()) {
        Entry& entry = entries_[due];
        entry.due = pointsAround(entry.since, now).next;
    }
    return due;
}

} // namespace telva
