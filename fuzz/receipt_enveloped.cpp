// A whole receipt: the enveloped-data, decrypted with the fixed key, and the signed-data in it.
#include "crypto/receipt_cms.h"
#include "fixed_pki.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)telva::crypto::OpenReceiptMessage(message, fixedStores(), QDateTime::currentDateTimeUtc(),
                                            nullptr);
    return 0;
}
