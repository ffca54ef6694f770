#pragma once

#include "app/settings.h"
#include "crypto/cert_format.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"

#include <QList>
#include <optional>

namespace telva::crypto {

// The first certificate, in the given order, whose X.500 issuer rendering contains the
// issuer text (case-sensitive substring; an empty text matches nothing) and whose serial
// equals the serial text as an integer (HexToSerial + CompareIntegerBlob).
std::optional<Certificate> FindCertByIdentity(const QList<Certificate>& certs,
                                              const QString& issuerText, const QString& serialText);
std::optional<Certificate> FindCertByIdentity(const CertStore& store, const QString& issuerText,
                                              const QString& serialText);
std::optional<Certificate> FindCertByIdentity(const CertCollection& collection,
                                              const QString& issuerText, const QString& serialText);

// Fills subject (CN), org (OU, else O), issuer (issuer's CN, else OU, else O) and sernum
// from the certificate; a field whose source is empty keeps its value; store is untouched.
void IdentityFromCert(const Certificate& cert, CertIdentity& identity);

// The issuer text of a certificate: the issuer's CN, else its OU, else its O.
QString issuerTextOf(const Certificate& cert);

} // namespace telva::crypto
