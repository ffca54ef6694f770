#include "operations/receipt_check.h"

#include "app/context.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "crypto/cert_store.h"
#include "crypto/key_store.h"
#include "crypto/receipt_cms.h"
#include "fake_frontend.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace telva;
using namespace telva::crypto;
using namespace telva::test;

namespace {

const QByteArray kPage = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                         "charset=windows-1251\"></head><body><p>\xCA\xE2\xE8\xF2\xE0\xED\xF6\xE8"
                         "\xFF 7701 \xEF\xF0\xE8\xED\xFF\xF2\xE0</p></body></html>";
const QByteArray kReport = "signed<R7REPORT><A>1</A></R7REPORT>tail";

class ReceiptCheck : public ::testing::Test {
protected:
    TempProfile profile;
    FakeFrontend frontend;
    AppContext ctx{frontend};
    const TestPki& pki = TestPki::instance();

    void SetUp() override { installStandard(ctx.settings); }

    QString work() const { return profile.root(); }

    QByteArray archive(const QStringList& options = {}) {
        return makeReceiptArchive(work(), QStringLiteral("7701"), kPage, kReport, options);
    }

    // A receipt from the fund to the personal certificate.
    QString receipt(const QByteArray& zip, bool withAttributes = true,
                    const QString& name = QStringLiteral("in/7701.p7e")) {
        const QByteArray bytes = makeReceipt(work(), zip, pki.fundAp, pki.personal, withAttributes);
        EXPECT_FALSE(bytes.isEmpty());
        return profile.writeFile(name, bytes);
    }

    // Statuses shown, without the empty ones that only clear the line.
    QStringList shownTexts() const {
        QStringList texts = frontend.statuses;
        texts.removeAll(QString());
        return texts;
    }

    void expectFailure(const Result<CheckedReceipt>& r, const QString& prefix) {
        ASSERT_FALSE(r.ok());
        const QStringList texts = shownTexts();
        ASSERT_EQ(texts.size(), 1) << texts.join('|').toStdString();
        EXPECT_TRUE(texts[0].startsWith(prefix + QLatin1Char('('))) << texts[0].toStdString();
        EXPECT_TRUE(texts[0].endsWith(QStringLiteral(").")));
        EXPECT_EQ(r.text(), texts[0]);
        EXPECT_TRUE(frontend.errors.isEmpty());
    }
};

const QString kDecryptError = QStringLiteral("Ошибка при дешифровании ");
const QString kSignerError = QStringLiteral("Ошибка при поиске подходящего сертификата ");
const QString kVerifyError = QStringLiteral("Ошибка при проверке подписи ");

} // namespace

TEST_F(ReceiptCheck, ValidReceiptWithAndWithoutSignedAttributes) {
    for (bool withAttributes : {true, false}) {
        for (const QStringList& options : {QStringList(), QStringList{"-0"}}) {
            frontend.statuses.clear();
            const QByteArray zip = archive(options);
            const QString path = receipt(zip, withAttributes);
            const Result<CheckedReceipt> r = CheckReceipt(ctx, path);
            ASSERT_TRUE(r.ok()) << r.text().toStdString();
            EXPECT_TRUE(shownTexts().isEmpty()) << shownTexts().join('|').toStdString();
            EXPECT_EQ(r->archivePath, profile.root() + QStringLiteral("/in/7701.zip"));
            EXPECT_EQ(readFileBytes(r->archivePath), zip);
            EXPECT_TRUE(r->page.contains(QStringLiteral("Квитанция 7701 принята")))
                << r->page.toStdString();
        }
    }
}

TEST_F(ReceiptCheck, SignerFoundInAnyStoreAndOnlyThere) {
    const QString path = receipt(archive());
    // Moved from AddressBook to TrustedPeople: still found.
    ASSERT_TRUE(CertStore::open(7)->remove(pki.fundAp.cert));
    installCert(pki.fundAp, 6);
    EXPECT_TRUE(CheckReceipt(ctx, path).ok()) << shownTexts().join('|').toStdString();

    // Removed everywhere: the certificate inside the message does not count.
    ASSERT_TRUE(CertStore::open(6)->remove(pki.fundAp.cert));
    expectFailure(CheckReceipt(ctx, path), kSignerError);
}

