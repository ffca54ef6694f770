#include "crypto/cert_rows.h"

#include "crypto/cert_store.h"

namespace telva::crypto {

namespace {

const QString kRegNumberOid = QStringLiteral("1.2.643.3.141.1.1");
const QString kRegCodeOid = QStringLiteral("1.2.643.3.141.1.2");

} // namespace

bool IsKvbCompliant(const Certificate& cert) {
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::Oid);
    if (subject.isEmpty())
        return false;
    return !GetRdnValue(subject, kRegNumberOid).isEmpty() &&
           !GetRdnValue(subject, kRegCodeOid).isEmpty();
}

QString registrationNumberOf(const Certificate& cert) {
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::Oid);
    return subject.isEmpty() ? QString() : GetRdnValue(subject, kRegNumberOid);
}

CertListing ListCertificates(int storeIndex, bool gostOnly, bool kvbOnly) {
    CertListing listing;
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store)
        return listing;
    for (const Certificate& cert : store->certificates()) {
        if (gostOnly && !cert.isGost())
            continue;
        if (kvbOnly && !IsKvbCompliant(cert))
            continue;
        listing.certs.append(cert);
        listing.rows.append(certRow(cert));
    }
    return listing;
}

} // namespace telva::crypto
