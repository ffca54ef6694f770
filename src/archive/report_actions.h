#pragma once

#include "archive/report_list.h"

namespace telva {

struct AppContext;

// Deletes the files of the row's report and removes its folder; true when the folder is
// gone (the caller then rebuilds the list). A folder that cannot be removed shows "Не
// удалось удалить отчет."; files already deleted stay deleted. A row without an
// identifier deletes nothing and shows nothing: the archive folder itself is never touched.
bool DeleteReport(AppContext& ctx, const ReportRow& row);

// Opens the row's source file with the desktop's program for it; "Файл не найден." in a
// message box when that fails.
void ShowSourceFile(AppContext& ctx, const ReportRow& row);

// The stem of a report's own files: report folder + "/" + identifier.
QString reportFileStem(const AppContext& ctx, const QString& reportId);

// Whether the accepted report can be shown: the receipt archive or the view exists.
bool CanShowAcceptedReport(const AppContext& ctx, const ReportRow& row);

} // namespace telva
