#include "crypto/fund_trust.h"

#include "crypto/cert_format.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/ossl.h"

#include <openssl/x509v3.h>

namespace telva::crypto {

namespace {

struct StoreDeleter {
    void operator()(X509_STORE* p) const { X509_STORE_free(p); }
    void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
    void operator()(STACK_OF(X509) * p) const { sk_X509_free(p); }
};

bool keyUsageAllows(X509* cert, FundKeyUse use) {
    const uint32_t usage = X509_get_key_usage(cert);
    if (usage == UINT32_MAX)
        return true;
    const uint32_t wanted = use == FundKeyUse::Signing ? KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION
                                                       : KU_KEY_AGREEMENT | KU_KEY_ENCIPHERMENT;
    return (usage & wanted) != 0;
}

// Where the fund's root is kept, as the person knows the store.
QString fundRootStoreText() {
    return QString::fromUtf8(kStores[toIndex(Store::Root)].caption);
}

FundTrust refused(TrustProblem problem, const QString& why) {
    return FundTrust{problem, why};
}

FundTrust notChained(const QString& detail = {}) {
    QString why = QStringLiteral("сертификат не выдан корневым сертификатом КВБ, установленным в "
                                 "хранилище \"%1\"")
                      .arg(fundRootStoreText());
    if (!detail.isEmpty())
        why += QStringLiteral(": ") + detail;
    return refused(TrustProblem::NotChained, why);
}

} // namespace

FundTrust CheckFundCertificate(const Certificate& cert, const QList<Certificate>& roots,
                               const QList<Certificate>& untrusted, const QDateTime& at,
                               FundKeyUse use, const QString& momentText) {
    if (cert.isNull())
        return notChained();
    if (const Status engine = ensureGostEngine(); !engine)
        return notChained(engine.text());

    std::unique_ptr<X509_STORE, StoreDeleter> anchors(X509_STORE_new());
    std::unique_ptr<STACK_OF(X509), StoreDeleter> chain(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, StoreDeleter> ctx(X509_STORE_CTX_new());
    if (!anchors || !chain || !ctx)
        return notChained(takeOpenSslError());
    for (const Certificate& root : roots)
        X509_STORE_add_cert(anchors.get(), x509Of(root));
    for (const Certificate& other : untrusted)
        sk_X509_push(chain.get(), x509Of(other));
    if (X509_STORE_CTX_init(ctx.get(), anchors.get(), x509Of(cert), chain.get()) != 1)
        return notChained(takeOpenSslError());
    X509_STORE_CTX_set_time(ctx.get(), 0, time_t(at.toSecsSinceEpoch()));
    const bool chained = X509_verify_cert(ctx.get()) == 1;
    const int error = X509_STORE_CTX_get_error(ctx.get());
    const int depth = X509_STORE_CTX_get_error_depth(ctx.get());
    takeOpenSslError();
    if (!chained) {
        if (depth == 0 &&
            (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID))
            return refused(TrustProblem::NotValidThen,
                           QStringLiteral("сертификат действует с %1 по %2 (UTC), а не на %3")
                               .arg(validityText(cert.notBefore()), validityText(cert.notAfter()),
                                    momentText));
        switch (error) {
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_SIGNATURE_FAILURE:
            return notChained();
        default:
            // Anything else (a root out of its dates, an issuer that is no CA) is rare
            // enough to be named as OpenSSL names it.
            return notChained(QString::fromUtf8(X509_verify_cert_error_string(error)));
        }
    }
    if (!keyUsageAllows(x509Of(cert), use))
        return refused(TrustProblem::KeyUsage,
                       use == FundKeyUse::Signing
                           ? QStringLiteral("использование ключа сертификата не допускает подпись")
                           : QStringLiteral("использование ключа сертификата не допускает "
                                            "шифрование для него (нет согласования и "
                                            "шифрования ключей)"));
    return {};
}

} // namespace telva::crypto
