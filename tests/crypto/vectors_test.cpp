#include "crypto/cert_import.h"
#include "crypto/cert_store.h"
#include "crypto/cms_message.h"
#include "crypto/key_store.h"
#include "fake_frontend.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QFile>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::crypto;

namespace {

QByteArray vector(const char* name) {
    return telva::test::readFileBytes(QStringLiteral(TELVA_GOST_VECTORS "/") + QLatin1String(name));
}

Certificate vectorCert(const char* name) {
    Result<Certificate> cert = Certificate::fromAnyEncoding(vector(name));
    EXPECT_TRUE(cert.ok()) << name;
    return cert ? *cert : Certificate();
}

PKeyPtr vectorKey(const char* name) {
    Result<PKeyPtr> key = ReadPrivateKey(vector(name), nullptr);
    EXPECT_TRUE(key.ok()) << name << ": " << key.text().toStdString();
    return key ? std::move(*key) : PKeyPtr();
}

int openssl(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CRYPT_PARAMS"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("openssl"), args);
    return process.waitForFinished(60000) ? process.exitCode() : -1;
}

} // namespace

TEST(GostVectors, KeyTransportMessagesDecrypt) {
    const Certificate rfcCert = vectorCert("rfc4491-gost2001-cert.der");
    const PKeyPtr rfcKey = vectorKey("rfc4491-gost2001-key.pem");
    const Result<QByteArray> rfc =
        DecryptMessage(vector("rfc4490-enveloped-keytrans.der"), rfcCert, rfcKey.get());
    ASSERT_TRUE(rfc.ok()) << rfc.text().toStdString();
    EXPECT_EQ(*rfc, QByteArray("sample text\n"));

    // BouncyCastle's key carries the key-agreement label; reading it relabels it.
    const PKeyPtr bcKey = vectorKey("gost2001_Rand_Key.pem");
    ASSERT_TRUE(bcKey);
    EXPECT_EQ(EVP_PKEY_get_base_id(bcKey.get()), NID_id_GostR3410_2001);
    const Result<QByteArray> bc = DecryptMessage(vector("gost2001_Rand_Msg.der"),
                                                 vectorCert("gost2001_Rand_Cert.pem"), bcKey.get());
    ASSERT_TRUE(bc.ok()) << bc.text().toStdString();
    EXPECT_EQ(*bc, QByteArray("Hello world!"));
}

TEST(GostVectors, SignedMessageVerifiesWithItsCertificateOnly) {
    const Result<QByteArray> content = VerifyAttachedSignature(
        vector("rfc4490-signed.der"), vectorCert("rfc4491-gost2001-cert.der"));
    ASSERT_TRUE(content.ok()) << content.text().toStdString();
    EXPECT_EQ(*content, QByteArray("sample text\n"));
    const Result<QByteArray> other = VerifyAttachedSignature(
        vector("rfc4490-signed.der"), telva::test::TestPki::instance().personal.cert);
    EXPECT_FALSE(other.ok());
    EXPECT_FALSE(other.text().isEmpty());
}

TEST(GostVectors, WrongInputsFailWithClearTexts) {
    const Certificate rfcCert = vectorCert("rfc4491-gost2001-cert.der");
    const PKeyPtr rfcKey = vectorKey("rfc4491-gost2001-key.pem");
    const Result<QByteArray> agree =
        DecryptMessage(vector("rfc4490-enveloped-keyagree.der"), rfcCert, rfcKey.get());
    ASSERT_FALSE(agree.ok());
    EXPECT_TRUE(agree.text().contains(QStringLiteral("согласованием ключей")))
        << agree.text().toStdString();

    EXPECT_EQ(DecryptMessage(QByteArray("<R7REPORT/>"), rfcCert, rfcKey.get()).text(),
              QStringLiteral("Файл не является сообщением CMS."));
    EXPECT_EQ(DecryptMessage(vector("rfc4490-signed.der"), rfcCert, rfcKey.get()).text(),
              QStringLiteral("Сообщение не зашифровано."));
    const telva::test::TestPki& pki = telva::test::TestPki::instance();
    EXPECT_EQ(DecryptMessage(vector("rfc4490-enveloped-keytrans.der"), pki.personal.cert,
                             pki.personal.pkey())
                  .text(),
              QStringLiteral("Сертификат не входит в число получателей сообщения."));
    // The right recipient named with the wrong key: an error, never random bytes.
    EXPECT_FALSE(
        DecryptMessage(vector("rfc4490-enveloped-keytrans.der"), rfcCert, pki.personal.pkey())
            .ok());
}

