// A receipt's inner layer: the signed-data as it comes out of the envelope.
#include "crypto/receipt_cms.h"
#include "fixed_pki.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray plain(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)telva::crypto::OpenSignedReceipt(plain, fundStores(), fixedCertValidAt());
    return 0;
}
