#pragma once

#include "app/result.h"

#include <QByteArray>

namespace telva {

class Frontend;

// An entry of a receipt's archive as the actions read it: an entry of a compression method
// the reader does not know shows the box "Unknown Compression Method" (caption "Zip
// Error") and then reads as empty bytes; every other outcome passes unchanged.
Result<QByteArray> ReadZipEntry(Result<QByteArray> extracted, Frontend& frontend);

} // namespace telva
