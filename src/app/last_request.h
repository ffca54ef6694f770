#pragma once

#include <QDateTime>
#include <QString>

namespace telva {

// The time of the last gateway request, kept in a small file so that every run of the window
// and the terminal program spaces its requests after the others'. An empty path, a missing
// or unreadable file read as no time; writing is best effort, as the spacing is a courtesy.
QDateTime readLastRequestTime(const QString& path);
void writeLastRequestTime(const QString& path, const QDateTime& time);

} // namespace telva
