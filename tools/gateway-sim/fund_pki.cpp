#include "fund_pki.h"

#include "crypto/key_digest.h"

#include <openssl/bn.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

namespace sim {

namespace {

constexpr long kDay = 24L * 60 * 60;

PkeyPtr generateRsaKey(std::string& error) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) <= 0 ||
        EVP_PKEY_keygen(ctx.get(), &key) <= 0) {
        error = "cannot generate an RSA key: " + opensslError();
        return nullptr;
    }
    return PkeyPtr(key);
}

PkeyPtr generateGostKey(bool gost2012, std::string& error) {
    PkeyCtxPtr ctx(
        EVP_PKEY_CTX_new_id(gost2012 ? NID_id_GostR3410_2012_256 : NID_id_GostR3410_2001, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") <= 0 ||
        EVP_PKEY_keygen(ctx.get(), &key) <= 0) {
        error = "cannot generate a GOST key: " + opensslError();
        return nullptr;
    }
    return PkeyPtr(key);
}

bool addEntry(X509_NAME* name, const char* field, const std::string& value) {
    if (value.empty())
        return true;
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1,
                                      0) == 1;
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

struct CertSpec {
    EVP_PKEY* subjectKey;
    X509_NAME* subject;
    X509* issuerCert; // null: self-signed
    EVP_PKEY* issuerKey;
    long days;
    bool ca;
    const char* keyUsage;
    const char* altNames = nullptr; // subjectAltName of a server certificate
};

X509Ptr makeCertificate(const CertSpec& request, std::string& error) {
    X509Ptr cert(X509_new());
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), request.days * kDay);
    X509_set_subject_name(cert.get(), request.subject);
    X509_set_issuer_name(cert.get(), request.issuerCert ? X509_get_subject_name(request.issuerCert)
                                                        : request.subject);
    X509_set_pubkey(cert.get(), request.subjectKey);
    X509* issuer = request.issuerCert ? request.issuerCert : cert.get();
    bool ok = addExtension(cert.get(), issuer, NID_basic_constraints,
                           request.ca ? "critical,CA:TRUE" : "CA:FALSE") &&
              addExtension(cert.get(), issuer, NID_key_usage, request.keyUsage) &&
              addExtension(cert.get(), issuer, NID_subject_key_identifier, "hash") &&
              addExtension(cert.get(), issuer, NID_authority_key_identifier, "keyid:always") &&
              (!request.altNames ||
               (addExtension(cert.get(), issuer, NID_subject_alt_name, request.altNames) &&
                addExtension(cert.get(), issuer, NID_ext_key_usage, "serverAuth")));
    const EVP_MD* md = EVP_PKEY_get_base_id(request.issuerKey) == EVP_PKEY_RSA
                           ? EVP_sha256()
                           : telva::crypto::DigestForKey(request.issuerKey);
    if (!ok || !md || X509_sign(cert.get(), request.issuerKey, md) <= 0) {
        error = "cannot make a GOST certificate: " + opensslError();
        return nullptr;
    }
    return cert;
}

std::string keyToPem(EVP_PKEY* key) {
    BioPtr bio = emptyBio();
    if (!PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr))
        return {};
    return bioBytes(bio.get());
}

PkeyPtr keyFromPem(const std::string& pem) {
    BioPtr bio = memoryBio(pem);
    return PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

bool loadParty(const std::string& base, PkeyPtr& key, X509Ptr& cert) {
    std::string pem, der;
    if (!readFile(base + ".key", pem) || !readFile(base + ".cer", der))
        return false;
    key = keyFromPem(pem);
    cert = certFromDer(der);
    return key && cert && X509_check_private_key(cert.get(), key.get()) == 1;
}

bool saveParty(const std::string& base, EVP_PKEY* key, X509* cert) {
    return writeFile(base + ".key", keyToPem(key), true) &&
           writeFile(base + ".cer", certToDer(cert));
}

} // namespace

bool FundPki::loadOrCreate(const std::string& dir, bool gost2012, std::string& error) {
    gost2012_ = gost2012;
    const std::string pkiDir = dir + (gost2012 ? "/pki2012" : "/pki");
    if (loadParty(pkiDir + "/root", rootKey_, rootCert_) &&
        loadParty(pkiDir + "/ap", apKey_, apCert_))
        return true;
    if (!makeDirs(pkiDir)) {
        error = "cannot create the folder " + pkiDir;
        return false;
    }
    rootKey_ = generateGostKey(gost2012, error);
    apKey_ = rootKey_ ? generateGostKey(gost2012, error) : nullptr;
    if (!apKey_)
        return false;

    X509_NAME* rootName = X509_NAME_new();
    addEntry(rootName, "C", "RU");
    addEntry(rootName, "O", "КВБ (демонстрация)");
    addEntry(rootName, "CN", "Демонстрационный УЦ КВБ");
    rootCert_ = makeCertificate(
        {rootKey_.get(), rootName, nullptr, rootKey_.get(), 20 * 365, true, "keyCertSign,cRLSign"},
        error);
    X509_NAME_free(rootName);
    if (!rootCert_)
        return false;

    X509_NAME* apName = X509_NAME_new();
    addEntry(apName, "C", "RU");
    addEntry(apName, "O", "КВБ (демонстрация)");
    addEntry(apName, "OU", "Шлюз приема отчетности");
    addEntry(apName, "CN", "Уполномоченное лицо КВБ (демо)");
    apCert_ = makeCertificate({apKey_.get(), apName, rootCert_.get(), rootKey_.get(), 10 * 365,
                               false, "digitalSignature,nonRepudiation,keyEncipherment"},
                              error);
    X509_NAME_free(apName);
    if (!apCert_)
        return false;

    if (!saveParty(pkiDir + "/root", rootKey_.get(), rootCert_.get()) ||
        !saveParty(pkiDir + "/ap", apKey_.get(), apCert_.get())) {
        error = "cannot write the demo fund's keys into " + pkiDir;
        return false;
    }
    return true;
}

