// The code page 1251 codec: every byte but the unassigned 0x98 survives a round trip.
#include "app/cp1251.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!bytes.contains('\x98') && telva::toCp1251(telva::fromCp1251(bytes)) != bytes)
        std::abort();
    (void)telva::utf8ToCp1251(bytes);
    (void)telva::toCp1251(QString::fromUtf8(bytes));
    return 0;
}