TEST(GostVectors, DamagedCipherParametersAreRefusedBeforeTheEngineReadsThem) {
    const Certificate rfcCert = vectorCert("rfc4491-gost2001-cert.der");
    const PKeyPtr rfcKey = vectorKey("rfc4491-gost2001-key.pem");
    const QByteArray message = vector("rfc4490-enveloped-keytrans.der");
    // SEQUENCE { iv OCTET STRING (8), paramSet OBJECT IDENTIFIER } after GOST 28147-89's OID
    const qsizetype params = message.indexOf(QByteArray::fromHex("06062a8503020215")) + 8;
    ASSERT_GT(params, 8);
    const std::pair<qsizetype, char> damages[] = {
        {params + 2, 0x05},        // the IV's tag
        {params + 12, 0x01},       // a BOOLEAN where the parameter set stands
        {params + 15, char(0x80)}, // a padding byte inside the OID
    };
    for (const auto& [at, byte] : damages) {
        QByteArray damaged = message;
        damaged[at] = byte;
        EXPECT_EQ(DecryptMessage(damaged, rfcCert, rfcKey.get()).text(),
                  QStringLiteral("Не удалось расшифровать сообщение: параметры шифра ГОСТ "
                                 "28147-89 в сообщении повреждены."))
            << at;
    }
}

TEST(KeyImport, RelabelsAndBindsTheKeyToItsCertificate) {
    telva::test::TempProfile profile;
    telva::test::FakeFrontend frontend;
    const Result<Certificate> cert = ImportCertificate(7, vector("gost2001_Rand_Cert.pem"),
                                                       vector("gost2001_Rand_Key.pem"), &frontend);
    ASSERT_TRUE(cert.ok()) << cert.text().toStdString();
    EXPECT_TRUE(CertStore::open(7)->contains(*cert));
    ASSERT_TRUE(HasPrivateKey(*cert));
    const QFile::Permissions mode = QFile::permissions(keyFilePath(*cert));
    EXPECT_EQ(mode & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              0);
    EXPECT_EQ(QFile::permissions(keyStoreFolder()) & (QFile::ExeOther | QFile::ReadOther), 0);
    Result<PKeyPtr> key = LoadPrivateKey(*cert, &frontend);
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(*DecryptMessage(vector("gost2001_Rand_Msg.der"), *cert, key->get()),
              QByteArray("Hello world!"));

    // A key that belongs to another certificate is refused and nothing is added.
    const Result<Certificate> mismatch = ImportCertificate(
        0, vector("rfc4491-gost2001-cert.pem"), vector("gost2001_Rand_Key.pem"), &frontend);
    ASSERT_FALSE(mismatch.ok());
    EXPECT_EQ(mismatch.text(), QStringLiteral("Закрытый ключ не соответствует сертификату."));
    EXPECT_TRUE(CertStore::open(0)->certificates().isEmpty());
}

TEST(KeyImport, ProtectedKeyKeepsItsPassword) {
    telva::test::TempProfile profile;
    telva::test::FakeFrontend frontend;
    const auto& pki = telva::test::TestPki::instance();
    frontend.keyPasswords = {QStringLiteral("пароль")};
    ASSERT_TRUE(ImportCertificate(0, pki.personal.certPem(),
                                  pki.personal.keyPemEncrypted(QStringLiteral("пароль")), &frontend)
                    .ok());
    EXPECT_TRUE(telva::test::readFileBytes(keyFilePath(pki.personal.cert)).contains("ENCRYPTED"));
    EXPECT_FALSE(LoadPrivateKey(pki.personal.cert, &frontend).ok()); // no answer left
    frontend.keyPasswords = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
    EXPECT_EQ(LoadPrivateKey(pki.personal.cert, &frontend).text(),
              QStringLiteral("Неверный пароль закрытого ключа."));
    frontend.keyPasswords = {QStringLiteral("пароль")};
    EXPECT_TRUE(LoadPrivateKey(pki.personal.cert, &frontend).ok());
    EXPECT_EQ(LoadPrivateKey(pki.fundAp.cert, &frontend).text(),
              QStringLiteral("Нет закрытого ключа."));
}

