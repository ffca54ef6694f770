#pragma once

// Who signed a receipt, for the receipt reader: OpenSSL types, so only src/crypto includes it.

#include "crypto/cert_store.h"
#include "crypto/ossl.h"
#include "crypto/receipt_cms.h"

#include <QDateTime>
#include <QString>
#include <variant>

namespace telva::crypto {

// The stage of opening a receipt message that failed; each has its own status text.
enum class ReceiptStage {
    Decrypt,    // not an enveloped-data, or no local certificate with a key among its recipients
    FindSigner, // not a signed message, no signer information, or no certificate of the fund
                // installed for the signer
    Verify,     // the signature of the first signer does not verify
};

struct ReceiptFailure {
    ReceiptStage stage;
    QString reason; // readable; Russian where the program knows the failure
    // The person's own key could not be opened (no password given, an unreadable key file):
    // the receipt itself was not judged.
    bool keyNotOpened = false;
};

// The fund's certificate for the first signer of a receipt. Of the certificates installed
// for it (by issuer and serial number, or key identifier) the first one wins that chains to
// a root of "Root", was valid when the receipt was signed (its signing time, else
// receivedAt) and may sign, so a look-alike in another store never hides the fund's own.
// The user's own certificates (the personal store, or any with a private key here) never
// speak for the fund. A refusal (stage FindSigner) names who signed and the most telling
// reason why that is not the fund.
std::variant<Certificate, ReceiptFailure> FundSigner(CMS_ContentInfo* cms, CMS_SignerInfo* signer,
                                                     const CertCollection& stores,
                                                     const QDateTime& receivedAt);

} // namespace telva::crypto
