#pragma once

#include <QString>
#include <QStringList>

namespace telva {

// "major.minor.release.build" of this program.
QString ProgramVersion();
// The window caption: design caption, version in parentheses, test-mode mark.
QString windowCaption(bool testMode);
// The fixed user agent of every request.
inline constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; KVB TELVA 1.0.1.21)";
// The program's title, used as the caption of its own message boxes.
QString programTitle();

// What argument 1 of the command line asks for.
struct CommandLine {
    bool testMode = false;
    QString receiptFile; // non-empty: check this receipt at start
};
// Only argument 1 counts (arguments excludes the program name).
CommandLine parseCommandLine(const QStringList& arguments, const QString& kvitExt);

} // namespace telva
