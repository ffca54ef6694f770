#include "app/context.h"
#include "crypto/ber_frames.h"
#include "crypto/cert_details.h"
#include "crypto/cert_import.h"
#include "crypto/cert_rows.h"
#include "crypto/cert_store.h"
#include "crypto/cms_build.h"
#include "crypto/der.h"
#include "crypto/key_store.h"
#include "crypto/providers.h"
#include "crypto/sign_encrypt.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace telva;
using namespace telva::crypto;
using telva::test::TestPki;

namespace {

// Runs the openssl command without the environment's parameter-set override.
int openssl(const QStringList& args, QByteArray* output = nullptr) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CRYPT_PARAMS"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitCode();
}

class SignAndEncryptTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ProviderList providers = FillProviderList(QString());
        ASSERT_EQ(providers.entries.size(), 1);
        ctx.settings.provName = providers.entries.first().name;
        ctx.settings.provType = providers.entries.first().type;
        telva::test::installStandard(ctx.settings);
        input = profile.writeFile(QStringLiteral("work/report.xml"), report(4096));
        output = profile.root() + QStringLiteral("/work/report.er7");
    }

    static QByteArray report(qsizetype size) {
        QByteArray bytes = "<?xml version=\"1.0\"?>\n<R7REPORT>";
        while (bytes.size() < size - 12)
            bytes += "строка\r\n\n\x00\xff";
        bytes += "</R7REPORT>\n";
        return bytes.left(size);
    }

    QString decryptWith(const TestPki::Item& item, const QString& name) {
        const auto files = telva::test::writePkiFiles(item, profile.root() + "/pki", name);
        const QString plain = profile.root() + "/work/" + name + ".p7s";
        QByteArray log;
        const int rc = openssl({"cms", "-decrypt", "-engine", "gost", "-binary", "-debug_decrypt",
                                "-inform", "DER", "-in", output, "-recip", files.certPem, "-inkey",
                                files.keyPem, "-out", plain},
                               &log);
        return rc == 0 ? plain : QString();
    }

    // openssl verifies the signed message and finds the input in it unchanged.
    void expectVerifiesToInput(const QString& signedFile) {
        const QString verified = profile.root() + "/work/verified.xml";
        QByteArray log;
        ASSERT_EQ(openssl({"cms", "-verify", "-engine", "gost", "-noverify", "-binary", "-inform",
                           "DER", "-in", signedFile, "-out", verified},
                          &log),
                  0)
            << log.toStdString();
        EXPECT_EQ(telva::test::readFileBytes(verified), telva::test::readFileBytes(input));
    }

    // Signs and keeps the outcome's text, the one the status line shows.
    bool sign(const QString& in, const QString& out) {
        const Result<QString> done = SignAndEncrypt(ctx, in, out);
        said = done ? *done : done.text();
        return done.ok();
    }

    telva::test::TempProfile profile;
    telva::test::FakeFrontend frontend;
    QString said;
    ManualClock clock{QDateTime(QDate(2026, 3, 2), QTime(10, 0))};
    AppContext ctx{frontend, clock};
    QString input;
    QString output;
};

QByteArray contentOf(const QByteArray& bytes, const der::Tlv& tlv) {
    return bytes.mid(tlv.contentOffset(), tlv.length);
}

QList<der::Tlv> kids(const QByteArray& bytes, const der::Tlv& tlv) {
    const auto list = der::children(bytes, tlv);
    EXPECT_TRUE(list.has_value());
    return list.value_or(QList<der::Tlv>());
}

} // namespace

TEST_F(SignAndEncryptTest, OutputDecryptsForTheFundAndVerifiesWithTheInputUnchanged) {
    ASSERT_TRUE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Файл зашифрован и подписан."));
    EXPECT_TRUE(frontend.questions.isEmpty());

    const QString signedFile = decryptWith(TestPki::instance().fundAp, "fund");
    ASSERT_FALSE(signedFile.isEmpty());
    expectVerifiesToInput(signedFile);

    // The signer is not a recipient.
    EXPECT_TRUE(decryptWith(TestPki::instance().personal, "personal").isEmpty());
}

