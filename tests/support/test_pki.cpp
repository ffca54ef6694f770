#include "test_pki.h"

#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/key_digest.h"
#include "crypto/key_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <mutex>

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

namespace telva::test {

using namespace telva::crypto;

namespace {

struct Attr {
    const char* oid; // dotted or short name
    QString value;
    bool newSet = true; // false: joins the previous RDN (multi-valued)
};

std::shared_ptr<EVP_PKEY> makeGostKey(const char* paramset, int nid = NID_id_GostR3410_2001) {
    PKeyCtxPtr ctx(EVP_PKEY_CTX_new_id(nid, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", paramset) <= 0 ||
        EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        ADD_FAILURE() << "GOST key generation failed: " << takeOpenSslError().toStdString();
        return {};
    }
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

std::shared_ptr<EVP_PKEY> makeRsaKey() {
    PKeyCtxPtr ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) <= 0 ||
        EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        ADD_FAILURE() << "RSA key generation failed";
        return {};
    }
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

X509_NAME* makeName(const QList<Attr>& attrs) {
    X509_NAME* name = X509_NAME_new();
    for (const Attr& attr : attrs) {
        ASN1_OBJECT* obj = OBJ_txt2obj(attr.oid, 0);
        const QByteArray value = attr.value.toUtf8();
        const int type =
            QLatin1String(attr.oid) == QLatin1String("C") ? V_ASN1_PRINTABLESTRING : MBSTRING_UTF8;
        X509_NAME_add_entry_by_OBJ(name, obj, type,
                                   reinterpret_cast<const unsigned char*>(value.constData()),
                                   static_cast<int>(value.size()), -1, attr.newSet ? 0 : -1);
        ASN1_OBJECT_free(obj);
    }
    return name;
}

void setTime(ASN1_TIME* target, const QDateTime& when) {
    ASN1_TIME_set(target, static_cast<time_t>(when.toSecsSinceEpoch()));
}

QDateTime utc(int y, int m, int d, int h = 0, int min = 0, int s = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min, s), QTimeZone::utc());
}

struct CertPlan {
    QList<Attr> subject;
    QByteArray serial; // big-endian magnitude
    QDateTime from, to;
    std::shared_ptr<EVP_PKEY> key;
    const TestPki::Item* issuer = nullptr; // null: self-signed
    bool rsa = false;
    const char* extensions = nullptr; // "basicConstraints=...;keyUsage=...", none when null
};

void addExtensions(X509* cert, X509* issuer, const char* extensions) {
    if (!extensions)
        return;
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    for (const QString& line : QString::fromLatin1(extensions).split(QLatin1Char(';'))) {
        const QByteArray name = line.section(QLatin1Char('='), 0, 0).toLatin1();
        const QByteArray value = line.section(QLatin1Char('='), 1).toLatin1();
        X509_EXTENSION* ext = X509V3_EXT_conf(nullptr, &ctx, name.constData(), value.constData());
        if (!ext || X509_add_ext(cert, ext, -1) != 1)
            ADD_FAILURE() << "bad extension " << line.toStdString();
        X509_EXTENSION_free(ext);
    }
}

TestPki::Item issue(const CertPlan& plan) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(plan.serial.constData()),
                           static_cast<int>(plan.serial.size()), nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
    BN_free(bn);
    X509_NAME* subject = makeName(plan.subject);
    X509_set_subject_name(cert, subject);
    X509_set_issuer_name(cert,
                         plan.issuer ? X509_get_subject_name(x509Of(plan.issuer->cert)) : subject);
    X509_NAME_free(subject);
    setTime(X509_getm_notBefore(cert), plan.from);
    setTime(X509_getm_notAfter(cert), plan.to);
    X509_set_pubkey(cert, plan.key.get());
    addExtensions(cert, plan.issuer ? x509Of(plan.issuer->cert) : cert, plan.extensions);
    EVP_PKEY* signer = plan.issuer ? plan.issuer->key.get() : plan.key.get();
    const EVP_MD* md = plan.rsa ? EVP_sha256() : DigestForKey(signer);
    if (X509_sign(cert, signer, md) <= 0)
        ADD_FAILURE() << "certificate signing failed: " << takeOpenSslError().toStdString();
    return TestPki::Item{certificateOf(cert), plan.key};
}

QList<Attr> registration(const QString& number, const QString& code) {
    return {{"1.2.643.3.141.1.1", number}, {"1.2.643.3.141.1.2", code}};
}

constexpr const char* kCaExtensions =
    "basicConstraints=critical,CA:TRUE;keyUsage=critical,keyCertSign,cRLSign";
constexpr const char* kFundApExtensions =
    "keyUsage=digitalSignature,nonRepudiation,keyEncipherment,keyAgreement";

CertPlan withExtensions(CertPlan plan, const char* extensions) {
    plan.extensions = extensions;
    return plan;
}

