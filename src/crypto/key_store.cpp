#include "crypto/key_store.h"

#include "app/frontend.h"
#include "app/paths.h"
#include "app/safe_file.h"
#include "app/secrets.h"
#include "app/texts.h"
#include "crypto/cert_format.h"
#include "crypto/der.h"
#include "crypto/gost_engine.h"
#include "crypto/key_algorithm.h"
#include "crypto/oids.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

namespace telva::crypto {

namespace {

constexpr int kPasswordTries = 3;
const QString kOfKey = QStringLiteral("закрытого ключа");

QString unreadableText() {
    return QStringLiteral("Не удалось прочитать закрытый ключ.");
}
QString exposedKeyText(const QString& path) {
    return QStringLiteral("Файл закрытого ключа \"%1\" доступен другим пользователям; ключ не "
                          "используется. Оставьте доступ только владельцу: chmod 600 \"%1\".")
        .arg(path);
}

// Relabels a PKCS#8 PrivateKeyInfo whose algorithm is GOST R 34.10-2001 DH as
// GOST R 34.10-2001, in place; the keys are the same, only the label differs.
void relabelGostDh(QByteArray& info) {
    const auto top = der::readWhole(info);
    if (!top || top->tag != der::kSequence)
        return;
    const auto parts = der::children(info, *top);
    if (!parts || parts->size() < 3 || parts->at(1).tag != der::kSequence)
        return;
    const auto alg = der::children(info, parts->at(1));
    if (!alg || alg->isEmpty() || alg->first().tag != der::kOid)
        return;
    const der::Tlv& oid = alg->first();
    if (info.mid(oid.contentOffset(), oid.length) == oid::kGost2001DhKeyDer)
        info[oid.end() - 1] = oid::kGost2001KeyLastByte;
}

Result<PKeyPtr> fromPkcs8Der(QByteArray info) {
    relabelGostDh(info);
    const auto* p = reinterpret_cast<const unsigned char*>(info.constData());
    P8InfoPtr p8(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, info.size()));
    if (!p8)
        return Result<PKeyPtr>::fail(unreadableText());
    PKeyPtr key(EVP_PKCS82PKEY(p8.get()));
    if (!key) {
        const QString reason = takeOpenSslError();
        return Result<PKeyPtr>::fail(
            QStringLiteral("Алгоритм закрытого ключа не поддерживается (%1).").arg(reason));
    }
    return key;
}

QByteArray p8ToDer(const PKCS8_PRIV_KEY_INFO* p8) {
    unsigned char* out = nullptr;
    const int n = i2d_PKCS8_PRIV_KEY_INFO(p8, &out);
    if (n <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<char*>(out), n);
    OPENSSL_free(out);
    return bytes;
}

Result<PKeyPtr> fromEncryptedDer(const QByteArray& der, Frontend* frontend, QString* password,
                                 const QString& ofWhat) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    std::unique_ptr<X509_SIG, decltype(&X509_SIG_free)> sig(d2i_X509_SIG(nullptr, &p, der.size()),
                                                            X509_SIG_free);
    if (!sig)
        return Result<PKeyPtr>::fail(unreadableText());
    for (int attempt = 0; attempt < kPasswordTries; ++attempt) {
        const std::optional<QString> pass =
            frontend ? frontend->askKeyPassword(keyPasswordPrompt(ofWhat, attempt > 0))
                     : std::nullopt;
        if (!pass)
            return Result<PKeyPtr>::fail(keyPasswordMissingText());
        QByteArray utf8 = pass->toUtf8();
        P8InfoPtr p8(PKCS8_decrypt(sig.get(), utf8.constData(), static_cast<int>(utf8.size())));
        wipe(utf8);
        takeOpenSslError();
        if (!p8)
            continue;
        if (password)
            *password = *pass;
        return fromPkcs8Der(p8ToDer(p8.get()));
    }
    return Result<PKeyPtr>::fail(QStringLiteral("Неверный пароль закрытого ключа."));
}

int passwordCallback(char* buffer, int size, int, void* user) {
    const QByteArray* pass = static_cast<const QByteArray*>(user);
    const int n = static_cast<int>(qMin<qsizetype>(pass->size(), size));
    memcpy(buffer, pass->constData(), n);
    return n;
}

Result<PKeyPtr> fromOtherPem(const QByteArray& bytes, Frontend* frontend, QString* password,
                             const QString& ofWhat) {
    QByteArray pass;
    for (int attempt = 0; attempt <= kPasswordTries; ++attempt) {
        BioPtr bio = memBio(bytes);
        PKeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, passwordCallback, &pass));
        const unsigned long reason = ERR_GET_REASON(ERR_peek_last_error());
        takeOpenSslError();
        if (key) {
            if (password)
                *password = QString::fromUtf8(pass);
            wipe(pass);
            return key;
        }
        // Only a key that wants a password is worth asking for one.
        if (attempt == 0 && reason != PEM_R_BAD_PASSWORD_READ)
            break;
        if (attempt == kPasswordTries)
            break;
        const std::optional<QString> asked =
            frontend ? frontend->askKeyPassword(keyPasswordPrompt(ofWhat, attempt > 0))
                     : std::nullopt;
        if (!asked)
            break;
        pass = asked->toUtf8();
    }
    wipe(pass);
    return Result<PKeyPtr>::fail(unreadableText());
}

} // namespace