TEST_F(SignAndEncryptTest, MessageHasTheAgreedStructure) {
    qputenv("CRYPT_PARAMS", "id-tc26-gost-28147-param-Z"); // must not change the parameter set
    const bool ok = sign(input, output);
    qunsetenv("CRYPT_PARAMS");
    ASSERT_TRUE(ok);
    const QByteArray msg = telva::test::readFileBytes(output);
    const auto top = der::readWhole(msg);
    ASSERT_TRUE(top.has_value());
    auto ci = kids(msg, *top);
    ASSERT_EQ(ci.size(), 2);
    EXPECT_EQ(der::oidText(msg, ci[0]), "1.2.840.113549.1.7.3");
    auto env = kids(msg, kids(msg, ci[1]).value(0));
    ASSERT_EQ(env.size(), 3); // version, recipientInfos, encryptedContentInfo
    EXPECT_EQ(contentOf(msg, env[0]), QByteArray(1, '\0'));
    auto recipients = kids(msg, env[1]);
    ASSERT_EQ(recipients.size(), 1);
    auto ktri = kids(msg, recipients[0]);
    ASSERT_EQ(ktri.size(), 4);
    EXPECT_EQ(contentOf(msg, ktri[0]), QByteArray(1, '\0')); // issuer and serial
    auto rid = kids(msg, ktri[1]);
    ASSERT_EQ(rid.size(), 2);
    EXPECT_EQ(contentOf(msg, rid[1]), QByteArray::fromHex("00A1B2C3"));
    EXPECT_EQ(der::oidText(msg, kids(msg, ktri[2]).value(0)), "1.2.643.2.2.19");
    auto eci = kids(msg, env[2]);
    ASSERT_EQ(eci.size(), 3);
    auto alg = kids(msg, eci[1]);
    EXPECT_EQ(der::oidText(msg, alg.value(0)), "1.2.643.2.2.21");
    auto params = kids(msg, alg.value(1));
    ASSERT_EQ(params.size(), 2);
    EXPECT_EQ(params[0].length, 8); // IV
    EXPECT_EQ(der::oidText(msg, params[1]), "1.2.643.2.2.31.1");
    EXPECT_EQ(eci[2].tag, der::kContext0Primitive);

    const QString signedFile = decryptWith(TestPki::instance().fundAp, "fund");
    ASSERT_FALSE(signedFile.isEmpty());
    const QByteArray sd = telva::test::readFileBytes(signedFile);
    const auto sdTop = der::readWhole(sd);
    ASSERT_TRUE(sdTop.has_value());
    auto sci = kids(sd, *sdTop);
    ASSERT_EQ(sci.size(), 2);
    EXPECT_EQ(der::oidText(sd, sci[0]), "1.2.840.113549.1.7.2");
    auto body = kids(sd, kids(sd, sci[1]).value(0));
    ASSERT_EQ(body.size(), 5); // version, digests, content, certificates, signers: no CRLs
    EXPECT_EQ(contentOf(sd, body[0]), QByteArray(1, '\1'));
    auto digests = kids(sd, body[1]);
    ASSERT_EQ(digests.size(), 1);
    EXPECT_EQ(der::oidText(sd, kids(sd, digests[0]).value(0)), "1.2.643.2.2.9");
    auto encap = kids(sd, body[2]);
    ASSERT_EQ(encap.size(), 2);
    EXPECT_EQ(der::oidText(sd, encap[0]), "1.2.840.113549.1.7.1");
    auto octets = kids(sd, encap[1]);
    ASSERT_EQ(octets.size(), 1);
    EXPECT_EQ(contentOf(sd, octets[0]), telva::test::readFileBytes(input));
    EXPECT_EQ(body[3].tag, der::kContext0);
    auto certs = kids(sd, body[3]);
    ASSERT_EQ(certs.size(), 1);
    EXPECT_EQ(sd.mid(certs[0].offset, certs[0].size()), TestPki::instance().personal.certDer());
    auto signers = kids(sd, body[4]);
    ASSERT_EQ(signers.size(), 1);
    auto si = kids(sd, signers[0]);
    ASSERT_EQ(si.size(), 5); // version, sid, digest, signature algorithm, signature: no attributes
    EXPECT_EQ(contentOf(sd, si[0]), QByteArray(1, '\1'));
    EXPECT_EQ(si[1].tag, der::kSequence);
    EXPECT_EQ(der::oidText(sd, kids(sd, si[2]).value(0)), "1.2.643.2.2.9");
    EXPECT_EQ(si[4].tag, der::kOctetString);
    EXPECT_EQ(si[4].length, 64);
}

