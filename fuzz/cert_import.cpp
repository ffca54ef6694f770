// Certificate and key import: the first byte picks the reader, the rest is the file.
#include "crypto/cert_import.h"
#include "crypto/cert_details.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"
#include "fixed_pki.h"

#include <QDir>
#include <cstdint>

using namespace telva::crypto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString profile = fuzzProfile();
    if (size == 0 || !ensureGostEngine())
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        if (const telva::Result<Certificate> cert = Certificate::fromAnyEncoding(bytes)) {
            (void)DescribeCertificate(*cert);
            (void)cert->renderName(WhichName::Subject, NameStyle::X500);
            (void)cert->renderName(WhichName::Issuer, NameStyle::Oid);
        }
        break;
    case 1:
        (void)ReadPrivateKey(bytes, nullptr);
        break;
    default:
        if (looksLikePkcs12(bytes)) {
            (void)ImportPkcs12(0, bytes, nullptr);
            // Each input starts from empty stores.
            QDir(profile + QStringLiteral("/.local/share")).removeRecursively();
        }
        break;
    }
    return 0;
}
