#include "app/settings.h"
#include "archive/follow_up.h"
#include "archive/report_archive.h"
#include "fake_clock.h"
#include "find_child.h"
#include "gui/main_form.h"
#include "http_test_server.h"
#include "receipt_maker.h"
#include "temp_profile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

TEST(FollowUp, IntervalsGrowToHourly) {
    const qint64 minutes[] = {1, 2, 5, 10, 30, 60, 60};
    for (int asked = 0; asked < int(std::size(minutes)); ++asked)
        EXPECT_EQ(FollowUpSchedule::intervalSeconds(asked), minutes[asked] * 60) << asked;
}

// The window asks about a report in processing on its own, on the manual clock: after the
// intervals, again from the start after a manual refresh, not when turned off or offline;
// the row changes in place and a report no longer in processing is not asked about again.
TEST(FollowUp, ReportsInProcessingAreAskedAboutOnTheirOwn) {
    TempProfile profile;
    ManualClock clock;
    Clock::setSystem(&clock);
    HttpTestServer gate;
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("KVBSiteHost"), gate.hostPort());
        global.setValue(QStringLiteral("GateHost"), gate.hostPort());
    }
    std::atomic<bool> errors{false};
    gate.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
    gate.on("GET", "/kvb/statusreport", [&](const RecordedRequest&) {
        return ScriptedResponse::ok(
            errors
                ? QByteArray("<p>Ошибка</p><a href=\"/invoice?fid=7701-0001-000123\">протокол</a>")
                : QByteArray("<p>-</p>"));
    });
    auto asks = [&] {
        qsizetype n = 0;
        for (const RecordedRequest& request : gate.requests())
            n += request.path == "/kvb/statusreport";
        return n;
    };
    {
        TMainForm form({});
        const QString id = QStringLiteral("7701-0001-000123");
        const QString folder = reportFolder(form.context().archiveBaseFolder, id);
        QDir().mkpath(folder);
        profile.writeFile(QDir(profile.root()).relativeFilePath(folder) + "/" + id + ".er7", "x");
        form.show();
        form.activateWindow();
        QApplication::processEvents();
        ASSERT_TRUE(form.context().connected);
        auto* grid = child<QTableWidget>(&form, "gRep");
        auto* automatic = child<QCheckBox>(&form, "cbAutoRefresh");
        EXPECT_TRUE(automatic->isChecked());

        const struct {
            int minutes;
            std::function<void()> meanwhile;
            qsizetype asked;
        } steps[] = {
            {0, {}, 0},
            {1, {}, 1},
            {1, {}, 1}, // the next one is two minutes after the first
            {1, {}, 2},
            {1, [&] { form.execute(child<QAction>(&form, "acLoadKvit")); }, 3},
            {1, {}, 4}, // the manual refresh started the intervals again
            // The wall clock put back an hour: the next ask comes on time all the same.
            {2, [&] { clock.setWallClock(clock.now().addSecs(-3600)); }, 5},
            {5, [&] { automatic->setChecked(false); }, 5},
            {10,
             [&] {
                 automatic->setChecked(true);
                 form.context().connected = false;
             },
             5},
            {0,
             [&] {
                 form.context().connected = true;
                 errors = true;
             },
             6},
            {60, {}, 6},
        };
        for (const auto& step : steps) {
            clock.advance(step.minutes * 60 * 1000);
            if (step.meanwhile)
                step.meanwhile();
            form.followUp();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !form.followUpRunning(); }, 60000));
            EXPECT_EQ(asks(), step.asked) << &step - steps;
        }
        EXPECT_EQ(grid->item(0, ColState)->text(), stateHasErrors());
        EXPECT_EQ(grid->rowCount(), 1);
        // What activating the report's notification does.
        form.showReport(id);
        EXPECT_EQ(child<QTabWidget>(&form, "pcMain")->currentIndex(), int(TMainForm::ReportsPage));
        EXPECT_EQ(grid->item(grid->currentRow(), ColReportId)->text(), id);
    }
    EXPECT_EQ(QSettings(globalSettingsPath(), QSettings::IniFormat)
                  .value(QStringLiteral("AutoRefresh"))
                  .toString(),
              QStringLiteral("1"));
    Clock::setSystem(nullptr);
}

// A report the terminal program files (or refreshes) shows up in the open window's list
// without reopening the page, and the chosen report stays chosen.
TEST(ReportList, ReportsFiledMeanwhileShowUpWithTheChoiceKept) {
    TempProfile profile;
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("KVBSiteHost"), site.hostPort());
    }
    TMainForm form({});
    const QString base = form.context().archiveBaseFolder;
    const auto file = [&](const QString& id, const QString& name) {
        return profile.writeFile(QDir(profile.root()).relativeFilePath(reportFolder(base, id)) +
                                     QLatin1Char('/') + name,
                                 "x");
    };
    const QString chosen = QStringLiteral("7701-0001-000002");
    file(chosen, QStringLiteral("rep.er7"));
    form.show();
    auto* grid = child<QTableWidget>(&form, "gRep");
    ASSERT_EQ(grid->rowCount(), 1);

    const QString sent = QStringLiteral("7701-0001-000001");
    file(sent, QStringLiteral("rep.er7"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 2; }, 60000));
    grid->sortItems(ColReportId);
    const int chosenRow = grid->item(0, ColReportId)->text() == chosen ? 0 : 1;
    grid->setCurrentCell(chosenRow, ColState);

    // A receipt arrives in the chosen report's folder; the list is read again, choice kept.
    file(chosen, chosen + QStringLiteral(".p7e"));
    const auto stateOf = [&](const QString& id) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (grid->item(row, ColReportId)->text() == id)
                return grid->item(row, ColState)->text();
        }
        return QString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return stateOf(chosen) == stateAccepted(); }, 60000));
    EXPECT_EQ(grid->item(grid->currentRow(), ColReportId)->text(), chosen);
    EXPECT_EQ(stateOf(sent), stateProcessing());
}