TEST(KeyImport, Pkcs12FromOpensslWithGostAndTheUnreadableLegacyScheme) {
    telva::test::TempProfile profile;
    telva::test::FakeFrontend frontend;
    const auto& pki = telva::test::TestPki::instance();
    const auto files = telva::test::writePkiFiles(pki.personal, profile.root() + "/in", "personal");
    const QString p12 = profile.root() + "/in/personal.p12";
    ASSERT_EQ(openssl({"pkcs12", "-export", "-engine", "gost", "-in", files.certPem, "-inkey",
                       files.keyPem, "-keypbe", "gost89", "-certpbe", "gost89", "-macalg",
                       "md_gost94", "-passout", "pass:секрет", "-out", p12}),
              0);
    const QByteArray bytes = telva::test::readFileBytes(p12);
    ASSERT_TRUE(looksLikePkcs12(bytes));
    frontend.keyPasswords = {QStringLiteral("секрет")};
    const Result<Certificate> cert = ImportPkcs12(0, bytes, &frontend);
    ASSERT_TRUE(cert.ok()) << cert.text().toStdString();
    EXPECT_EQ(*cert, pki.personal.cert);
    EXPECT_TRUE(CertStore::open(0)->contains(pki.personal.cert));
    frontend.keyPasswords = {QStringLiteral("секрет")};
    EXPECT_TRUE(LoadPrivateKey(pki.personal.cert, &frontend).ok());

    const QString legacy = profile.root() + "/in/legacy.p12";
    ASSERT_EQ(openssl({"pkcs12", "-export", "-in", files.certPem, "-inkey", files.keyPem, "-engine",
                       "gost", "-keypbe", "PBE-SHA1-3DES", "-certpbe", "PBE-SHA1-3DES", "-passout",
                       "pass:1", "-out", legacy}),
              0);
    QByteArray patched = telva::test::readFileBytes(legacy);
    const QByteArray tripleDes = QByteArray::fromHex("060a2a864886f70d010c0103");
    ASSERT_TRUE(patched.contains(tripleDes));
    patched.replace(tripleDes, QByteArray::fromHex("060a2a864886f70d010c0150"));
    frontend.keyPasswords = {QStringLiteral("1")};
    const Result<Certificate> refused = ImportPkcs12(0, patched, &frontend);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.text().contains(QStringLiteral("1.2.840.113549.1.12.1.80")));
}

TEST(KeyImport, AWrongPasswordIsSaidWhenTheQuestionComesAgain) {
    telva::test::TempProfile profile;
    const auto& pki = telva::test::TestPki::instance();
    const auto files = telva::test::writePkiFiles(pki.personal, profile.root() + "/in", "personal");
    const QString p12 = profile.root() + "/in/personal.p12";
    ASSERT_EQ(openssl({"pkcs12", "-export", "-engine", "gost", "-in", files.certPem, "-inkey",
                       files.keyPem, "-keypbe", "gost89", "-certpbe", "gost89", "-macalg",
                       "md_gost94", "-passout", "pass:секрет", "-out", p12}),
              0);
    const QByteArray encryptedKey = pki.personal.keyPemEncrypted(QStringLiteral("секрет"));
    const struct {
        const char* of;
        std::function<bool(Frontend*)> open;
    } cases[] = {
        {"закрытого ключа", [&](Frontend* f) { return ReadPrivateKey(encryptedKey, f).ok(); }},
        {"файла PKCS#12",
         [&](Frontend* f) { return ImportPkcs12(0, telva::test::readFileBytes(p12), f).ok(); }},
        // The key kept for a certificate names whose it is: the person may hold several.
        {"закрытого ключа сертификата «Иванова Мария Петровна, Бухгалтерия»",
         [&](Frontend* f) {
             return StorePrivateKey(pki.personal.cert, pki.personal.pkey(),
                                    QStringLiteral("секрет"))
                        .ok() &&
                    LoadPrivateKey(pki.personal.cert, f).ok();
         }},
    };
    for (const auto& c : cases) {
        telva::test::FakeFrontend frontend;
        frontend.keyPasswords = {QStringLiteral("неверно"), QStringLiteral("секрет"),
                                 QStringLiteral("секрет")};
        EXPECT_TRUE(c.open(&frontend)) << c.of;
        const QString question = QStringLiteral("Введите пароль %1:").arg(QString::fromUtf8(c.of));
        ASSERT_GE(frontend.keyPasswordRequests.size(), 2) << c.of;
        EXPECT_EQ(frontend.keyPasswordRequests.mid(0, 2),
                  QStringList({question, QStringLiteral("Неверный пароль.\n") + question}))
            << c.of;
    }
}