TEST_F(SignAndEncryptTest, EveryKeyPairingDecryptsAndVerifiesWithOpenssl) {
    const TestPki& pki = TestPki::instance();
    struct Case {
        const TestPki::Item& personal;
        const TestPki::Item& fund;
        const char* digest;
        const char* signature;
        qsizetype signatureSize;
        const char* transport;
        const char* name; // as the viewer gives it
    };
    const Case cases[] = {
        {pki.personal, pki.fundAp, "1.2.643.2.2.9", "1.2.643.2.2.19", 64, "1.2.643.2.2.19",
         "ГОСТ Р 34.10-2001"},
        {pki.personal, pki.fundAp2012, "1.2.643.2.2.9", "1.2.643.2.2.19", 64, "1.2.643.7.1.1.1.1",
         "ГОСТ Р 34.10-2001"},
        {pki.personal2012, pki.fundAp, "1.2.643.7.1.1.2.2", "1.2.643.7.1.1.1.1", 64,
         "1.2.643.2.2.19", "ГОСТ Р 34.10-2012 (256)"},
        {pki.personal2012, pki.fundAp2012, "1.2.643.7.1.1.2.2", "1.2.643.7.1.1.1.1", 64,
         "1.2.643.7.1.1.1.1", "ГОСТ Р 34.10-2012 (256)"},
        {pki.personal2012x512, pki.fundAp2012, "1.2.643.7.1.1.2.3", "1.2.643.7.1.1.1.2", 128,
         "1.2.643.7.1.1.1.1", "ГОСТ Р 34.10-2012 (512)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signature + std::string(" for ") + c.transport);
        telva::test::installCert(c.personal, 0, true);
        telva::test::installCert(c.fund, 7);
        ctx.settings.priv = c.personal.identity(0);
        ctx.settings.pub = c.fund.identity(7);
        ASSERT_TRUE(sign(input, output)) << said.toStdString();

        const QByteArray msg = telva::test::readFileBytes(output);
        const auto env = kids(msg, kids(msg, kids(msg, *der::readWhole(msg)).value(1)).value(0));
        const auto ktri = kids(msg, kids(msg, env.value(1)).value(0));
        EXPECT_EQ(der::oidText(msg, kids(msg, ktri.value(2)).value(0)), c.transport);
        const QString signedFile = decryptWith(c.fund, "fund");
        ASSERT_FALSE(signedFile.isEmpty());
        expectVerifiesToInput(signedFile);

        const QByteArray sd = telva::test::readFileBytes(signedFile);
        const auto body = kids(sd, kids(sd, kids(sd, *der::readWhole(sd)).value(1)).value(0));
        EXPECT_EQ(der::oidText(sd, kids(sd, kids(sd, body.value(1)).value(0)).value(0)), c.digest);
        const auto si = kids(sd, kids(sd, body.value(4)).value(0));
        ASSERT_EQ(si.size(), 5);
        EXPECT_EQ(der::oidText(sd, kids(sd, si[2]).value(0)), c.digest);
        EXPECT_EQ(der::oidText(sd, kids(sd, si[3]).value(0)), c.signature);
        EXPECT_EQ(si[4].length, c.signatureSize);
        EXPECT_TRUE(DescribeCertificate(c.personal.cert)
                        .contains({QStringLiteral("Алгоритм ключа"), QString::fromUtf8(c.name)}));
    }
}

TEST_F(SignAndEncryptTest, KeyOfTheOtherAlgorithmOrOneTheEngineCannotUseIsRefused) {
    const TestPki& pki = TestPki::instance();
    const QString p12 = profile.root() + "/p512.p12";
    const auto p512 = telva::test::writePkiFiles(pki.personal2012x512, profile.root(), "p512");
    ASSERT_EQ(openssl({"pkcs12", "-export", "-engine", "gost", "-in", p512.certPem, "-inkey",
                       p512.keyPem, "-passout", "pass:", "-out", p12}),
              0);
    const QString mismatch = QStringLiteral("Закрытый ключ не соответствует сертификату.");
    const struct {
        const TestPki::Item& item;
        QByteArray cert;
        QByteArray key; // empty: the PKCS#12 file
        QString error;
    } imports[] = {
        {pki.personal2012, pki.personal2012.certDer(), pki.personal2012.keyPemEncrypted("п"), {}},
        {pki.personal2012x512, {}, {}, {}},
        {pki.personal2012, pki.personal2012.certPem(), pki.personal.keyPem(), mismatch},
        {pki.personal, pki.personal.certPem(), pki.personal2012.keyPem(), mismatch},
        {pki.personal2012, pki.personal2012.certPem(), pki.personal2012x512.keyPem(), mismatch},
    };
    for (const auto& c : imports) {
        RemovePrivateKey(c.item.cert);
        frontend.keyPasswords = {QStringLiteral("п"), QStringLiteral("п")};
        const Result<Certificate> imported =
            c.key.isEmpty() ? ImportPkcs12(2, telva::test::readFileBytes(p12), &frontend)
                            : ImportCertificate(2, c.cert, c.key, &frontend);
        EXPECT_EQ(imported.ok() ? QString() : imported.text(), c.error);
        EXPECT_EQ(CertStore::open(2)->contains(c.item.cert), c.error.isEmpty());
        EXPECT_EQ(HasPrivateKey(c.item.cert), c.error.isEmpty());
        EXPECT_EQ(LoadPrivateKey(c.item.cert, &frontend).ok(), c.error.isEmpty());
        CertStore::open(2)->remove(c.item.cert);
    }

    // The key's parameter set 1.2.643.2.2.35.1 turned into 1.2.643.2.2.35.9, which nobody knows:
    // listed among the GOST certificates, refused at signing.
    QByteArray der = pki.personal2012.certDer();
    const QByteArray known = QByteArray::fromHex("06072a850302022301");
    ASSERT_EQ(der.count(known), 1);
    der.replace(known, QByteArray::fromHex("06072a850302022309"));
    const Result<Certificate> cert = Certificate::fromDer(der);
    ASSERT_TRUE(cert.ok());
    const TestPki::Item odd{*cert, {}};
    telva::test::installCert(odd, 0);
    EXPECT_TRUE(ListCertificates(0, true, false).certs.contains(*cert));
    ctx.settings.priv = odd.identity(0);
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said,
              QStringLiteral("Ошибка при шифровании (Модуль ГОСТ не поддерживает ключ "
                             "сертификата: ГОСТ Р 34.10-2012 (256) с этими параметрами. Выберите "
                             "другой сертификат)."));
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(SignAndEncryptTest, SizeLimitIsOneHundredBytes) {
    const QString small = profile.writeFile("work/small.xml", report(99));
    EXPECT_FALSE(sign(small, output));
    EXPECT_EQ(said, QStringLiteral("Файл \"%1\" имеет недопустимо малый размер.").arg(small));
    EXPECT_FALSE(QFile::exists(output));
    const QString enough = profile.writeFile("work/enough.xml", report(100));
    EXPECT_TRUE(sign(enough, output));
}

TEST_F(SignAndEncryptTest, InputThatCannotBeOpenedOrIsLocked) {
    EXPECT_FALSE(sign(input + "-missing", output));
    EXPECT_EQ(said, QStringLiteral("Ошибка открытия \"%1-missing\".").arg(input));
    const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(sign(input, output));
    ::close(fd);
    EXPECT_EQ(said, QStringLiteral("Ошибка открытия \"%1\".").arg(input));
}

TEST_F(SignAndEncryptTest, ValidityQuestionsInOrderAndYesAbortsSilently) {
    const TestPki& pki = TestPki::instance();
    telva::test::installCert(pki.expired, 0, true);
    ctx.settings.priv = pki.expired.identity(0);
    frontend.yesNoAnswers = {true};
    EXPECT_FALSE(sign(input, output));
    ASSERT_EQ(frontend.questions.size(), 1);
    EXPECT_EQ(frontend.questions[0].text,
              QStringLiteral("Личный сертификат просрочен.\r\nФайл не пройдет форматный "
                             "контроль. Прервать операцию ?"));
    EXPECT_EQ(frontend.questions[0].caption, QStringLiteral("Внимание"));
    EXPECT_EQ(frontend.questions[0].icon, telva::Frontend::Icon::Information);
    EXPECT_TRUE(said.isEmpty());
    EXPECT_FALSE(QFile::exists(output));

    // No to every question signs as usual.
    frontend.questions.clear();
    frontend.yesNoAnswers = {false, false};
    EXPECT_TRUE(sign(input, output));
    EXPECT_EQ(frontend.questions.size(), 1);
}

TEST_F(SignAndEncryptTest, ValidityIsJudgedByCalendarDay) {
    const TestPki& pki = TestPki::instance();
    // Ends 30.06.2040 15:00 UTC: expired from 00:00 of that day, not on the day before.
    clock.advance(clock.now().msecsTo(QDateTime(QDate(2040, 6, 30), QTime(0, 0, 1))));
    frontend.yesNoAnswers = {false};
    EXPECT_TRUE(sign(input, output));
    ASSERT_EQ(frontend.questions.size(), 1);
    EXPECT_TRUE(
        frontend.questions[0].text.startsWith(QStringLiteral("Личный сертификат просрочен.")));
    frontend.questions.clear();
    clock.advance(-2000);
    EXPECT_TRUE(sign(input, output));
    EXPECT_TRUE(frontend.questions.isEmpty());
    // Starts 05.03.2024 09:07 UTC: valid from 00:00 of that day.
    clock.advance(clock.now().msecsTo(QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0))));
    EXPECT_TRUE(sign(input, output));
    EXPECT_TRUE(frontend.questions.isEmpty());
    clock.advance(-1000);
    frontend.yesNoAnswers = {false};
    EXPECT_TRUE(sign(input, output));
    ASSERT_EQ(frontend.questions.size(), 1);
    EXPECT_TRUE(
        frontend.questions[0].text.startsWith(QStringLiteral("Личный сертификат не вступил")));
    Q_UNUSED(pki);
}

