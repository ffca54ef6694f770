#pragma once

// The OpenSSL side of the crypto module: owning handles, a certificate's X509 and the
// engine. Only src/crypto includes it; the module's other headers name no OpenSSL type.

#include "crypto/certificate.h"

#include <QByteArray>
#include <memory>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace telva::crypto {

struct OsslDeleter {
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(BIO* p) const { BIO_free_all(p); }
    void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(PKCS8_PRIV_KEY_INFO* p) const { PKCS8_PRIV_KEY_INFO_free(p); }
};

using X509Ptr = std::unique_ptr<X509, OsslDeleter>;
using PKeyPtr = std::unique_ptr<EVP_PKEY, OsslDeleter>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OsslDeleter>;
using BioPtr = std::unique_ptr<BIO, OsslDeleter>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OsslDeleter>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OsslDeleter>;
using P8InfoPtr = std::unique_ptr<PKCS8_PRIV_KEY_INFO, OsslDeleter>;

// A read-only memory BIO over bytes that outlive it.
inline BioPtr memBio(const QByteArray& bytes) {
    return BioPtr(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

// Everything written into a memory BIO.
inline QByteArray bioBytes(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, static_cast<qsizetype>(size)) : QByteArray();
}

struct CertificateX509 {
    // Takes ownership of cert (may be null).
    static Certificate wrap(X509* cert) {
        Certificate wrapped;
        if (cert)
            wrapped.cert_.reset(cert, X509_free);
        return wrapped;
    }
    static X509* get(const Certificate& cert) { return static_cast<X509*>(cert.cert_.get()); }
};

inline X509* x509Of(const Certificate& cert) {
    return CertificateX509::get(cert);
}
// Takes ownership of cert (may be null).
inline Certificate certificateOf(X509* cert) {
    return CertificateX509::wrap(cert);
}

// The initialised GOST engine, or null before ensureGostEngine() succeeded.
ENGINE* gostEngine();

} // namespace telva::crypto