TEST(ReportList, StatesColouredCountedFilterableAndHeadersWhole) {
    TempProfile profile;
    TMainForm form({});
    const struct {
        const char* id;
        const char* mark; // the file that sets the state beside the report
    } reports[] = {{"7701-1", nullptr}, {"7701-2", ".err"}, {"7701-3", ".p7e"}, {"7701-4", ".err"}};
    for (const auto& report : reports) {
        const QString folder = reportFolder(form.context().archiveBaseFolder, report.id);
        const QString relative = QDir(profile.root()).relativeFilePath(folder) + "/" + report.id;
        profile.writeFile(relative + ".er7", "x");
        if (report.mark)
            profile.writeFile(relative + report.mark, "x");
    }
    form.execute(child<QAction>(&form, "acGreedRefresh"));
    auto* grid = child<QTableWidget>(&form, "gRep");
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(child<QLabel>(&form, "lbReportCounts")->text(),
              QStringLiteral("Обрабатывается: 1   Обнаружены ошибки: 2   Успешно обработан: 1"));
    QSet<QRgb> colours;
    for (int row = 0; row < 4; ++row)
        colours.insert(grid->item(row, ColState)->foreground().color().rgb());
    EXPECT_EQ(colours.size(), 3);
    for (int c = 0; c + 1 < grid->columnCount(); ++c)
        EXPECT_GE(grid->columnWidth(c), grid->horizontalHeader()->sectionSizeHint(c)) << c;
    auto* filter = child<QLineEdit>(&form, "eReportFilter");
    const struct {
        const char* text;
        QList<bool> hidden;
    } filters[] = {{"ошибки", {true, false, true, false}},
                   {"7701-3", {true, true, false, true}},
                   {"", {false, false, false, false}}};
    for (const auto& f : filters) {
        filter->setText(QString::fromUtf8(f.text));
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(grid->isRowHidden(row), f.hidden[row]) << f.text << ' ' << row;
    }
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        child<QTabWidget>(&form, "pcMain")->setCurrentIndex(TMainForm::ReportsPage);
        form.resize(775, 314);
        form.grab().save(dir + QStringLiteral("/sent-reports-states.png"));
    }
}

// After sorting and filtering, an action takes the report of the row the person chose.
TEST(ReportList, ActionsTakeTheChosenRowAfterSortingAndFiltering) {
    TempProfile profile;
    TMainForm form({});
    const QString ids[] = {"7701-1", "7701-2", "7701-3", "7701-4"};
    for (const QString& id : ids) {
        const QString folder = reportFolder(form.context().archiveBaseFolder, id);
        profile.writeFile(QDir(profile.root()).relativeFilePath(folder) + "/" + id + ".er7", "x");
    }
    form.execute(child<QAction>(&form, "acGreedRefresh"));
    auto* grid = child<QTableWidget>(&form, "gRep");
    auto* filter = child<QLineEdit>(&form, "eReportFilter");
    const struct {
        int clicks; // on the identifier's header: the first sorts upwards, the next turns round;
                    // the order stays through the refresh after each deletion
        const char* filter;
        int row;
        QString deleted;
    } steps[] = {{2, "", 0, "7701-4"}, {0, "-3", 0, "7701-3"}, {0, "", 0, "7701-2"}};
    for (const auto& step : steps) {
        for (int click = 0; click < step.clicks; ++click)
            Q_EMIT grid->horizontalHeader()->sectionClicked(ColReportId);
        filter->setText(QString::fromLatin1(step.filter));
        grid->setCurrentCell(step.row, ColSendDate);
        ASSERT_EQ(grid->item(step.row, ColReportId)->text(), step.deleted);
        form.execute(child<QAction>(&form, "acDelCurRec"));
        EXPECT_FALSE(QDir(reportFolder(form.context().archiveBaseFolder, step.deleted)).exists())
            << step.deleted.toStdString();
    }
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, ColReportId)->text(), ids[0]);
}

// "Экспорт архива" takes the rows the person chose, not the current one alone.
TEST(ReportList, ExportTakesTheChosenRows) {
    TempProfile profile;
    TMainForm form({});
    for (const QString id : {"7701-1", "7701-2", "7701-3"}) {
        const QString folder = reportFolder(form.context().archiveBaseFolder, id);
        profile.writeFile(QDir(profile.root()).relativeFilePath(folder) + "/" + id + ".er7", "x");
    }
    form.execute(child<QAction>(&form, "acGreedRefresh"));
    auto* grid = child<QTableWidget>(&form, "gRep");
    grid->clearSelection();
    for (int row : {0, 2})
        grid->selectionModel()->select(grid->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString zip = profile.root() + "/audit.zip";
    form.exportReportsTo(zip);
    QByteArray listing;
    ASSERT_EQ(runProgram("unzip", {"-Z1", zip}, {}, &listing), 0) << listing.constData();
    EXPECT_EQ(QString::fromUtf8(listing).split('\n', Qt::SkipEmptyParts),
              QStringList({"7701-1/7701-1.er7", "7701-3/7701-3.er7"}));
}