TEST_F(SignAndEncryptTest, FundCertificateQuestionsComeAfterThePersonalOnes) {
    const TestPki& pki = TestPki::instance();
    telva::test::installCert(pki.notYetValid, 7);
    ctx.settings.pub = pki.notYetValid.identity(7);
    frontend.yesNoAnswers = {false, true};
    telva::test::installCert(pki.expired, 0, true);
    ctx.settings.priv = pki.expired.identity(0);
    EXPECT_FALSE(sign(input, output));
    ASSERT_EQ(frontend.questions.size(), 2);
    EXPECT_TRUE(frontend.questions[1].text.startsWith(
        QStringLiteral("Сертификат доверенного лица не вступил в силу.")));
}

TEST_F(SignAndEncryptTest, BothCertificatesInOneStore) {
    telva::test::installCert(TestPki::instance().fundAp, 0);
    ctx.settings.pub.store = 0;
    EXPECT_TRUE(sign(input, output));
    // Different stores search both: the fund certificate is found in "My" from "AddressBook" too.
    ctx.settings.pub.store = 7;
    ctx.settings.priv.store = 7;
    telva::test::installCert(TestPki::instance().personal, 7);
    EXPECT_TRUE(sign(input, output));
}

TEST_F(SignAndEncryptTest, FailuresEachLeaveTheirText) {
    ctx.settings.provName = QStringLiteral("Нет такого провайдера");
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Не удалось выбрать провайдера."));
    SetUp();

    ctx.settings.pub.issuer.clear();
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Не удалось открыть сертификат."));
    SetUp();

    ctx.settings.priv.store = 9;
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Не удалось открыть хранилище."));
    SetUp();

    ASSERT_TRUE(RemovePrivateKey(TestPki::instance().personal.cert));
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Ошибка при шифровании (Нет закрытого ключа)."));
    EXPECT_FALSE(QFile::exists(output));
    SetUp();

    EXPECT_FALSE(sign(input, profile.root() + "/no/such/folder/out.er7"));
    EXPECT_EQ(
        said,
        QStringLiteral("Ошибка создания \"%1\".").arg(profile.root() + "/no/such/folder/out.er7"));
}

