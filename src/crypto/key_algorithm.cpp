#include "crypto/key_algorithm.h"
#include "app/texts.h"
#include "crypto/key_digest.h"

#include "crypto/gost_engine.h"
#include "crypto/oids.h"
#include "crypto/ossl.h"

#include <QLatin1String>

#include <openssl/objects.h>

namespace telva::crypto {

namespace {

struct KeyKind {
    KeyAlgorithm algorithm;
    int keyNid;
    const char* digestName;
    const char* name;
};

// One row per key kind: what signs with it and how the program names it.
constexpr KeyKind kKinds[] = {
    {KeyAlgorithm::Gost2001, NID_id_GostR3410_2001, "md_gost94", "ГОСТ Р 34.10-2001"},
    {KeyAlgorithm::Gost2012_256, NID_id_GostR3410_2012_256, "md_gost12_256",
     "ГОСТ Р 34.10-2012 (256)"},
    {KeyAlgorithm::Gost2012_512, NID_id_GostR3410_2012_512, "md_gost12_512",
     "ГОСТ Р 34.10-2012 (512)"},
};

QByteArray keyOidText(const Certificate& cert) {
    ASN1_OBJECT* object = nullptr;
    if (cert.isNull() ||
        X509_PUBKEY_get0_param(&object, nullptr, nullptr, nullptr,
                               X509_get_X509_PUBKEY(x509Of(cert))) != 1 ||
        !object)
        return {};
    char dotted[128];
    const int n = OBJ_obj2txt(dotted, sizeof dotted, object, 1);
    return n > 0 && n < int(sizeof dotted) ? QByteArray(dotted, n) : QByteArray();
}

QString unusableKeyText(const QString& algorithm) {
    return QStringLiteral("Модуль ГОСТ не поддерживает ключ сертификата: %1 с этими параметрами. "
                          "Выберите другой сертификат.")
        .arg(algorithm);
}

} // namespace

KeyAlgorithm KeyAlgorithmOf(const Certificate& cert) {
    const QByteArray oid = keyOidText(cert);
    if (oid == oid::kGost2001Key || oid == oid::kGost2001DhKey)
        return KeyAlgorithm::Gost2001;
    if (oid == oid::kGost2012Key256)
        return KeyAlgorithm::Gost2012_256;
    if (oid == oid::kGost2012Key512)
        return KeyAlgorithm::Gost2012_512;
    return KeyAlgorithm::Other;
}

QString KeyAlgorithmName(KeyAlgorithm algorithm) {
    for (const KeyKind& kind : kKinds)
        if (kind.algorithm == algorithm)
            return QString::fromUtf8(kind.name);
    return {};
}

Status CheckCertificateKey(const Certificate& cert) {
    if (Status engine = ensureGostEngine(); !engine)
        return engine;
    if (cert.isNull())
        return Status::fail(certOpenFailedText());
    const KeyAlgorithm algorithm = KeyAlgorithmOf(cert);
    const QString name = algorithm == KeyAlgorithm::Other
                             ? QStringLiteral("алгоритм ") + QString::fromLatin1(keyOidText(cert))
                             : KeyAlgorithmName(algorithm);
    const bool decoded = X509_get0_pubkey(x509Of(cert)) != nullptr;
    takeOpenSslError();
    if (!decoded || algorithm == KeyAlgorithm::Other)
        return Status::fail(unusableKeyText(name));
    return {};
}

const EVP_MD* DigestForKey(EVP_PKEY* key) {
    const int nid = key ? EVP_PKEY_get_base_id(key) : NID_undef;
    for (const KeyKind& kind : kKinds)
        if (kind.keyNid == nid)
            return EVP_get_digestbyname(kind.digestName);
    return nullptr;
}

} // namespace telva::crypto