QString keyPasswordPrompt(const QString& ofWhat, bool afterWrongOne) {
    const QString question = QStringLiteral("Введите пароль %1:").arg(ofWhat);
    return afterWrongOne ? QStringLiteral("Неверный пароль.\n") + question : question;
}

QString keyStoreFolder() {
    const QString base = dataHome();
    return base.isEmpty() ? QString() : base + QStringLiteral("/KVB/keys");
}

QString keyFilePath(const Certificate& cert) {
    return keyStoreFolder() + QLatin1Char('/') + cert.sha1Hex() + QStringLiteral(".pem");
}

bool HasPrivateKey(const Certificate& cert) {
    return !cert.isNull() && !keyStoreFolder().isEmpty() && QFileInfo(keyFilePath(cert)).isFile();
}

namespace {

Result<PKeyPtr> readPrivateKey(const QByteArray& bytes, Frontend* frontend, QString* password,
                               const QString& ofWhat) {
    if (Status engine = ensureGostEngine(); !engine)
        return Result<PKeyPtr>(engine.error());
    keepCoreDumpsOff();
    if (password)
        password->clear();
    if (bytes.contains("-----BEGIN")) {
        BioPtr bio = memBio(bytes);
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        if (PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) {
            takeOpenSslError();
            return Result<PKeyPtr>::fail(unreadableText());
        }
        const QByteArray type(name);
        const QByteArray body(reinterpret_cast<char*>(data), length);
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
        if (type == "PRIVATE KEY")
            return fromPkcs8Der(body);
        if (type == "ENCRYPTED PRIVATE KEY")
            return fromEncryptedDer(body, frontend, password, ofWhat);
        return fromOtherPem(bytes, frontend, password, ofWhat);
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    P8InfoPtr plain(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, bytes.size()));
    takeOpenSslError();
    if (plain)
        return fromPkcs8Der(bytes);
    return fromEncryptedDer(bytes, frontend, password, ofWhat);
}

} // namespace

Result<PKeyPtr> ReadPrivateKey(const QByteArray& bytes, Frontend* frontend, QString* password) {
    return readPrivateKey(bytes, frontend, password, kOfKey);
}

Result<PKeyPtr> LoadPrivateKey(const Certificate& cert, Frontend* frontend) {
    // A certificate the engine cannot use says so, rather than that its key is missing.
    if (Status usable = CheckCertificateKey(cert); !usable)
        return Result<PKeyPtr>(usable.error());
    if (!HasPrivateKey(cert))
        return Result<PKeyPtr>::fail(noPrivateKeyText());
    const QString path = keyFilePath(cert);
    const int fd = openRegularFile(path);
    if (fd < 0)
        return Result<PKeyPtr>::fail(unreadableText());
    struct stat info {};
    // A key others could read may already be copied; it is refused rather than silently
    // made private, so that the person learns of it.
    if (::fstat(fd, &info) != 0 || (info.st_mode & 077) != 0) {
        ::close(fd);
        return Result<PKeyPtr>::fail(exposedKeyText(path));
    }
    QByteArray bytes = readUpTo(fd, kSmallFileLimit);
    ::close(fd);
    // Whose key is asked for: the person may hold several.
    Result<PKeyPtr> key =
        readPrivateKey(bytes, frontend, nullptr,
                       kOfKey + QStringLiteral(" сертификата «%1»").arg(ownerName(cert)));
    wipe(bytes);
    return key;
}

Status StorePrivateKey(const Certificate& cert, EVP_PKEY* key, const QString& password) {
    if (cert.isNull() || !key)
        return Status::fail(noPrivateKeyText());
    if (X509_check_private_key(x509Of(cert), key) != 1) {
        takeOpenSslError();
        return Status::fail(keyMismatchText());
    }
    const QString folder = keyStoreFolder();
    if (folder.isEmpty() || !makePrivateFolder(folder))
        return Status::fail(QStringLiteral("Не удалось создать папку ключей \"%1\".").arg(folder));
    BioPtr bio(BIO_new(BIO_s_mem()));
    QByteArray pass = password.toUtf8();
    const int ok =
        password.isEmpty()
            ? PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
            : PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), pass.constData(),
                                            static_cast<int>(pass.size()), nullptr, nullptr);
    wipe(pass);
    if (ok != 1) {
        return Status::fail(
            QStringLiteral("Не удалось сохранить закрытый ключ (%1).").arg(takeOpenSslError()));
    }
    const QString path = keyFilePath(cert);
    QByteArray pem = bioBytes(bio.get());
    const Status written = writeFileReplacing(path, pem);
    wipe(pem);
    if (!written)
        return Status::fail(writeIntoErrorText(path));
    return {};
}

Status ImportPrivateKey(const Certificate& cert, const QByteArray& keyBytes, Frontend* frontend) {
    QString password;
    Result<PKeyPtr> key = ReadPrivateKey(keyBytes, frontend, &password);
    if (!key)
        return key.status();
    return StorePrivateKey(cert, key->get(), password);
}

bool RemovePrivateKey(const Certificate& cert) {
    return HasPrivateKey(cert) && QFile::remove(keyFilePath(cert));
}

} // namespace telva::crypto
