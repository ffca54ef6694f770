// The ZIP entry reader on archive bytes, as a receipt's content is read.
#include "archive/zip_reader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView archive(data, qsizetype(size));
    (void)telva::ExtractEntryFromBuffer(archive, QStringLiteral("receipt.htm"));
    return 0;
}
