#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace telva {

// The archive folder below the archive base folder, with its trailing "/".
QString archiveFolder(const QString& archiveBaseFolder);
// The folder of one sent report: the archive folder + the report identifier.
QString reportFolder(const QString& archiveBaseFolder, const QString& reportId);

// True when the identifier names one folder directly inside the archive and nothing
// else: not empty, not ".", no "/" or "\", no "..", no control character, at most 128
// characters.
bool isPlainReportId(const QString& reportId);

// The sending date as the list shows it: "DD-MM-YYYY hh:mm" in local time.
QString formatSendDate(const QDateTime& time);
// The same for seconds since the epoch; the time zone is the one tzset() last read.
QString formatSendDate(qint64 secondsSinceEpoch);

// Creates the file anew, private to the user, and writes the bytes. An existing file or link
// of that name is replaced, never written through; a failed write changes nothing.
[[nodiscard]] Status writeWholeFile(const QString& path, const QByteArray& bytes);

} // namespace telva