TEST_F(SignAndEncryptTest, ProtectedKeyAsksForItsPassword) {
    const TestPki& pki = TestPki::instance();
    ASSERT_TRUE(
        StorePrivateKey(pki.personal.cert, pki.personal.pkey(), QStringLiteral("секрет")).ok());
    frontend.keyPasswords = {QStringLiteral("неверно"), QStringLiteral("секрет")};
    EXPECT_TRUE(sign(input, output));
    EXPECT_EQ(frontend.keyPasswordRequests.size(), 2);
    frontend.keyPasswords.clear();
    EXPECT_FALSE(sign(input, output));
    EXPECT_EQ(said, QStringLiteral("Ошибка при шифровании (Пароль закрытого ключа не введен)."));
}

TEST_F(SignAndEncryptTest, ExistingOutputIsReplaced) {
    profile.writeFile("work/report.er7", QByteArray(1 << 16, 'x'));
    ASSERT_TRUE(sign(input, output));
    EXPECT_LT(QFileInfo(output).size(), 1 << 15);
}

TEST_F(SignAndEncryptTest, InputOfSeveralBlocksSignsWhole) {
    input = profile.writeFile(QStringLiteral("work/large.xml"), report((5 << 19) + 7));
    ASSERT_TRUE(sign(input, output));
    const QString signedFile = decryptWith(TestPki::instance().fundAp, "fund");
    ASSERT_FALSE(signedFile.isEmpty());
    const QString verified = profile.root() + "/work/verified.xml";
    ASSERT_EQ(openssl({"cms", "-verify", "-engine", "gost", "-noverify", "-binary", "-inform",
                       "DER", "-in", signedFile, "-out", verified}),
              0);
    EXPECT_EQ(telva::test::readFileBytes(verified), telva::test::readFileBytes(input));
    EXPECT_EQ(frontend.percents.value(0), 0);
    EXPECT_EQ(frontend.percents.last(), -1);
}

