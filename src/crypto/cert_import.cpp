#include "crypto/cert_import.h"

#include "app/frontend.h"
#include "app/safe_file.h"
#include "app/secrets.h"
#include "app/texts.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/pkcs12.h>

namespace telva::crypto {

namespace {

constexpr int kPasswordTries = 3;
// OBJECT IDENTIFIER 1.2.840.113549.1.12.1.80: a password scheme of some legacy Windows
// providers that has no public description.
const QByteArray kLegacyPbeOid = QByteArray::fromHex("060a2a864886f70d010c0150");

using P12Ptr = std::unique_ptr<PKCS12, decltype(&PKCS12_free)>;

Status addToStore(int storeIndex, const Certificate& cert) {
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store)
        return store.status();
    const Status added = store->add(cert);
    if (!added && added.error().code != kCryptEExists)
        return added;
    return {};
}

QByteArray pkcs8Der(EVP_PKEY* key) {
    P8InfoPtr p8(EVP_PKEY2PKCS8(key));
    if (!p8)
        return {};
    unsigned char* out = nullptr;
    const int n = i2d_PKCS8_PRIV_KEY_INFO(p8.get(), &out);
    if (n <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<char*>(out), n);
    OPENSSL_free(out);
    return bytes;
}

// A file the person chose: a regular one of sensible size (a FIFO would block the window).
Result<QByteArray> readChosenFile(const QString& path) {
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > kSmallFileLimit || !file.open(QIODevice::ReadOnly))
        return Result<QByteArray>::fail(openErrorText(path));
    return file.readAll();
}

} // namespace

Result<Certificate> ImportCertificateFiles(int storeIndex, const QString& path,
                                           const QString& keyPath, Frontend* frontend) {
    const Result<QByteArray> bytes = readChosenFile(path);
    if (!bytes)
        return Result<Certificate>(bytes.error());
    QByteArray keyBytes;
    if (!keyPath.isEmpty()) {
        Result<QByteArray> key = readChosenFile(keyPath);
        if (!key)
            return Result<Certificate>(key.error());
        keyBytes = std::move(*key);
    }
    Result<Certificate> cert = looksLikePkcs12(*bytes)
                                   ? ImportPkcs12(storeIndex, *bytes, frontend)
                                   : ImportCertificate(storeIndex, *bytes, keyBytes, frontend);
    wipe(keyBytes);
    return cert;
}

bool looksLikePkcs12(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    P12Ptr p12(d2i_PKCS12(nullptr, &p, bytes.size()), PKCS12_free);
    takeOpenSslError();
    return p12 != nullptr;
}

Result<Certificate> ImportCertificate(int storeIndex, const QByteArray& certBytes,
                                      const QByteArray& keyBytes, Frontend* frontend) {
    if (Status engine = ensureGostEngine(); !engine)
        return Result<Certificate>(engine.error());
    Result<Certificate> cert = Certificate::fromAnyEncoding(certBytes);
    if (!cert)
        return cert;
    if (!keyBytes.isEmpty()) {
        // The key first: a key that does not fit leaves the store as it was.
        QString password;
        Result<PKeyPtr> key = ReadPrivateKey(keyBytes, frontend, &password);
        if (!key)
            return Result<Certificate>(key.error());
        if (Status stored = StorePrivateKey(*cert, key->get(), password); !stored)
            return Result<Certificate>(stored.error());
    }
    if (Status added = addToStore(storeIndex, *cert); !added)
        return Result<Certificate>(added.error());
    return cert;
}

Result<Certificate> ImportPkcs12(int storeIndex, const QByteArray& bytes, Frontend* frontend) {
    using R = Result<Certificate>;
    if (Status engine = ensureGostEngine(); !engine)
        return R(engine.error());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    P12Ptr p12(d2i_PKCS12(nullptr, &p, bytes.size()), PKCS12_free);
    takeOpenSslError();
    if (!p12)
        return R::fail(QStringLiteral("Файл не является контейнером PKCS#12."));
    const QString legacy = QStringLiteral(
        "Файл PKCS#12 защищен по схеме 1.2.840.113549.1.12.1.80, которую эта программа не "
        "поддерживает. Выгрузите сертификат с закрытым ключом в другом формате.");

    // Asking for a password is pointless when the scheme cannot be read anyway.
    if (bytes.contains(kLegacyPbeOid))
        return R::fail(legacy);
    QByteArray password;
    bool opened = PKCS12_verify_mac(p12.get(), "", 0) == 1;
    for (int attempt = 0; !opened && attempt < kPasswordTries; ++attempt) {
        takeOpenSslError();
        const std::optional<QString> asked =
            frontend ? frontend->askKeyPassword(
                           keyPasswordPrompt(QStringLiteral("файла PKCS#12"), attempt > 0))
                     : std::nullopt;
        if (!asked)
            return R::fail(keyPasswordMissingText());
        password = asked->toUtf8();
        opened = PKCS12_verify_mac(p12.get(), password.constData(),
                                   static_cast<int>(password.size())) == 1;
    }
    takeOpenSslError();
    if (!opened) {
        if (bytes.contains(kLegacyPbeOid))
            return R::fail(legacy);
        return R::fail(QStringLiteral("Неверный пароль файла PKCS#12."));
    }

    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    STACK_OF(X509)* others = nullptr;
    const int parsed = PKCS12_parse(p12.get(), password.constData(), &rawKey, &rawCert, &others);
    PKeyPtr key(rawKey);
    const Certificate cert = certificateOf(rawCert);
    QList<Certificate> extra;
    for (int i = 0; others && i < sk_X509_num(others); ++i)
        extra.append(certificateOf(X509_dup(sk_X509_value(others, i))));
    sk_X509_pop_free(others, X509_free);
    if (parsed != 1 || cert.isNull()) {
        const QString reason = takeOpenSslError();
        if (bytes.contains(kLegacyPbeOid))
            return R::fail(legacy);
        return R::fail(QStringLiteral("Не удалось прочитать файл PKCS#12 (%1).").arg(reason));
    }
    if (key) {
        // Through PKCS#8 again, so that keys labelled for key agreement are relabelled.
        Result<PKeyPtr> relabelled = ReadPrivateKey(pkcs8Der(key.get()), frontend);
        if (!relabelled)
            return R(relabelled.error());
        if (Status stored = StorePrivateKey(cert, relabelled->get(), QString::fromUtf8(password));
            !stored)
            return R(stored.error());
    }
    if (Status added = addToStore(storeIndex, cert); !added)
        return R(added.error());
    for (const Certificate& other : extra) {
        if (Status added = addToStore(toIndex(Store::CA), other); !added)
            return R(added.error());
    }
    return cert;
}

} // namespace telva::crypto
