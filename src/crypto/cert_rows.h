#pragma once

#include "crypto/cert_format.h"
#include "crypto/certificate.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace telva::crypto {

// Carries both registration attributes of the fund in its subject.
bool IsKvbCompliant(const Certificate& cert);
// The fund's registration number (1.2.643.3.141.1.1) of the subject, or empty.
QString registrationNumberOf(const Certificate& cert);

struct CertListing {
    QList<Certificate> certs;
    QList<QStringList> rows; // one per certificate (certRow), same order
};
// The certificates of the store that pass the filters, in the store's order; empty when
// the store cannot be opened.
CertListing ListCertificates(int storeIndex, bool gostOnly, bool kvbOnly);

} // namespace telva::crypto
