#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace telva {

// The archive folder below the archive base folder, with its trailing "/".
QString archiveFolder(const QString& archiveBaseFolder);
// The name of a report's folder, which is also the stem of the report's own files: the
// identifier itself when those names fit a file name; otherwise the identifier cut short, "~"
// and 16 hex digits of its SHA-256, so that the name stays unique. Such a folder keeps the
// whole identifier in reportIdFileName().
QString reportFolderName(const QString& reportId);
// "<folder name>.id": the UTF-8 identifier of a folder whose name is shortened.
QString reportIdFileName(const QString& folderName);
// Whether the text read from a folder's identifier file is the identifier of that folder;
// nothing else may give a row or a receipt another identifier.
bool isIdentifierOf(const QString& reportId, const QString& folderName);
// The identifier a report file's name stands for: its name without the extension, or the
// whole identifier when that name is a shortened one with its identifier file beside it.
QString reportIdOfFile(const QString& path);
// The folder of one sent report: the archive folder + the report's folder name.
QString reportFolder(const QString& archiveBaseFolder, const QString& reportId);

// True when the identifier names one folder directly inside the archive and nothing
// else: not empty, not ".", no "/" or "\", no "..", no control character, at most 128
// characters.
bool isPlainReportId(const QString& reportId);

// The sending date as the list shows it: "DD-MM-YYYY hh:mm" in local time.
QString formatSendDate(const QDateTime& time);
// The same for seconds since the epoch; the time zone is the one tzset() last read.
QString formatSendDate(qint64 secondsSinceEpoch);
// A key that orders the list's date texts as dates; a text that is no date comes first.
qint64 sendDateSortKey(const QString& text);

} // namespace telva
