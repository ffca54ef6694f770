#include "crypto/receipt_signer.h"

#include "crypto/cert_format.h"
#include "crypto/fund_trust.h"
#include "crypto/key_files.h"

#include <QTimeZone>
#include <optional>

namespace telva::crypto {

namespace {

// The signing time the signer put among its signed attributes; nothing when there is none.
std::optional<QDateTime> signingTime(CMS_SignerInfo* signer) {
    const int at = CMS_signed_get_attr_by_NID(signer, NID_pkcs9_signingTime, -1);
    const ASN1_TYPE* value =
        at < 0 ? nullptr : X509_ATTRIBUTE_get0_type(CMS_signed_get_attr(signer, at), 0);
    struct tm utc {};
    if (!value || (value->type != V_ASN1_UTCTIME && value->type != V_ASN1_GENERALIZEDTIME) ||
        ASN1_TIME_to_tm(value->value.utctime, &utc) != 1)
        return std::nullopt;
    return QDateTime(QDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday),
                     QTime(utc.tm_hour, utc.tm_min, utc.tm_sec), QTimeZone::utc());
}

ReceiptFailure notTheFund(const Certificate& cert, const QString& why) {
    return ReceiptFailure{
        ReceiptStage::FindSigner,
        QStringLiteral("квитанцию подписал \"%1\": %2").arg(ownerName(cert), why)};
}

// The signer's certificate carried in the message, only to name who signed.
Certificate carriedSignerCertificate(CMS_ContentInfo* cms, CMS_SignerInfo* signer) {
    STACK_OF(X509)* carried = CMS_get1_certs(cms);
    Certificate found;
    for (int i = 0; i < sk_X509_num(carried) && found.isNull(); ++i) {
        X509* cert = sk_X509_value(carried, i);
        if (CMS_SignerInfo_cert_cmp(signer, cert) == 0 && X509_up_ref(cert) == 1)
            found = certificateOf(cert);
    }
    sk_X509_pop_free(carried, X509_free);
    return found;
}

} // namespace

std::variant<Certificate, ReceiptFailure> FundSigner(CMS_ContentInfo* cms, CMS_SignerInfo* signer,
                                                     const CertCollection& stores,
                                                     const QDateTime& receivedAt) {
    const QList<std::pair<Certificate, int>> local = stores.certificatesWithStore();
    QList<Certificate> roots;
    QList<Certificate> untrusted;
    for (const auto& [cert, store] : local) {
        if (store == toIndex(Store::Root))
            roots.append(cert);
        else if (store != toIndex(Store::My))
            untrusted.append(cert);
    }
    const std::optional<QDateTime> signedAt = signingTime(signer);
    const QDateTime at = signedAt.value_or(receivedAt);
    const QString moment =
        (signedAt ? QStringLiteral("время подписи ") : QStringLiteral("время получения ")) +
        validityText(at) + QStringLiteral(" (UTC)");

    Certificate own;
    std::optional<std::pair<Certificate, FundTrust>> refusal;
    for (const auto& [cert, store] : local) {
        if (CMS_SignerInfo_cert_cmp(signer, x509Of(cert)) != 0)
            continue;
        if (store == toIndex(Store::My) || HasPrivateKey(cert)) {
            own = cert;
            continue;
        }
        const FundTrust trust =
            CheckFundCertificate(cert, roots, untrusted, at, FundKeyUse::Signing, moment);
        if (trust.trusted())
            return cert;
        if (!refusal || trust.problem > refusal->second.problem)
            refusal.emplace(cert, trust);
    }
    if (refusal)
        return notTheFund(refusal->first, refusal->second.why);
    if (!own.isNull())
        return notTheFund(own,
                          QStringLiteral("это ваш собственный сертификат, а не сертификат КВБ"));
    if (const Certificate carried = carriedSignerCertificate(cms, signer); !carried.isNull())
        return ReceiptFailure{
            ReceiptStage::FindSigner,
            QStringLiteral("сертификат подписавшего \"%1\" не установлен").arg(ownerName(carried))};
    return ReceiptFailure{ReceiptStage::FindSigner,
                          QStringLiteral("сертификат подписавшего не установлен")};
}

} // namespace telva::crypto