// Hashing 4 GiB takes minutes, so the sizes past 4 GiB are checked in the headers written
// before the content, and a sparse file that large is shown to be taken (then cancelled).
TEST_F(SignAndEncryptTest, InputPastFourGibibytesHasSixtyFourBitLengths) {
    const quint64 size = (quint64(5) << 30) + 3;
    const TestPki& pki = TestPki::instance();
    Result<SignedDataWriter> signedData =
        SignedDataWriter::begin(pki.personal.cert, pki.personal.pkey(), size);
    ASSERT_TRUE(signedData.ok()) << signedData.text().toStdString();
    const QByteArray& prefix = signedData->prefix();
    const auto top = ber::readHeader(prefix.constData(), prefix.size(), 0);
    const qint64 headerSize = der::header(der::kOctetString, size).size();
    const auto octets =
        ber::readHeader(prefix.constData(), prefix.size(), prefix.size() - headerSize);
    ASSERT_TRUE(top && octets);
    EXPECT_EQ(octets->tag, 0x04u);
    EXPECT_EQ(quint64(octets->length), size);
    EXPECT_EQ(quint64(top->end()), prefix.size() + size + signedData->suffixSize());

    const quint64 plain = quint64(top->end());
    Result<EnvelopeWriter> envelope = EnvelopeWriter::begin(pki.fundAp.cert, plain);
    ASSERT_TRUE(envelope.ok());
    const QByteArray& header = envelope->header();
    const auto outer = ber::readHeader(header.constData(), header.size(), 0);
    const auto cipher =
        ber::readHeader(header.constData(), header.size(),
                        header.size() - der::header(der::kOctetString, plain).size());
    ASSERT_TRUE(outer && cipher);
    EXPECT_EQ(cipher->tag, 0x80u);
    EXPECT_EQ(quint64(cipher->length), plain);
    EXPECT_EQ(quint64(outer->end()), header.size() + plain);

    const QString big = profile.root() + QStringLiteral("/work/big.xml");
    QFile sparse(big);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(size)));
    sparse.close();
    frontend.cancel = true;
    EXPECT_FALSE(sign(big, output));
    EXPECT_EQ(frontend.progress.last(), QStringLiteral("Подпись и шифрование ... 0%"));
    EXPECT_EQ(said, QStringLiteral("Подпись отменена."));
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(SignAndEncryptTest, InputThatChangesSizeWhileSignedLeavesNoOutput) {
    for (const qint64 newSize : {qint64(200), qint64(5000)}) {
        input = profile.writeFile(QStringLiteral("work/report.xml"), report(4096));
        frontend.onProcessEvents = [&] {
            QFile::resize(input, newSize);
            frontend.onProcessEvents = nullptr;
        };
        EXPECT_FALSE(sign(input, output)) << newSize;
        EXPECT_EQ(said,
                  QStringLiteral("Файл \"%1\" изменился во время подписи. Подпишите его еще раз.")
                      .arg(input));
        EXPECT_FALSE(QFile::exists(output)) << newSize;
    }
}

