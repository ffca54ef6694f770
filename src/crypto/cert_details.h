#pragma once

#include "crypto/certificate.h"

#include <QList>
#include <QString>
#include <utility>

namespace telva::crypto {

// What the certificate viewer shows, as (field, value) pairs in display order: version,
// serial number, subject, issuer, validity (UTC), signature and public-key algorithms, the
// GOST key's name ("ГОСТ Р 34.10-2012 (256)"), key usage, extended key usage, SHA-1 and
// SHA-256 fingerprints.
QList<std::pair<QString, QString>> DescribeCertificate(const Certificate& cert);

} // namespace telva::crypto
