#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

namespace telva {

struct AppContext;

// Columns of the sent-reports list.
enum ReportColumn {
    ColReportId = 0,
    ColSourceFile = 1,
    ColOrganisation = 2,
    ColSendDate = 3,
    ColState = 4,
    ColListCode = 5,
    ReportColumnCount = 6,
};

// One row of the list: six texts, derived only from the files of a report folder.
struct ReportRow {
    std::array<QString, ReportColumnCount> cells;
    // What the person can do about the row's state, for a tooltip; empty for most rows.
    QString detail;
    // When it was sent (the sender's note's creation), to the millisecond; invalid when unknown.
    QDateTime sentAt;

    const QString& id() const { return cells[ColReportId]; }
    const QString& state() const { return cells[ColState]; }
    const QString& listCode() const { return cells[ColListCode]; }
};

// The data rows; never empty: an empty archive gives one row of empty texts.
using ReportList = std::vector<ReportRow>;

// The header texts of the six columns (the last has none).
const std::array<QString, ReportColumnCount>& reportListHeaders();

// The three states of a sent report.
QString stateProcessing(); // "Обрабатывается."
QString stateAccepted();   // "Успешно обработан."
QString stateHasErrors();  // "Обнаружены ошибки."
// A send that may have reached the gateway but got no identifier: listed without one.
QString stateUnconfirmed(); // "отправка не подтверждена"

// Rebuilds the list from the report folders below the archive base folder. Rows follow
// the folder names in order, files within a folder too; when several files set the same
// cell, the later one wins.
ReportList FillReportList(const QString& archiveBaseFolder, const QString& srcExt,
                          const QString& kvitExt);
// The same, followed by a row for each unconfirmed send of the work mode's send journal.
ReportList FillReportList(const AppContext& ctx);

// The row whose identifier is the given one, or nothing.
const ReportRow* findReportRow(const ReportList& list, const QString& reportId);

} // namespace telva