// Only the fund's certificate speaks for the fund: one that chains to the fund's root in
// "Root", was valid when it signed and may sign; never the user's own. A look-alike of the
// fund's certificate in a store searched earlier neither passes nor hides the real one.
TEST_F(ReceiptCheck, OnlyTheFundSigns) {
    installCert(pki.lookAlikeRoot, 4);
    installCert(pki.lookAlikeAp, 6);
    installCert(pki.fundExpired, 7);
    installCert(pki.fundNoSigning, 7);
    const QDateTime y2018(QDate(2018, 6, 1), QTime(10, 0), QTimeZone::utc());
    const QDateTime y2024(QDate(2024, 6, 1), QTime(10, 0), QTimeZone::utc());
    const QString fundName = QStringLiteral("Уполномоченное лицо КВБ РФ, Уполномоченное лицо");
    const QString notChained =
        QStringLiteral("сертификат не выдан корневым сертификатом КВБ, установленным в хранилище "
                       "\"Доверенные корневые центры сертификации\"");
    enum class Signed { Now, At, WithoutTime };
    const struct {
        const char* name;
        const TestPki::Item& signer;
        Signed how;
        QDateTime when; // the signing time, or the file's time for a receipt without one
        bool genuineInstalled;
        QString stage; // empty: the receipt passes
        QString reason;
    } rows[] = {
        {"fund", pki.fundAp, Signed::Now, {}, true, {}, {}},
        {"own key",
         pki.personal,
         Signed::Now,
         {},
         true,
         kSignerError,
         QStringLiteral("квитанцию подписал \"Иванова Мария Петровна, Бухгалтерия\": это ваш "
                        "собственный сертификат, а не сертификат КВБ")},
        {"look-alike",
         pki.lookAlikeAp,
         Signed::Now,
         {},
         true,
         kVerifyError,
         QStringLiteral("подпись неверна")},
        {"look-alike alone",
         pki.lookAlikeAp,
         Signed::Now,
         {},
         false,
         kSignerError,
         QStringLiteral("квитанцию подписал \"%1\": %2").arg(fundName, notChained)},
        {"expired at signing", pki.fundExpired, Signed::At, y2024, true, kSignerError,
         QStringLiteral("квитанцию подписал \"Уполномоченное лицо КВБ РФ (2015), КВБ РФ\": "
                        "сертификат действует с 01.01.2015 00:00:00 по 31.12.2020 12:00:00 "
                        "(UTC), а не на время подписи 01.06.2024 10:00:00 (UTC)")},
        {"no digitalSignature",
         pki.fundNoSigning,
         Signed::Now,
         {},
         true,
         kSignerError,
         QStringLiteral("квитанцию подписал \"Шифрование КВБ РФ, КВБ РФ\": использование ключа "
                        "сертификата не допускает подпись")},
        {"expired since signing", pki.fundExpired, Signed::At, y2018, true, {}, {}},
        {"expired since it came", pki.fundExpired, Signed::WithoutTime, y2018, true, {}, {}},
        {"expired when it came", pki.fundExpired, Signed::WithoutTime, y2024, true, kSignerError,
         QStringLiteral("квитанцию подписал \"Уполномоченное лицо КВБ РФ (2015), КВБ РФ\": "
                        "сертификат действует с 01.01.2015 00:00:00 по 31.12.2020 12:00:00 "
                        "(UTC), а не на время получения 01.06.2024 10:00:00 (UTC)")},
    };
    const QByteArray zip = archive();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        frontend.statuses.clear();
        const QByteArray bytes =
            row.how == Signed::At
                ? makeReceiptSignedAt(work(), zip, row.signer, pki.personal, row.when)
                : makeReceipt(work(), zip, row.signer, pki.personal, row.how == Signed::Now);
        const QString path = profile.writeFile("in/7701.p7e", bytes);
        if (row.how == Signed::WithoutTime) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::Append));
            ASSERT_TRUE(file.setFileTime(row.when, QFileDevice::FileModificationTime));
        }
        if (!row.genuineInstalled) {
            ASSERT_TRUE(CertStore::open(7)->remove(pki.fundAp.cert));
        }
        const Result<CheckedReceipt> r = CheckReceipt(ctx, path);
        if (!row.genuineInstalled)
            installCert(pki.fundAp, 7);
        if (row.stage.isEmpty()) {
            ASSERT_TRUE(r.ok()) << r.text().toStdString();
            EXPECT_TRUE(shownTexts().isEmpty()) << shownTexts().join('|').toStdString();
            EXPECT_EQ(r->signerCert, row.signer.cert);
            EXPECT_EQ(readFileBytes(r->archivePath), zip);
        } else {
            expectFailure(r, row.stage);
            EXPECT_EQ(r.text(), row.stage + '(' + row.reason + ").");
        }
    }
}