std::once_flag g_once;
TestPki* g_pki = nullptr;

} // namespace

QByteArray TestPki::Item::keyPem() const {
    if (!key)
        return {};
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PKCS8PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return bioBytes(bio.get());
}

QByteArray TestPki::Item::keyPemEncrypted(const QString& password) const {
    if (!key)
        return {};
    BioPtr bio(BIO_new(BIO_s_mem()));
    const QByteArray pass = password.toUtf8();
    PEM_write_bio_PKCS8PrivateKey(bio.get(), key.get(), EVP_aes_256_cbc(), pass.constData(),
                                  static_cast<int>(pass.size()), nullptr, nullptr);
    return bioBytes(bio.get());
}

CertIdentity TestPki::Item::identity(int storeIndex) const {
    CertIdentity id;
    IdentityFromCert(cert, id);
    id.store = storeIndex;
    return id;
}

const TestPki& TestPki::instance() {
    std::call_once(g_once, [] {
        if (Status s = ensureGostEngine(); !s)
            ADD_FAILURE() << s.text().toStdString();
        auto* pki = new TestPki;
        const QDateTime longAgo = utc(2012, 1, 1);
        const QDateTime farAway = utc(2045, 1, 1);

        pki->ca = issue(
            withExtensions({{{"CN", QStringLiteral("Test CA 2")}, {"O", QStringLiteral("Example")}},
                            QByteArray::fromHex("01"),
                            longAgo,
                            farAway,
                            makeGostKey("A")},
                           kCaExtensions));
        const QList<Attr> fundBase{{"C", QStringLiteral("RU")}, {"O", QStringLiteral("КВБ РФ")}};
        const QList<Attr> fundRootName =
            fundBase + QList<Attr>{{"CN", QStringLiteral("Корневой УЦ КВБ РФ (тест)")}};
        pki->fundRoot = issue(withExtensions(
            {fundRootName, QByteArray::fromHex("0A"), longAgo, farAway, makeGostKey("A")},
            kCaExtensions));
        const QList<Attr> fundApName =
            fundBase + QList<Attr>{{"OU", QStringLiteral("Уполномоченное лицо")},
                                   {"CN", QStringLiteral("Уполномоченное лицо КВБ РФ")}};
        pki->fundAp = issue(withExtensions({fundApName, QByteArray::fromHex("A1B2C3"), longAgo,
                                            farAway, makeGostKey("XA"), &pki->fundRoot},
                                           kFundApExtensions));
        pki->fundExpired = issue(withExtensions(
            {fundBase + QList<Attr>{{"CN", QStringLiteral("Уполномоченное лицо КВБ РФ (2015)")}},
             QByteArray::fromHex("A2"), utc(2015, 1, 1), utc(2020, 12, 31, 12, 0, 0),
             makeGostKey("A"), &pki->fundRoot},
            kFundApExtensions));
        pki->fundNoSigning = issue(withExtensions(
            {fundBase + QList<Attr>{{"CN", QStringLiteral("Шифрование КВБ РФ")}},
             QByteArray::fromHex("A3"), longAgo, farAway, makeGostKey("A"), &pki->fundRoot},
            "keyUsage=keyEncipherment,keyAgreement"));
        pki->lookAlikeRoot = issue(withExtensions(
            {fundRootName, QByteArray::fromHex("0A"), longAgo, farAway, makeGostKey("A")},
            kCaExtensions));
        pki->lookAlikeAp = issue(withExtensions({fundApName, QByteArray::fromHex("A1B2C3"), longAgo,
                                                 farAway, makeGostKey("A"), &pki->lookAlikeRoot},
                                                kFundApExtensions));

        const QList<Attr> firm{{"C", QStringLiteral("RU")},
                               {"L", QStringLiteral("Москва")},
                               {"O", QStringLiteral("ООО Ромашка")},
                               {"OU", QStringLiteral("Бухгалтерия")}};
        pki->personal =
            issue({firm + QList<Attr>{{"CN", QStringLiteral("Иванова Мария Петровна")}} +
                       registration(QStringLiteral("7701000001"), QStringLiteral("770101")),
                   QByteArray::fromHex("0102"), utc(2024, 3, 5, 9, 7, 0),
                   utc(2040, 6, 30, 15, 0, 0), makeGostKey("XA"), &pki->ca});
        pki->twoOu =
            issue({QList<Attr>{{"CN", QStringLiteral("Петров Петр")},
                               {"OU", QStringLiteral("Первый отдел")},
                               {"OU", QStringLiteral("Второй отдел")},
                               {"O", QStringLiteral("Рога и \"копыта\", ООО")}} +
                       registration(QStringLiteral("7701000003"), QStringLiteral("770103")),
                   QByteArray::fromHex("0203"), longAgo, farAway, makeGostKey("A"), &pki->ca});
        pki->expired =
            issue({firm + QList<Attr>{{"CN", QStringLiteral("Просрочен Иван")}} +
                       registration(QStringLiteral("7701000004"), QStringLiteral("770104")),
                   QByteArray::fromHex("0304"), utc(2015, 1, 1), utc(2020, 12, 31, 12, 0, 0),
                   makeGostKey("A"), &pki->ca});
        pki->notYetValid =
            issue({firm + QList<Attr>{{"CN", QStringLiteral("Будущий Иван")}} +
                       registration(QStringLiteral("7701000005"), QStringLiteral("770105")),
                   QByteArray::fromHex("0405"), utc(2040, 1, 1), utc(2050, 1, 1), makeGostKey("A"),
                   &pki->ca});
        Item onlyNumber =
            issue({QList<Attr>{{"CN", QStringLiteral("Только РНС")},
                               {"1.2.643.3.141.1.1", QStringLiteral("7701000002")}},
                   QByteArray::fromHex("0506"), longAgo, farAway, makeGostKey("A"), &pki->ca});
        pki->regNumberOnly = Item{onlyNumber.cert, {}};
        pki->ca2012 = issue(withExtensions(
            {{{"CN", QStringLiteral("Test CA 2012")}, {"O", QStringLiteral("Example")}},
             QByteArray::fromHex("12"),
             longAgo,
             farAway,
             makeGostKey("A", NID_id_GostR3410_2012_256)},
            kCaExtensions));
        pki->personal2012 =
            issue({firm + QList<Attr>{{"CN", QStringLiteral("Сидорова Анна Игоревна")}} +
                       registration(QStringLiteral("7701000007"), QStringLiteral("770107")),
                   QByteArray::fromHex("0708"), longAgo, farAway,
                   makeGostKey("A", NID_id_GostR3410_2012_256), &pki->ca2012});
        pki->personal2012x512 =
            issue({firm + QList<Attr>{{"CN", QStringLiteral("Орлов Олег Олегович")}} +
                       registration(QStringLiteral("7701000008"), QStringLiteral("770108")),
                   QByteArray::fromHex("0809"), longAgo, farAway,
                   makeGostKey("A", NID_id_GostR3410_2012_512), &pki->ca2012});
        pki->fundAp2012 = issue(withExtensions(
            {fundBase + QList<Attr>{{"OU", QStringLiteral("Уполномоченное лицо")},
                                    {"CN", QStringLiteral("Уполномоченное лицо КВБ РФ (2012)")}},
             QByteArray::fromHex("B1C2D3"), longAgo, farAway,
             makeGostKey("A", NID_id_GostR3410_2012_256), &pki->fundRoot},
            kFundApExtensions));
        CertPlan rsa{
            QList<Attr>{{"CN", QStringLiteral("RSA User")}, {"O", QStringLiteral("Example")}} +
                registration(QStringLiteral("7701000006"), QStringLiteral("770106")),
            QByteArray::fromHex("0607"), longAgo, farAway, makeRsaKey()};
        rsa.rsa = true;
        pki->rsa = issue(rsa);
        g_pki = pki;
    });
    return *g_pki;
}

