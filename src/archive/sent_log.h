#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace telva {

// The user's record of every identifier the gateway gave: "$XDG_STATE_HOME/KVB/TELVA/
// sent-reports.log", one line per sent report, only ever appended to. It outlives an archive
// that cannot be written, and the index of sent files is rebuilt from it.
QString sentLogPath();

// One line: date, identifier ("???" when the answer's could not be read), sent file, and then
// the work mode, the SHA-256 of the encrypted and the source file, the send's journal token and,
// for an unreadable identifier, the gateway's answer (bounded, with no control character).
struct SentLogEntry {
    QDateTime time;
    QString reportId;
    QString sentFile;
    QString mode;
    QByteArray outputHash;
    QByteArray inputHash;
    QByteArray token;
    QString answer;
};

// Appends the line and syncs it to disk; the log's path when it was written, empty otherwise.
QString AppendSentLog(const SentLogEntry& entry);

// The lines that carry a mode and hashes (older lines have neither), the date as written.
struct SentLogLine {
    QString sendDate;
    QString reportId;
    QString mode;
    QByteArray outputHash;
    QByteArray inputHash;
    QByteArray token;
};
std::vector<SentLogLine> readSentLog();

// An answer as the log and the journal keep it: its first 4 KB, as Latin-1 text, with control
// characters (tabs and line breaks too) shown as spaces.
QString keptAnswer(const QByteArray& page);

} // namespace telva