TEST_F(ReceiptCheck, IndefiniteLengthSignedDataVerifies) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    const QByteArray zip = archive();
    const QByteArray ber = opensslSign(work(), zip, fund.certPem, fund.keyPem, true, true,
                                       {QStringLiteral("-stream")});
    const QByteArray bytes = opensslEncrypt(work(), ber, personal.certPem);
    const Result<CheckedReceipt> r = CheckReceipt(ctx, profile.writeFile("ber/7701.p7e", bytes));
    ASSERT_TRUE(r.ok()) << r.text().toStdString();
    EXPECT_EQ(readFileBytes(r->archivePath), zip);
}

TEST_F(ReceiptCheck, IndefiniteLengthEnvelopeVerifies) {
    // -stream writes the enveloped-data in BER with the cipher text in pieces.
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    const QByteArray zip = archive();
    const QByteArray der = opensslSign(work(), zip, fund.certPem, fund.keyPem, false);
    const QByteArray ber =
        opensslEncrypt(work(), der, personal.certPem, {QStringLiteral("-stream")});
    ASSERT_NE(ber.indexOf(QByteArray("\xA0\x80", 2)), -1);
    const Result<CheckedReceipt> r = CheckReceipt(ctx, profile.writeFile("ber2/7701.p7e", ber));
    ASSERT_TRUE(r.ok()) << r.text().toStdString();
    EXPECT_EQ(readFileBytes(r->archivePath), zip);
}

TEST_F(ReceiptCheck, SignedOnlyFailsAtDecryption) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const QByteArray signedOnly = opensslSign(work(), archive(), fund.certPem, fund.keyPem, true);
    expectFailure(CheckReceipt(ctx, profile.writeFile("s.p7e", signedOnly)), kDecryptError);
    EXPECT_FALSE(QFile::exists(profile.root() + "/s.zip"));
}

TEST_F(ReceiptCheck, EncryptedOnlyFailsAtSignerSearch) {
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    const QByteArray encryptedOnly = opensslEncrypt(work(), archive(), personal.certPem);
    expectFailure(CheckReceipt(ctx, profile.writeFile("e.p7e", encryptedOnly)), kSignerError);
}

TEST_F(ReceiptCheck, NotForThisWorkstation) {
    // Encrypted for a certificate whose key is not here.
    const QByteArray bytes = makeReceipt(work(), archive(), pki.fundAp, pki.twoOu);
    expectFailure(CheckReceipt(ctx, profile.writeFile("o.p7e", bytes)), kDecryptError);

    // The personal certificate installed, but its key gone.
    frontend.statuses.clear();
    ASSERT_TRUE(RemovePrivateKey(pki.personal.cert));
    expectFailure(CheckReceipt(ctx, receipt(archive())), kDecryptError);
}

