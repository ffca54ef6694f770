#pragma once

#include <QString>

namespace telva::crypto {

// True when the file holds one whole CMS message (a ContentInfo in BER or DER) and nothing
// after it: every frame's length fits and every open frame is closed. An empty file, a web
// page or a message cut off in transfer is not one. Only frame headers are read, through a
// mapping of the file, so a large receipt costs no memory.
bool isWholeCmsMessage(const QString& path);

} // namespace telva::crypto
