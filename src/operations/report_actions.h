#pragma once

#include "archive/report_list.h"

namespace telva {

struct AppContext;

// Moves the row's report folder to the desktop's trash; where there is no trash, deletes its
// files and removes it. True when the folder is gone (the caller then rebuilds the list);
// the status line says where it went. A folder that cannot be removed shows "Не удалось
// удалить отчет."; files already deleted stay deleted. A row without an identifier deletes
// nothing and shows nothing: the archive folder itself is never touched.
bool DeleteReport(AppContext& ctx, const ReportRow& row);

// Opens the row's source file with the desktop's program for it; "Файл не найден." in a
// message box when that fails. True when it was opened.
bool ShowSourceFile(AppContext& ctx, const ReportRow& row);

// The stem of a report's own files: report folder + "/" + its folder name.
QString reportFileStem(const AppContext& ctx, const QString& reportId);

// Whether the accepted report can be shown: the receipt archive or the view exists.
bool CanShowAcceptedReport(const AppContext& ctx, const ReportRow& row);

// Opens the row's accepted-report view (identifier + ".xml"), building it from the receipt
// archive first when it is missing; an existing view is never rebuilt. A view that cannot be
// built has shown why; one that cannot be opened gives "Файл не найден.". True when opened.
bool ShowAcceptedReport(AppContext& ctx, const ReportRow& row);

} // namespace telva
