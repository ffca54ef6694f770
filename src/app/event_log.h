#pragma once

#include <QString>
#include <functional>

namespace telva {

// The program's journal, shared by the window and the terminal program: every status text,
// gateway request, receipt check and error, one time-stamped line each, so that what went
// wrong can be told afterwards. Secrets never reach it: callers pass no passwords or keys,
// and credentials written into an address ("user:password@") are cut out of every line.

// State home + "/KVB/TELVA/telva.log"; empty when there is no state home.
QString logFilePath();

// Past this size the journal moves to telva.log.1 (replacing an older one) and starts anew.
inline constexpr qint64 kLogRotateBytes = qint64(4) << 20;

// Appends "yyyy-MM-dd HH:mm:ss.zzz text" to the journal and hands the line to the echo.
// Empty texts are not written. A journal that cannot be written costs nothing else.
void logEvent(const QString& text);

// Where each line goes besides the file (telva-cli -v: standard error); none when empty.
void setLogEcho(std::function<void(const QString&)> echo);

// The text with "user:password@" of any address replaced by "***@".
QString withoutCredentials(const QString& text);

// Appends one line to the file at path, moving it to path + ".1" first when the line would
// take it past maxBytes.
void appendLogLine(const QString& path, const QString& line, qint64 maxBytes);

} // namespace telva
