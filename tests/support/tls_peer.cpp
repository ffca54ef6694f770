#include "tls_peer.h"

#include "tinyproxy_fixture.h"

#include "crypto/gost_engine.h"
#include "crypto/key_digest.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>
#include <mutex>

#include <openssl/rsa.h>
#include <openssl/x509v3.h>

namespace telva::test {

using namespace telva::crypto;

namespace {

std::shared_ptr<EVP_PKEY> makeKey(bool rsa) {
    PKeyCtxPtr ctx(EVP_PKEY_CTX_new_id(rsa ? EVP_PKEY_RSA : NID_id_GostR3410_2012_256, nullptr));
    EVP_PKEY* key = nullptr;
    const bool ready = ctx && EVP_PKEY_keygen_init(ctx.get()) == 1 &&
                       (rsa ? EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) > 0
                            : EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") > 0);
    if (!ready || EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        ADD_FAILURE() << "TLS key generation failed: " << takeOpenSslError().toStdString();
        return {};
    }
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

struct Plan {
    const char* commonName;
    const char* altNames; // null for a CA
    qint64 fromSecs, toSecs;
    bool rsa = false;
    const TestPki::Item* issuer = nullptr; // null: self-signed, a CA
};

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
    ASSERT_NE(ext, nullptr) << takeOpenSslError().toStdString();
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

TestPki::Item issue(const Plan& plan) {
    static long serial = 100;
    const std::shared_ptr<EVP_PKEY> key = makeKey(plan.rsa);
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), ++serial);
    X509_NAME* name = X509_NAME_new();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(plan.commonName), -1, -1, 0);
    X509_set_subject_name(cert, name);
    X509_set_issuer_name(cert,
                         plan.issuer ? X509_get_subject_name(x509Of(plan.issuer->cert)) : name);
    X509_NAME_free(name);
    ASN1_TIME_set(X509_getm_notBefore(cert), time_t(plan.fromSecs));
    ASN1_TIME_set(X509_getm_notAfter(cert), time_t(plan.toSecs));
    X509_set_pubkey(cert, key.get());
    X509* issuer = plan.issuer ? x509Of(plan.issuer->cert) : cert;
    addExtension(cert, issuer, NID_basic_constraints,
                 plan.issuer ? "CA:FALSE" : "critical,CA:TRUE");
    if (plan.altNames) {
        addExtension(cert, issuer, NID_subject_alt_name, plan.altNames);
        addExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
    } else {
        addExtension(cert, issuer, NID_key_usage, "keyCertSign,cRLSign");
    }
    EVP_PKEY* signer = plan.issuer ? plan.issuer->key.get() : key.get();
    if (X509_sign(cert, signer, plan.rsa ? EVP_sha256() : DigestForKey(signer)) <= 0)
        ADD_FAILURE() << "TLS certificate signing failed: " << takeOpenSslError().toStdString();
    return TestPki::Item{certificateOf(cert), key};
}

} // namespace

const TlsCerts& TlsCerts::instance() {
    static std::once_flag once;
    static TlsCerts* certs = nullptr;
    std::call_once(once, [] {
        EXPECT_TRUE(ensureGostEngine());
        certs = new TlsCerts;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const qint64 day = 24 * 3600;
        const char* local = "IP:127.0.0.1,DNS:localhost";
        certs->ca = issue({"Test TLS CA", nullptr, now - day, now + 3650 * day});
        certs->server = issue({"127.0.0.1", local, now - day, now + 365 * day, false, &certs->ca});
        certs->expired =
            issue({"127.0.0.1", local, 1420070400, 1609459200, false, &certs->ca}); // 2015..2020
        certs->otherHost = issue(
            {"other.example", "DNS:other.example", now - day, now + 365 * day, false, &certs->ca});
        // Self-signed: a server without the engine cannot load a certificate with a GOST
        // signature.
        certs->rsaServer = issue({"127.0.0.1", local, now - day, now + 365 * day, true});
    });
    return *certs;
}

OpensslServer::~OpensslServer() {
    process_.kill();
    process_.waitForFinished(3000);
}

bool OpensslServer::start(const TestPki::Item& cert, bool gost) {
    const PkiFiles files = writePkiFiles(cert, dir_.path(), QStringLiteral("server"));
    port_ = freeLoopbackPort();
    QStringList args = {"s_server",   "-accept",     QString::number(port_),
                        "-cert",      files.certPem, "-key",
                        files.keyPem, "-www",        "-quiet"};
    if (gost)
        args << "-engine"
             << "gost"
             << "-cipher" << QString::fromLatin1(kGostServerCiphers) << "-tls1_2";
    // An empty CRYPT_PARAMS would break the engine's ciphers.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CRYPT_PARAMS"));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("openssl"), args);
    if (!process_.waitForStarted(5000)) {
        error_ = QStringLiteral("openssl does not start");
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        if (loopbackPortAccepts(port_))
            return true;
        if (process_.state() == QProcess::NotRunning)
            break;
        QThread::msleep(20);
    }
    error_ = QStringLiteral("s_server does not listen: %1: ").arg(args.join(QLatin1Char(' '))) +
             QString::fromLocal8Bit(process_.readAll());
    return false;
}

} // namespace telva::test
