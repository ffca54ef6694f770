#pragma once

#include "app/result.h"
#include "archive/report_list.h"

namespace telva {

struct AppContext;

// Moves the row's report folder to the desktop's trash; where there is no trash, deletes its
// files and removes it. Succeeds when the folder is gone (the caller then rebuilds the list),
// with the text saying where it went. A folder that cannot be removed fails with "Не удалось
// удалить отчет."; files already deleted stay deleted. A row without an identifier deletes
// nothing and fails with no text: the archive folder itself is never touched.
Result<QString> DeleteReport(AppContext& ctx, const ReportRow& row);

// Opens the row's source file with the desktop's program for it; "Файл не найден." in a
// message box when that fails. True when it was opened.
bool ShowSourceFile(AppContext& ctx, const ReportRow& row);

// The stem of a report's own files: report folder + "/" + its folder name.
QString reportFileStem(const AppContext& ctx, const QString& reportId);

// Whether the accepted report can be shown: the receipt archive or the view exists.
bool CanShowAcceptedReport(const AppContext& ctx, const ReportRow& row);

// Opens the row's accepted-report view (identifier + ".xml"), building it from the receipt
// archive first when it is missing; an existing view is never rebuilt. A view that cannot be
// built has shown why and fails with that text; one that cannot be opened gives "Файл не
// найден." in a message box and fails with no text.
Status ShowAcceptedReport(AppContext& ctx, const ReportRow& row);

} // namespace telva
