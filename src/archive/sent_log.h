#pragma once

#include <QDateTime>
#include <QString>

namespace telva {

// The user's record of every identifier the gateway gave: "$XDG_STATE_HOME/KVB/TELVA/
// sent-reports.log", one line per sent report (date, identifier, sent file), only ever
// appended to. It outlives an archive that cannot be written.
QString sentLogPath();

// Appends the line; the log's path when it was written, empty otherwise.
QString AppendSentLog(const QDateTime& time, const QString& reportId, const QString& sentFile);

} // namespace telva