TEST_F(ReceiptCheck, AlteredSignatureOrContentFailsVerification) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    for (bool withAttributes : {true, false}) {
        const QByteArray zip = archive();
        QByteArray signedData = opensslSign(work(), zip, fund.certPem, fund.keyPem, withAttributes);
        ASSERT_FALSE(signedData.isEmpty());
        // The signature value closes the message.
        QByteArray badSignature = signedData;
        badSignature[badSignature.size() - 5] = char(badSignature[badSignature.size() - 5] ^ 0x40);
        // One byte of the signed archive.
        QByteArray badContent = signedData;
        const qsizetype at = badContent.indexOf(zip.mid(40, 16));
        ASSERT_GT(at, 0);
        badContent[at] = char(badContent[at] ^ 0x01);

        for (const QByteArray& bad : {badSignature, badContent}) {
            frontend.statuses.clear();
            const QByteArray bytes = opensslEncrypt(work(), bad, personal.certPem);
            const QString path = profile.writeFile("bad.p7e", bytes);
            expectFailure(CheckReceipt(ctx, path), kVerifyError);
            EXPECT_EQ(frontend.lastStatus(), kVerifyError + QStringLiteral("(подпись неверна)."));
            EXPECT_FALSE(QFile::exists(profile.root() + "/bad.zip"));
        }
    }
}

TEST_F(ReceiptCheck, Gost2012ReceiptVerifiesAndADigestOfAnotherSizeIsRefused) {
    installCert(pki.fundAp2012, 7);
    installCert(pki.personal2012, 0, true);
    const PkiFiles fund = writePkiFiles(pki.fundAp2012, work() + "/pki", "fund2012");
    const PkiFiles personal = writePkiFiles(pki.personal2012, work() + "/pki", "personal2012");
    // The DER of the Streebog-256 and Streebog-512 identifiers: same length, last byte apart.
    const QByteArray streebog256 = QByteArray::fromHex("06082a85030701010202");
    const QByteArray streebog512 = QByteArray::fromHex("06082a85030701010203");
    for (bool withAttributes : {true, false}) {
        const QByteArray zip = archive();
        const QByteArray signedData =
            opensslSign(work(), zip, fund.certPem, fund.keyPem, withAttributes);
        ASSERT_TRUE(signedData.contains(streebog256));
        QByteArray otherDigest = signedData;
        otherDigest.replace(streebog256, streebog512);
        for (const QByteArray& message : {signedData, otherDigest}) {
            frontend.statuses.clear();
            const QString path =
                profile.writeFile("in/2012.p7e", opensslEncrypt(work(), message, personal.certPem));
            const Result<CheckedReceipt> r = CheckReceipt(ctx, path);
            if (message == signedData) {
                ASSERT_TRUE(r.ok()) << r.text().toStdString();
                EXPECT_EQ(readFileBytes(r->archivePath), zip);
            } else {
                expectFailure(r, kVerifyError);
                EXPECT_EQ(frontend.lastStatus(),
                          kVerifyError + QStringLiteral("(подпись неверна)."));
            }
        }
    }
}

TEST_F(ReceiptCheck, FileProblems) {
    const QString missing = profile.root() + "/missing.p7e";
    EXPECT_FALSE(CheckReceipt(ctx, missing).ok());
    EXPECT_EQ(shownTexts(), QStringList{openErrorText(missing)});

    frontend.statuses.clear();
    expectFailure(CheckReceipt(ctx, profile.writeFile("empty.p7e", {})), kDecryptError);
}

TEST_F(ReceiptCheck, TruncatedArchiveEndsInErrorBox) {
    const QByteArray zip = archive();
    const QString path = receipt(zip.left(zip.size() - 10));
    const Result<CheckedReceipt> r = CheckReceipt(ctx, path);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(frontend.errors, QStringList{QStringLiteral("Incomplete Zip File")});
    EXPECT_TRUE(shownTexts().isEmpty());
    // The verified content is on disk all the same.
    EXPECT_EQ(readFileBytes(profile.root() + "/in/7701.zip"), zip.left(zip.size() - 10));
}

