#include "crypto/tls_trust.h"

#include "app/event_log.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/ossl.h"

#include <QDir>
#include <mutex>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace telva::crypto {

void prepareTls() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (const Status engine = ensureGostEngine(); !engine)
            logEvent(QStringLiteral("TLS без ГОСТ: ") + engine.text());
    });
}

namespace {

void addProgramRoots(SSL_CTX* ctx) {
    // A profile without the store has nothing to add; the folder is not made for a request.
    if (!QDir(certStoreRoot() + QLatin1Char('/') + storeName(toIndex(Store::Root))).exists())
        return;
    const Result<CertStore> root = CertStore::open(toIndex(Store::Root));
    if (!root)
        return;
    X509_STORE* trust = SSL_CTX_get_cert_store(ctx);
    // A certificate the system store holds already is refused as a duplicate; harmless.
    for (const Certificate& cert : root->certificates())
        X509_STORE_add_cert(trust, x509Of(cert));
}

} // namespace

void prepareServerCheck(void* sslContext, const QByteArray& host) {
    SSL_CTX* ctx = static_cast<SSL_CTX*>(sslContext);
    addProgramRoots(ctx);
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
    if (!host.isEmpty() && X509_VERIFY_PARAM_set1_ip_asc(param, host.constData()) != 1)
        X509_VERIFY_PARAM_set1_host(param, host.constData(), size_t(host.size()));
    ERR_clear_error();
}

QString serverCertificateProblem(long verifyResult) {
    switch (verifyResult) {
    case X509_V_OK:
        return {};
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("срок действия сертификата сервера истек");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("срок действия сертификата сервера еще не начался");
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("сертификат сервера отозван");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return QStringLiteral("сертификат сервера выдан недоверенным центром сертификации");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return {};
    default:
        return QStringLiteral("сертификат сервера не прошел проверку (%1)")
            .arg(verifyResultDetail(verifyResult));
    }
}

QString verifyResultDetail(long verifyResult) {
    return QString::fromUtf8(X509_verify_cert_error_string(verifyResult));
}

} // namespace telva::crypto
