#include "archive/follow_up.h"

namespace telva {

qint64 FollowUpSchedule::intervalSeconds(int asked) {
    static constexpr qint64 kMinutes[] = {1, 2, 5, 10, 30};
    constexpr int steps = int(std::size(kMinutes));
    return 60 * (asked < steps ? kMinutes[asked] : 60);
}

void FollowUpSchedule::track(const ReportList& rows, const QDateTime& now) {
    QHash<QString, Entry> kept;
    for (const ReportRow& row : rows) {
        if (row.id().isEmpty() || row.state() != stateProcessing())
            continue;
        const auto known = entries_.constFind(row.id());
        kept.insert(row.id(),
                    known != entries_.cend() ? *known : Entry{0, now.addSecs(intervalSeconds(0))});
    }
    entries_ = std::move(kept);
}

void FollowUpSchedule::restart(const QString& reportId, const QDateTime& now) {
    const auto entry = entries_.find(reportId);
    if (entry != entries_.end())
        *entry = Entry{0, now.addSecs(intervalSeconds(0))};
}

QString FollowUpSchedule::takeDue(const QDateTime& now) {
    QString due;
    QDateTime dueAt;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        if (it->due <= now && (due.isEmpty() || it->due < dueAt)) {
            due = it.key();
            dueAt = it->due;
        }
    }
    if (!due.isEmpty()) {
        Entry& entry = entries_[due];
        ++entry.asked;
        entry.due = now.addSecs(intervalSeconds(entry.asked));
    }
    return due;
}

} // namespace telva
