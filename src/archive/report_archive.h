#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace telva {

// The archive folder below the archive base folder, with its trailing "/".
QString archiveFolder(const QString& archiveBaseFolder);
// The folder of one sent report: the archive folder + the report identifier.
QString reportFolder(const QString& archiveBaseFolder, const QString& reportId);

// True when the identifier names one folder directly inside the archive and nothing
// else: not empty, not ".", no "/" or "\", no "..", no control character, at most 128
// characters.
bool isPlainReportId(const QString& reportId);

// When the file came into being: its birth time where the file system keeps one, its
// modification time otherwise; nothing when the file cannot be examined.
std::optional<QDateTime> fileCreationTime(const QString& path);
// The same for the entry name of an open folder.
std::optional<QDateTime> fileCreationTimeAt(int dirFd, const char* name);
// The sending date as the list shows it: "DD-MM-YYYY hh:mm" in local time.
QString formatSendDate(const QDateTime& time);

// Creates the file anew (replacing an existing one) and writes the bytes.
[[nodiscard]] Status writeWholeFile(const QString& path, const QByteArray& bytes);

} // namespace telva
