#include "crypto/cert_identity.h"
#include <algorithm>

namespace telva::crypto {

namespace {

QString issuerFromRendering(const QString& rendered) {
    QString text = GetRdnValue(rendered, QStringLiteral("CN"));
    if (text.isEmpty())
        text = GetRdnValue(rendered, QStringLiteral("OU"));
    if (text.isEmpty())
        text = GetRdnValue(rendered, QStringLiteral("O"));
    return text;
}

} // namespace

std::optional<Certificate> FindCertByIdentity(const QList<Certificate>& certs,
                                              const QString& issuerText,
                                              const QString& serialText) {
    if (issuerText.isEmpty())
        return std::nullopt;
    const QByteArray blob = HexToSerial(serialText);
    for (const Certificate& cert : certs) {
        if (!cert.renderName(WhichName::Issuer, NameStyle::X500).contains(issuerText))
            continue;
        QByteArray serial = cert.serialBytes();
        std::reverse(serial.begin(), serial.end());
        if (CompareIntegerBlob(serial, blob))
            return cert;
    }
    return std::nullopt;
}

std::optional<Certificate> FindCertByIdentity(const CertStore& store, const QString& issuerText,
                                              const QString& serialText) {
    return FindCertByIdentity(store.certificates(), issuerText, serialText);
}

std::optional<Certificate> FindCertByIdentity(const CertCollection& collection,
                                              const QString& issuerText,
                                              const QString& serialText) {
    return FindCertByIdentity(collection.certificates(), issuerText, serialText);
}

void IdentityFromCert(const Certificate& cert, CertIdentity& identity) {
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::X500);
    if (!subject.isEmpty()) {
        identity.subject = GetRdnValue(subject, QStringLiteral("CN"));
        identity.org = GetRdnValue(subject, QStringLiteral("OU"));
        if (identity.org.isEmpty())
            identity.org = GetRdnValue(subject, QStringLiteral("O"));
    }
    const QString issuer = cert.renderName(WhichName::Issuer, NameStyle::X500);
    if (!issuer.isEmpty())
        identity.issuer = issuerFromRendering(issuer);
    if (const std::optional<QString> serial = cert.serialHex())
        identity.sernum = *serial;
}

QString issuerTextOf(const Certificate& cert) {
    return issuerFromRendering(cert.renderName(WhichName::Issuer, NameStyle::X500));
}

} // namespace telva::crypto
