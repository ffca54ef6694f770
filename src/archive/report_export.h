#pragma once

#include "app/result.h"

#include <QString>
#include <QStringList>

namespace telva {

// Writes the folders of these reports into one ZIP for an auditor: every regular file of
// each folder (source, encrypted file, receipts, their archives and PDFs) under the
// folder's name. Links are left out, as everywhere in the archive. The ZIP appears only
// when whole.
[[nodiscard]] Status exportReports(const QString& archiveBaseFolder, const QStringList& reportIds,
                                   const QString& zipPath);

} // namespace telva
