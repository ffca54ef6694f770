#pragma once

#include "app/result.h"
#include "crypto/cert_store.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <functional>

namespace telva {
class Frontend;
}

namespace telva::crypto {

// The code (Error::code) of a receipt that did not open, by the stage that failed; each has
// its own status text.
// Not an enveloped-data, or no local certificate with a key among its recipients.
inline constexpr quint32 kReceiptNotDecrypted = 0x52430001;
// The person's own key could not be opened (no password given, an unreadable key file): the
// receipt itself was not judged.
inline constexpr quint32 kReceiptKeyNotOpened = 0x52430002;
// Not a signed message, no signer information, or no certificate of the fund installed for
// the signer.
inline constexpr quint32 kReceiptSignerNotFound = 0x52430003;
// The signature of the first signer does not verify.
inline constexpr quint32 kReceiptNotVerified = 0x52430004;

// The signed content of a receipt, held in the storage it was decrypted into, or handed to
// a sink as it was decrypted (then storage and bytes are empty).
struct ReceiptContent {
    QByteArray storage;
    QByteArrayView bytes;
    QString signer; // the verified signer's name, and organisation when known
    Certificate signerCert;
    bool streamed = false;
};

// Takes the content of a receipt piece by piece; false when it cannot.
using ReceiptSink = std::function<bool(const char* data, qint64 size)>;

// Opens a receipt: an enveloped-data (DER) around a signed-data with its content attached.
// Decrypts with the private key held for a certificate of the stores that is among the
// recipients, then takes the first signer's certificate from the stores (by issuer and
// serial number, or key identifier): only a certificate of the fund counts, one that chains
// to a root of "Root", was valid when the receipt was signed and may sign, never the user's
// own. That signer's signature is verified with that certificate alone: certificates
// carried in the message are ignored. The signing time is the one among the signer's
// signed attributes; receivedAt stands in for it when there is none. Signers with and
// without signed attributes verify alike. The content is hashed on a second thread while
// it is being decrypted.
// Gives the signed content; a failure gives its reason, readable (Russian where the program
// knows it), with the code of the stage that failed.
Result<ReceiptContent> OpenReceiptMessage(QByteArray message, const CertCollection& stores,
                                          const QDateTime& receivedAt, Frontend* frontend);

// The same for the receipt file open at fd, read from disk in one pass: the content is
// decrypted, hashed and handed to the sink as it goes, through a window of fixed size, so
// memory stays bounded whatever the receipt's size. The content counts only when the
// signature then verifies. A message laid out unusually is opened in memory as above (when
// it is no bigger than kLargeFileLimit) and its content comes back instead.
Result<ReceiptContent> OpenReceiptFile(int fd, const CertCollection& stores,
                                       const QDateTime& receivedAt, Frontend* frontend,
                                       const ReceiptSink& sink);

// The inner layer alone: verifies a decrypted receipt (a signed-data, DER or BER) as
// OpenReceiptMessage does after decrypting, and gives its content.
Result<ReceiptContent> OpenSignedReceipt(const QByteArray& signedData, const CertCollection& stores,
                                         const QDateTime& receivedAt);

} // namespace telva::crypto