bool FundPki::issueTlsServer(const std::string& stateDir, const std::string& host, bool rsa,
                             std::string& error) {
    // The site's certificates come from an authority of their own, as a real site's do: GOST
    // TLS takes GOST R 34.10-2012 keys and Streebog signatures whichever kind the fund's
    // report keys are (OpenSSL refuses GOST R 34.11-94 in a TLS chain).
    const std::string caBase = stateDir + (rsa ? "/tls/ca-rsa" : "/tls/ca-gost");
    PkeyPtr caKey;
    X509Ptr caCert;
    if (!loadParty(caBase, caKey, caCert)) {
        caKey = rsa ? generateRsaKey(error) : generateGostKey(true, error);
        if (!caKey)
            return false;
        X509_NAME* caName = X509_NAME_new();
        addEntry(caName, "C", "RU");
        addEntry(caName, "O", "КВБ (демонстрация)");
        addEntry(caName, "CN",
                 rsa ? "Демонстрационный УЦ сайтов КВБ (RSA)" : "Демонстрационный УЦ сайтов КВБ");
        caCert = makeCertificate(
            {caKey.get(), caName, nullptr, caKey.get(), 20 * 365, true, "keyCertSign,cRLSign"},
            error);
        X509_NAME_free(caName);
        if (!caCert)
            return false;
        if (!makeDirs(stateDir + "/tls") || !saveParty(caBase, caKey.get(), caCert.get())) {
            error = "cannot write the demo site authority into " + stateDir + "/tls";
            return false;
        }
    }
    tlsKey_ = rsa ? generateRsaKey(error) : generateGostKey(true, error);
    if (!tlsKey_)
        return false;
    X509_NAME* name = X509_NAME_new();
    addEntry(name, "C", "RU");
    addEntry(name, "O", "КВБ (демонстрация)");
    addEntry(name, "CN", host);
    const bool address = host.find_first_not_of("0123456789.") == std::string::npos;
    std::string altNames = "IP:127.0.0.1,DNS:localhost";
    if (host != "127.0.0.1" && host != "localhost")
        altNames += (address ? ",IP:" : ",DNS:") + host;
    tlsCert_ = makeCertificate(
        {tlsKey_.get(), name, caCert.get(), caKey.get(), 365, false,
         rsa ? "digitalSignature,keyEncipherment" : "digitalSignature,keyEncipherment,keyAgreement",
         altNames.c_str()},
        error);
    X509_NAME_free(name);
    return tlsCert_ != nullptr;
}

bool FundPki::issuePersonal(const PersonalSubject& subject, const std::string& outDir,
                            std::string& error) const {
    PkeyPtr key = generateGostKey(gost2012_, error);
    if (!key)
        return false;
    X509_NAME* name = X509_NAME_new();
    bool named = addEntry(name, "C", "RU") && addEntry(name, "O", subject.organization) &&
                 addEntry(name, "OU", subject.unit) && addEntry(name, "CN", subject.commonName) &&
                 addEntry(name, "1.2.643.3.141.1.1", subject.registrationNumber) &&
                 addEntry(name, "1.2.643.3.141.1.2", subject.registrationCode);
    X509Ptr cert;
    if (named) {
        cert = makeCertificate({key.get(), name, rootCert_.get(), rootKey_.get(), 3 * 365, false,
                                "digitalSignature,nonRepudiation,keyEncipherment"},
                               error);
    } else {
        error = "bad subject for the personal certificate: " + opensslError();
    }
    X509_NAME_free(name);
    if (!cert)
        return false;
    if (!makeDirs(outDir) || !writeFile(outDir + "/personal.key", keyToPem(key.get()), true) ||
        !writeFile(outDir + "/personal.cer", certToDer(cert.get())) ||
        !writeFile(outDir + "/personal.pem", certToPem(cert.get()))) {
        error = "cannot write the personal key and certificate into " + outDir;
        return false;
    }
    return true;
}

} // namespace sim