TEST_F(SignAndEncryptTest, FullDiskLeavesNoPartialOutput) {
    input = profile.writeFile(QStringLiteral("work/report.xml"), report(1 << 16));
    const QDir folder = QFileInfo(output).dir();
    const QStringList before = folder.entryList(QDir::Files);
    // Writes past 16 KiB fail as they would on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16 << 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = sign(input, output);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(said, QStringLiteral("Ошибка записи в \"%1\".").arg(output));
    EXPECT_EQ(folder.entryList(QDir::Files), before);
}

TEST_F(SignAndEncryptTest, KeysAndStoresArePrivateAndAnExposedKeyIsRefused) {
    const TestPki& pki = TestPki::instance();
    const mode_t saved = umask(022);
    ASSERT_TRUE(StorePrivateKey(pki.personal.cert, pki.personal.pkey()).ok());
    telva::test::installCert(pki.expired, 3);
    umask(saved);
    const QString key = keyFilePath(pki.personal.cert);
    const QString store = certStoreRoot() + QStringLiteral("/CA");
    const QStringList certs = QDir(store).entryList(QDir::Files);
    ASSERT_EQ(certs.size(), 1);
    for (const QString& path : {keyStoreFolder(), key, store, store + '/' + certs.first()}) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700u : 0600u) << path.toStdString();
    }

    EXPECT_TRUE(sign(input, output));
    EXPECT_EQ(prctl(PR_GET_DUMPABLE), 0) << "a key was held: core dumps are off";
    QFile::remove(output);
    ASSERT_EQ(::chmod(QFile::encodeName(key).constData(), 0644), 0);
    EXPECT_FALSE(sign(input, output));
    EXPECT_TRUE(said.contains(QStringLiteral("доступен другим пользователям")));
    EXPECT_TRUE(said.contains(QStringLiteral("chmod 600")));
    EXPECT_FALSE(QFile::exists(output));
}