TEST_F(ReceiptCheck, PageNamedAfterReceiptFile) {
    const QByteArray zip = archive();
    // A receipt under another name finds no page and still passes.
    const Result<CheckedReceipt> other = CheckReceipt(ctx, receipt(zip, true, "in/other.p7e"));
    ASSERT_TRUE(other.ok());
    EXPECT_TRUE(other->page.isEmpty());
    EXPECT_EQ(other->archivePath, profile.root() + "/in/other.zip");

    // Without an extension ".zip" is appended and the page is still found.
    const Result<CheckedReceipt> bare = CheckReceipt(ctx, receipt(zip, true, "in/7701"));
    ASSERT_TRUE(bare.ok());
    EXPECT_EQ(bare->archivePath, profile.root() + "/in/7701.zip");
    EXPECT_FALSE(bare->page.isEmpty());
    EXPECT_TRUE(frontend.boxes.isEmpty());
}

TEST_F(ReceiptCheck, ReplacesEarlierArchive) {
    profile.writeFile("in/7701.zip", QByteArray(100000, 'z'));
    const QByteArray zip = archive();
    ASSERT_TRUE(CheckReceipt(ctx, receipt(zip)).ok());
    EXPECT_EQ(readFileBytes(profile.root() + "/in/7701.zip"), zip);
}

TEST_F(ReceiptCheck, ContentLargerThanTheWindowStreamsFromTheFile) {
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    QByteArray report(5 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < report.size(); ++i)
        report[i] = char((i * 7919) >> 5);
    const QByteArray zip =
        makeReceiptArchive(work(), QStringLiteral("7701"), kPage, report, {QStringLiteral("-0")});
    const QByteArray der = opensslSign(work(), zip, fund.certPem, fund.keyPem, true);
    const QByteArray ber = opensslSign(work(), zip, fund.certPem, fund.keyPem, true, true,
                                       {QStringLiteral("-stream")});
    // The envelope in DER, then in BER with the cipher text in pieces of open length.
    const QStringList berEnvelope{QStringLiteral("-stream")};
    for (const auto& [signedData, envelope] :
         {std::pair(der, QStringList()), std::pair(ber, QStringList()),
          std::pair(ber, berEnvelope)}) {
        const QString path = profile.writeFile(
            "big/7701.p7e", opensslEncrypt(work(), signedData, personal.certPem, envelope));
        const std::optional<CertCollection> stores = OpenAllStores(ctx);
        ASSERT_TRUE(stores.has_value());
        QByteArray streamed;
        const int fd = openRegularFile(path);
        const auto opened = OpenReceiptFile(fd, *stores, QDateTime::currentDateTimeUtc(), &frontend,
                                            [&](const char* d, qint64 n) {
                                                streamed.append(d, qsizetype(n));
                                                return true;
                                            });
        ::close(fd);
        ASSERT_TRUE(opened) << opened.text().toStdString();
        EXPECT_TRUE(opened->streamed);
        EXPECT_EQ(streamed, zip);

        const Result<CheckedReceipt> r = CheckReceipt(ctx, path);
        ASSERT_TRUE(r.ok()) << r.text().toStdString();
        EXPECT_EQ(readFileBytes(r->archivePath), zip);
        EXPECT_FALSE(r->page.isEmpty());
    }
}

TEST_F(ReceiptCheck, CutOffReceiptLeavesNoArchive) {
    const QByteArray der = makeReceipt(work(), archive(), pki.fundAp, pki.personal);
    const PkiFiles fund = writePkiFiles(pki.fundAp, work() + "/pki", "fund");
    const PkiFiles personal = writePkiFiles(pki.personal, work() + "/pki", "personal");
    const QByteArray ber =
        opensslEncrypt(work(), opensslSign(work(), archive(), fund.certPem, fund.keyPem, true),
                       personal.certPem, {QStringLiteral("-stream")});
    const QString earlier = profile.writeFile("in/7701.zip", "earlier");
    for (const QByteArray& whole : {der, ber}) {
        for (const qsizetype kept : {qsizetype(40), whole.size() / 2, whole.size() - 1}) {
            const QString path = profile.writeFile("in/7701.p7e", whole.left(kept));
            frontend.statuses.clear();
            expectFailure(CheckReceipt(ctx, path), kDecryptError);
            EXPECT_EQ(readFileBytes(earlier), "earlier") << kept;
            EXPECT_EQ(QDir(work() + "/in").entryList(QDir::Files),
                      QStringList({"7701.p7e", "7701.zip"}))
                << kept;
        }
    }
}
