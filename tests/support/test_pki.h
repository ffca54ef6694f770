#pragma once

#include "app/settings.h"
#include "crypto/certificate.h"
#include "crypto/ossl.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace telva::test {

// A throw-away PKI made with the GOST engine at test time (GOST R 34.10-2001 keys with GOST R
// 34.11-94 signatures, and a few GOST R 34.10-2012 ones) and cached for the whole test process.
// Fixed validity dates, so that tests move time through the replaceable clock.
class TestPki {
public:
    struct Item {
        crypto::Certificate cert;
        std::shared_ptr<EVP_PKEY> key; // null for certificates without a key here

        EVP_PKEY* pkey() const { return key.get(); }
        QByteArray certDer() const { return cert.der(); }
        QByteArray certPem() const { return cert.pem(); }
        QByteArray keyPem() const; // unencrypted PKCS#8 PEM
        // The key as encrypted PKCS#8 PEM with that password.
        QByteArray keyPemEncrypted(const QString& password) const;
        // The identity the chooser or the installer would record for it, in that store.
        CertIdentity identity(int storeIndex) const;
    };

    // Generated on first use; every later call returns the same PKI.
    static const TestPki& instance();

    // Self-signed test CA: "CN=Test CA 2, O=Example"; issues the user certificates below.
    Item ca;
    // The fund's self-signed root ("CN=Корневой УЦ КВБ РФ (тест), O=КВБ РФ, C=RU"). It and
    // the test CAs are marked as CAs (basicConstraints, keyUsage keyCertSign).
    Item fundRoot;
    // The fund's authorised person, issued by fundRoot, with key: the recipient of reports and
    // the signer of receipts (keyUsage digitalSignature, nonRepudiation, keyEncipherment,
    // keyAgreement); its serial's DER bytes are 00 A1 B2 C3 (a leading zero byte).
    Item fundAp;
    // More of the fund's certificates under fundRoot, with keys: one valid 2015-01-01 ..
    // 2020-12-31 12:00 UTC, and one whose key usage allows only key exchange.
    Item fundExpired;
    Item fundNoSigning;
    // A stranger's copy of the fund's names: a self-signed root with the subject of fundRoot,
    // and under it a certificate with the subject, issuer name and serial of fundAp; with keys.
    Item lookAlikeRoot;
    Item lookAlikeAp;
    // The user's personal certificate with key, subject
    // "C=RU, L=Москва, O=ООО Ромашка, OU=Бухгалтерия, CN=Иванова Мария Петровна,
    //  1.2.643.3.141.1.1=7701000001, 1.2.643.3.141.1.2=770101"; serial 01 02;
    // valid 05.03.2024 09:07:00 to 30.06.2040 15:00:00 UTC.
    Item personal;
    // Two OU values (first "Первый отдел") and an O with a quote and a comma
    // ("Рога и \"копыта\", ООО"); registration attributes; with key.
    Item twoOu;
    // Personal-like certificates with keys: valid 2015-01-01 .. 2020-12-31 12:00 UTC, and
    // valid from 2040-01-01 UTC.
    Item expired;
    Item notYetValid;
    // Has 1.2.643.3.141.1.1 ("7701000002") but not 1.2.643.3.141.1.2; no key.
    Item regNumberOnly;
    // Self-signed RSA / SHA-256 certificate with both registration attributes, with key.
    Item rsa;
    // GOST R 34.10-2012 with Streebog: a self-signed CA (256-bit key), a personal-like
    // certificate with a 256-bit and one with a 512-bit key issued by it, and an authorised
    // person of the fund with a 256-bit key issued by fundRoot; all with keys.
    Item ca2012;
    Item personal2012;
    Item personal2012x512;
    Item fundAp2012;

private:
    TestPki() = default;
};

// Puts the certificate into a store of the current profile (a TempProfile must be alive),
// and its key into the key folder when withKey is set.
void installCert(const TestPki::Item& item, int storeIndex, bool withKey = false);

// The usual workstation: personal certificate with key in "My", the fund's root in "Root",
// the authorised person in "AddressBook"; the settings' identities point at both.
void installStandard(Settings& settings);

struct PkiFiles {
    QString certPem;
    QString certDer;
    QString keyPem; // empty when the item has no key
};
// Writes <dir>/<baseName>.pem, .cer and -key.pem (creating dir).
PkiFiles writePkiFiles(const TestPki::Item& item, const QString& dir, const QString& baseName);

} // namespace telva::test
