#include "archive/follow_up.h"

namespace telva {

namespace {

qint64 after(qint64 now, qint64 seconds) {
    return now + seconds * 1000;
}

} // namespace

qint64 FollowUpSchedule::intervalSeconds(int asked) {
    static constexpr qint64 kMinutes[] = {1, 2, 5, 10, 30};
    constexpr int steps = int(std::size(kMinutes));
    return 60 * (asked < steps ? kMinutes[asked] : 60);
}

void FollowUpSchedule::track(const ReportList& rows, qint64 now) {
    QHash<QString, Entry> kept;
    for (const ReportRow& row : rows) {
        if (row.id().isEmpty() || row.state() != stateProcessing())
            continue;
        const auto known = entries_.constFind(row.id());
        kept.insert(row.id(),
                    known != entries_.cend() ? *known : Entry{0, after(now, intervalSeconds(0))});
    }
    entries_ = std::move(kept);
}

void FollowUpSchedule::restart(const QString& reportId, qint64 now) {
    const auto entry = entries_.find(reportId);
    if (entry != entries_.end())
        *entry = Entry{0, after(now, intervalSeconds(0))};
}

QString FollowUpSchedule::takeDue(qint64 now) {
    QString due;
    qint64 dueAt = 0;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        if (it->due <= now && (due.isEmpty() || it->due < dueAt)) {
            due = it.key();
            dueAt = it->due;
        }
    }
    if (!due.isEmpty()) {
        Entry& entry = entries_[due];
        ++entry.asked;
        entry.due = after(now, intervalSeconds(entry.asked));
    }
    return due;
}

} // namespace telva
