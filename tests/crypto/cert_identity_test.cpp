#include "app/texts.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <gtest/gtest.h>

using namespace telva;
using namespace telva::crypto;
using telva::test::TestPki;

namespace {

std::string s(const QString& text) {
    return text.toStdString();
}

} // namespace

TEST(RenderName, KeepsEncodedOrderShortKeysAndDottedOids) {
    const TestPki& pki = TestPki::instance();
    EXPECT_EQ(s(pki.personal.cert.renderName(WhichName::Subject, NameStyle::X500)),
              "C=RU, L=Москва, O=ООО Ромашка, OU=Бухгалтерия, CN=Иванова Мария Петровна, "
              "1.2.643.3.141.1.1=7701000001, 1.2.643.3.141.1.2=770101");
    EXPECT_EQ(s(pki.personal.cert.renderName(WhichName::Subject, NameStyle::Oid)),
              "2.5.4.6=RU, 2.5.4.7=Москва, 2.5.4.10=ООО Ромашка, 2.5.4.11=Бухгалтерия, "
              "2.5.4.3=Иванова Мария Петровна, 1.2.643.3.141.1.1=7701000001, "
              "1.2.643.3.141.1.2=770101");
    EXPECT_EQ(s(pki.personal.cert.renderName(WhichName::Issuer, NameStyle::X500)),
              "CN=Test CA 2, O=Example");
}

TEST(RenderName, QuotesValuesWithSeparatorsAndDoublesInnerQuotes) {
    const TestPki& pki = TestPki::instance();
    const QString name = pki.twoOu.cert.renderName(WhichName::Subject, NameStyle::X500);
    EXPECT_TRUE(name.startsWith(QStringLiteral("CN=Петров Петр, OU=Первый отдел, OU=Второй отдел, "
                                               "O=\"Рога и \"\"копыта\"\", ООО\"")))
        << s(name);
    // Only the first OU is seen; a quoted value ends at its first inner quote.
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("OU"))), "Первый отдел");
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("O"))), "Рога и ");
}

TEST(GetRdnValue, FindsTheFirstKeyAnywhereAndStopsAtSeparator) {
    const QString name = QStringLiteral("C=RU, OU=Отдел, O=Фирма, CN=Имя");
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("CN"))), "Имя");
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("O"))), "Фирма");
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("N"))), "Имя"); // not tied to a start
    EXPECT_EQ(s(GetRdnValue(name, QStringLiteral("L"))), "");
    EXPECT_EQ(s(GetRdnValue(QStringLiteral("CN=\"без конца"), QStringLiteral("CN"))), "без конца");
}

TEST(Serial, HexIsMostSignificantFirstWithTheEncodedLeadingZero) {
    const TestPki& pki = TestPki::instance();
    EXPECT_EQ(s(SerialToHex(pki.personal.cert).value()), "0102");
    EXPECT_EQ(s(SerialToHex(pki.fundAp.cert).value()), "00A1B2C3");
    EXPECT_EQ(HexToSerial(QStringLiteral("012AF3")), QByteArray::fromHex("F32A01"));
    EXPECT_EQ(HexToSerial(QStringLiteral("012af")),
              QByteArray::fromHex("2A01")); // odd digit dropped
    EXPECT_TRUE(
        CompareIntegerBlob(HexToSerial(QStringLiteral("000102")), QByteArray::fromHex("0201")));
    EXPECT_FALSE(CompareIntegerBlob(QByteArray::fromHex("80"), QByteArray::fromHex("8000")));
    EXPECT_TRUE(CompareIntegerBlob(QByteArray::fromHex("80FF"), QByteArray::fromHex("80")));
}

