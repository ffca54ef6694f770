#include "crypto/cert_details.h"
#include "crypto/cert_import.h"
#include "crypto/cert_rows.h"
#include "crypto/cert_store.h"
#include "crypto/key_store.h"
#include "fake_frontend.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <gtest/gtest.h>

using namespace telva;
using namespace telva::crypto;
using namespace telva::test;

namespace {

QString keyAlgorithmField(const Certificate& cert) {
    for (const auto& [field, value] : DescribeCertificate(cert))
        if (field == QStringLiteral("Алгоритм ключа"))
            return value;
    return {};
}

} // namespace

TEST(KeyAlgorithm, ViewerNamesItAndTheGostFilterShowsEveryGostCertificate) {
    TempProfile profile;
    const TestPki& pki = TestPki::instance();
    const struct {
        const TestPki::Item& item;
        QString name;
        bool gost;
    } cases[] = {
        {pki.personal, QStringLiteral("ГОСТ Р 34.10-2001"), true},
        {pki.personal2012, QStringLiteral("ГОСТ Р 34.10-2012 (256)"), true},
        {pki.personal2012x512, QStringLiteral("ГОСТ Р 34.10-2012 (512)"), true},
        {pki.rsa, QString(), false},
    };
    for (const auto& c : cases) {
        installCert(c.item, 0);
        EXPECT_EQ(keyAlgorithmField(c.item.cert), c.name);
        EXPECT_EQ(ListCertificates(0, true, false).certs.contains(c.item.cert), c.gost)
            << c.name.toStdString();
    }
}

TEST(KeyAlgorithm, ImportTakesGost2012KeysAndRefusesAKeyOfTheOtherAlgorithm) {
    TempProfile profile;
    FakeFrontend frontend;
    const TestPki& pki = TestPki::instance();
    const PkiFiles files = writePkiFiles(pki.personal2012x512, profile.root(), "p512");
    const QString p12 = profile.root() + "/p512.p12";
    ASSERT_EQ(runProgram("openssl", {"pkcs12", "-export", "-engine", "gost", "-in", files.certPem,
                                     "-inkey", files.keyPem, "-passout", "pass:", "-out", p12}),
              0);
    const QString mismatch = QStringLiteral("Закрытый ключ не соответствует сертификату.");
    const struct {
        const TestPki::Item& cert;
        QByteArray certBytes;
        QByteArray keyBytes; // empty: the PKCS#12 file
        QString error;
    } cases[] = {
        {pki.personal2012, pki.personal2012.certDer(), pki.personal2012.keyPemEncrypted("п"), {}},
        {pki.personal2012x512, {}, {}, {}},
        {pki.personal2012, pki.personal2012.certPem(), pki.personal.keyPem(), mismatch},
        {pki.personal, pki.personal.certPem(), pki.personal2012.keyPem(), mismatch},
        {pki.personal2012, pki.personal2012.certPem(), pki.personal2012x512.keyPem(), mismatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cert.cert.renderName(WhichName::Subject, NameStyle::X500).toStdString());
        frontend.keyPasswords = {QStringLiteral("п"), QStringLiteral("п")};
        const Result<Certificate> imported =
            c.keyBytes.isEmpty() ? ImportPkcs12(0, readFileBytes(p12), &frontend)
                                 : ImportCertificate(0, c.certBytes, c.keyBytes, &frontend);
        EXPECT_EQ(imported.ok() ? QString() : imported.text(), c.error);
        EXPECT_EQ(CertStore::open(0)->contains(c.cert.cert), c.error.isEmpty());
        EXPECT_EQ(HasPrivateKey(c.cert.cert), c.error.isEmpty());
        if (c.error.isEmpty()) {
            EXPECT_TRUE(LoadPrivateKey(c.cert.cert, &frontend).ok());
            CertStore::open(0)->remove(c.cert.cert);
            RemovePrivateKey(c.cert.cert);
        }
    }
}
