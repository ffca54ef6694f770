#pragma once

#include "archive/send_journal.h"

#include <QString>

namespace telva {

struct AppContext;

// Files a sent report in its folder of the archive: the identifier file of a shortened folder
// name, copies of the source and of the encrypted file (each only when its bytes are still the
// ones that were sent; the encrypted one from sentFd, the descriptor it was sent from, when
// given), and last the sender's note, whose creation time is the sending date. False when the
// folder or a copy cannot be written. Completing a folder that a killed or failed filing left
// behind keeps the copies already there, copies what is still there to copy and writes a
// missing note; false only when the folder or the note cannot be written.
bool fileReport(const AppContext& ctx, const QString& reportId, const SendIntent& send,
                bool completing, int sentFd = -1);

// The file a name the person chose stands for: links are followed there (their target is
// what is sent, hashed and filed), unlike names inside the archive.
QString chosenFile(const QString& path);

} // namespace telva