TEST(FindCertByIdentity, IssuerIsASubstringAndSerialAnInteger) {
    const TestPki& pki = TestPki::instance();
    const QList<Certificate> certs{pki.fundAp.cert, pki.twoOu.cert, pki.personal.cert};
    auto found = FindCertByIdentity(certs, QStringLiteral("Test CA"), QStringLiteral("000102"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, pki.personal.cert);
    EXPECT_FALSE(FindCertByIdentity(certs, QString(), QStringLiteral("0102")).has_value());
    EXPECT_FALSE(FindCertByIdentity(certs, QStringLiteral("test ca"), QStringLiteral("0102")));
    EXPECT_FALSE(FindCertByIdentity(certs, QStringLiteral("Test CA"), QStringLiteral("0103")));
    // Without its leading zero byte the text is a negative integer: no match.
    EXPECT_FALSE(FindCertByIdentity(certs, QStringLiteral("КВБ"), QStringLiteral("A1B2C3")));
    found = FindCertByIdentity(certs, QStringLiteral("КВБ"), QStringLiteral("00A1B2C3"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, pki.fundAp.cert);
}

TEST(IdentityFromCert, TakesCnOuOrOIssuerAndSerialKeepingStore) {
    const TestPki& pki = TestPki::instance();
    CertIdentity id{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"),
                    QStringLiteral("w"), 5};
    IdentityFromCert(pki.fundAp.cert, id);
    EXPECT_EQ(s(id.subject), "Уполномоченное лицо КВБ РФ");
    EXPECT_EQ(s(id.org), "Уполномоченное лицо");
    EXPECT_EQ(s(id.issuer), "Корневой УЦ КВБ РФ (тест)");
    EXPECT_EQ(s(id.sernum), "00A1B2C3");
    EXPECT_EQ(id.store, 5);
    IdentityFromCert(pki.rsa.cert, id); // no OU: the O value, without a blank
    EXPECT_EQ(s(id.org), "Example");
    EXPECT_EQ(s(id.issuer), "RSA User");
}

TEST(Certificate, ReadsDerPemAndBase64AndRefusesGarbage) {
    const TestPki& pki = TestPki::instance();
    EXPECT_EQ(*Certificate::fromAnyEncoding(pki.personal.certDer()), pki.personal.cert);
    EXPECT_EQ(*Certificate::fromAnyEncoding(pki.personal.certPem()), pki.personal.cert);
    EXPECT_EQ(*Certificate::fromAnyEncoding(pki.personal.certDer().toBase64()), pki.personal.cert);
    EXPECT_FALSE(Certificate::fromDer(pki.personal.certDer().toBase64()).ok());
    const Result<Certificate> bad = Certificate::fromDer(pki.personal.certDer().chopped(1));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.text(), certOpenFailedText());
    EXPECT_TRUE(pki.personal.cert.isGost());
    EXPECT_FALSE(pki.rsa.cert.isGost());
    EXPECT_EQ(pki.personal.cert.notBefore().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
              QStringLiteral("05.03.2024 09:07:00"));
}

TEST(CertStore, KeepsOrderOfAdditionAndRefusesDuplicates) {
    telva::test::TempProfile profile;
    const TestPki& pki = TestPki::instance();
    Result<CertStore> store = CertStore::open(7);
    ASSERT_TRUE(store.ok());
    EXPECT_EQ(s(store->folder()),
              s(profile.dataHome() + QStringLiteral("/KVB/certstore/AddressBook")));
    for (const Certificate& cert : {pki.twoOu.cert, pki.fundAp.cert, pki.ca.cert})
        ASSERT_TRUE(store->add(cert).ok());
    const Status again = store->add(pki.fundAp.cert);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, kCryptEExists);
    const QList<Certificate> listed = CertStore::open(7)->certificates();
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[0], pki.twoOu.cert);
    EXPECT_EQ(listed[1], pki.fundAp.cert);
    EXPECT_EQ(listed[2], pki.ca.cert);
    EXPECT_TRUE(store->remove(pki.fundAp.cert));
    EXPECT_FALSE(store->contains(pki.fundAp.cert));
    ASSERT_TRUE(store->add(pki.fundAp.cert).ok()); // re-added goes last
    EXPECT_EQ(CertStore::open(7)->certificates().last(), pki.fundAp.cert);
    EXPECT_FALSE(CertStore::open(8).ok());
    EXPECT_FALSE(CertStore::open(-1).ok());
}
