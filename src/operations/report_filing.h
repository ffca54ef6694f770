#pragma once

#include "archive/send_journal.h"

#include <QString>

namespace telva {

struct AppContext;

// Files a sent report in its folder of the archive: the identifier file of a shortened folder
// name, copies of the source and of the encrypted file (each only when its bytes are still the
// ones that were sent), and last the sender's note, whose creation time is the sending date.
// Completing a folder that a killed or failed filing left behind keeps the copies and the note
// already there and copies what is missing; false when the folder or a copy cannot be written.
bool fileReport(const AppContext& ctx, const QString& reportId, const SendIntent& send,
                bool completing);

} // namespace telva