void installCert(const TestPki::Item& item, int storeIndex, bool withKey) {
    Result<CertStore> store = CertStore::open(storeIndex);
    ASSERT_TRUE(store.ok()) << store.text().toStdString();
    const Status added = store->add(item.cert);
    ASSERT_TRUE(added.ok() || added.error().code == kCryptEExists) << added.text().toStdString();
    if (withKey) {
        ASSERT_TRUE(item.key) << "the item has no key";
        const Status stored = StorePrivateKey(item.cert, item.key.get());
        ASSERT_TRUE(stored.ok()) << stored.text().toStdString();
    }
}

void installStandard(Settings& settings) {
    const TestPki& pki = TestPki::instance();
    installCert(pki.personal, 0, true);
    installCert(pki.fundRoot, 1);
    installCert(pki.fundAp, 7);
    settings.priv = pki.personal.identity(0);
    settings.pub = pki.fundAp.identity(7);
}

PkiFiles writePkiFiles(const TestPki::Item& item, const QString& dir, const QString& baseName) {
    QDir().mkpath(dir);
    auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(bytes);
    };
    PkiFiles files;
    files.certPem = dir + QLatin1Char('/') + baseName + QStringLiteral(".pem");
    files.certDer = dir + QLatin1Char('/') + baseName + QStringLiteral(".cer");
    write(files.certPem, item.certPem());
    write(files.certDer, item.certDer());
    if (item.key) {
        files.keyPem = dir + QLatin1Char('/') + baseName + QStringLiteral("-key.pem");
        write(files.keyPem, item.keyPem());
    }
    return files;
}

} // namespace telva::test
