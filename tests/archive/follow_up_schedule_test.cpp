#include "archive/follow_up.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace telva;

namespace {

constexpr qint64 kMinute = 60 * 1000;

ReportRow row(const QString& id, const QString& state, const QDateTime& sentAt) {
    ReportRow r;
    r.cells[ColReportId] = id;
    r.cells[ColState] = state;
    r.sentAt = sentAt;
    return r;
}

// The minutes in [from, to] at which the report is asked about, asking whenever it is due.
QList<qint64> askedMinutes(FollowUpSchedule& schedule, qint64 from, qint64 to) {
    QList<qint64> asked;
    for (qint64 minute = from; minute <= to; ++minute) {
        if (!schedule.takeDue(minute * kMinute).isEmpty())
            asked.append(minute);
    }
    return asked;
}

} // namespace

// 1, 2, 5, 10 and 30 minutes, then hourly, counted from the send; an ask made late does not
// move the later ones.
TEST(FollowUpSchedule, AsksComeAtPointsCountedFromTheSend) {
    FollowUpSchedule schedule;
    schedule.add(QStringLiteral("1"), 0, 0);
    EXPECT_EQ(askedMinutes(schedule, 0, 230), QList<qint64>({1, 3, 8, 18, 48, 108, 168, 228}));

    FollowUpSchedule late;
    late.add(QStringLiteral("1"), 0, 0);
    EXPECT_EQ(askedMinutes(late, 0, 1), QList<qint64>({1}));
    // The window was busy from minute 2 to 6: asked once at 6, then again at 8.
    EXPECT_EQ(askedMinutes(late, 6, 20), QList<qint64>({6, 8, 18}));
}

// At start the reports in processing are taken from the list, each counted from its send: one
// whose ask passed while the program was closed is asked at once, then at its next point.
TEST(FollowUpSchedule, ReportsInProcessingArePickedUpAtStartFromTheirSendTime) {
    const QDateTime wall = QDateTime::currentDateTime();
    const qint64 now = 1000 * kMinute;
    FollowUpSchedule schedule;
    schedule.track({row("old", stateProcessing(), wall.addSecs(-20 * 60)),
                    row("fresh", stateProcessing(), wall.addSecs(-30)),
                    row("ahead", stateProcessing(), wall.addSecs(3600)),
                    row("unknown", stateProcessing(), QDateTime()),
                    row("done", stateAccepted(), wall.addSecs(-600)), row("", QString(), wall)},
                   now, wall);
    EXPECT_EQ(schedule.dueAt("old"), now - 2 * kMinute); // the 18-minute point
    EXPECT_EQ(schedule.dueAt("fresh"), now + 30 * 1000);
    EXPECT_EQ(schedule.dueAt("ahead"), now + kMinute); // a send time ahead counts as now
    EXPECT_EQ(schedule.dueAt("unknown"), now + kMinute);
    EXPECT_FALSE(schedule.contains("done"));
    EXPECT_EQ(schedule.takeDue(now), QStringLiteral("old"));
    EXPECT_EQ(schedule.dueAt("old"), now + 28 * kMinute); // the 48-minute point
    EXPECT_TRUE(schedule.takeDue(now).isEmpty());

    // Listed again later: known reports keep their points; one no longer in processing goes,
    // one not listed (sent from the signing page meanwhile) stays.
    schedule.add("sent", now, now);
    schedule.track({row("old", stateProcessing(), wall), row("fresh", stateHasErrors(), wall)},
                   now + kMinute, wall.addSecs(60));
    EXPECT_EQ(schedule.dueAt("old"), now + 28 * kMinute);
    EXPECT_FALSE(schedule.contains("fresh"));
    EXPECT_EQ(schedule.dueAt("sent"), now + kMinute);
}

// A manual refresh counts anew; an ask that gave way comes again a minute later; a held
// report waits for the person.
TEST(FollowUpSchedule, RestartAskAgainAndHold) {
    FollowUpSchedule schedule;
    schedule.add("1", 0, 0);
    schedule.restart("1", 30 * kMinute);
    EXPECT_EQ(schedule.dueAt("1"), 31 * kMinute);
    EXPECT_EQ(schedule.takeDue(31 * kMinute), QStringLiteral("1"));
    schedule.askAgainSoon("1", 31 * kMinute);
    EXPECT_EQ(schedule.dueAt("1"), 32 * kMinute);
    schedule.hold("1");
    EXPECT_EQ(schedule.dueAt("1"), -1);
    EXPECT_TRUE(schedule.takeDue(600 * kMinute).isEmpty());
    schedule.restart("1", 600 * kMinute);
    EXPECT_EQ(schedule.takeDue(601 * kMinute), QStringLiteral("1"));
    schedule.forget("1");
    EXPECT_FALSE(schedule.contains("1"));
}
