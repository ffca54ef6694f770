#pragma once

#include "app/result.h"
#include "crypto/certificate.h"
#include "crypto/ossl.h"

#include <QByteArray>

namespace telva::crypto {

// Decrypts an enveloped-data (DER) with the private key of one recipient certificate and
// gives its content. Fails with a plain text: not a CMS message, not an encrypted message,
// key-agreement recipients only (the GOST engine does key transport alone), the
// certificate not among the recipients, or a key that does not open it.
Result<QByteArray> DecryptMessage(const QByteArray& message, const Certificate& recipient,
                                  EVP_PKEY* key);

// Verifies the first signer of a signed-data (DER or BER, content attached) with the given
// certificate only (certificates inside the message are ignored; no chain or validity
// check) and gives the signed content.
Result<QByteArray> VerifyAttachedSignature(const QByteArray& message, const Certificate& signer);

} // namespace telva::crypto
