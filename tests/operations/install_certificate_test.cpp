#include "app/context.h"
#include "crypto/cert_store.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"
#include "operations/install_certificate.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace telva::crypto {
namespace {

using test::HttpTestServer;
using test::ScriptedResponse;
using test::TestPki;

struct InstallCertificateTest : ::testing::Test {
    void SetUp() override {
        ctx.settings.kvbRootCertUrl = site.url("/uc/CA_KVB_RF_2012.cer");
        ctx.settings.apCertUrl = site.url("/uc/R7_KVB_RF_2012.cer");
        serve("/uc/CA_KVB_RF_2012.cer", pki.fundRoot.certDer());
        serve("/uc/R7_KVB_RF_2012.cer", pki.fundAp.certDer());
        ctx.settings.pub = {"old subject", "old org", "old issuer", "01", 3};
    }
    void serve(const QByteArray& path, const QByteArray& body) {
        site.on("GET", path, ScriptedResponse::ok(body, "application/pkix-cert"));
    }
    bool inStore(int index, const TestPki::Item& item) const {
        const Result<CertStore> store = CertStore::open(index);
        return store.ok() && store->contains(item.cert);
    }
    // What the person is told once both are in place: who the fund certificate is, its dates
    // and its fingerprint.
    QString installedText() const {
        return QStringLiteral("Сертификаты успешно установлены. Сертификат уполномоченного лица "
                              "КВБ: C=RU, O=КВБ РФ, OU=Уполномоченное лицо, CN=Уполномоченное "
                              "лицо КВБ РФ; действителен с 01.01.2012 00:00:00 по 01.01.2045 "
                              "00:00:00 (UTC); отпечаток SHA-256: ") +
               QString::fromLatin1(
                   QCryptographicHash::hash(pki.fundAp.certDer(), QCryptographicHash::Sha256)
                       .toHex(' ')
                       .toUpper()) +
               '.';
    }

    const TestPki& pki = TestPki::instance();
    test::TempProfile profile;
    test::FakeFrontend frontend;
    ManualClock clock{QDateTime(QDate(2025, 3, 1), QTime(10, 0), QTimeZone::utc())};
    AppContext ctx{frontend, clock};
    HttpTestServer site;
    HttpClient client{ctx};
};

TEST_F(InstallCertificateTest, BothDerCertificatesAreInstalledAndTheFundOneIsTaken) {
    frontend.yesNoAnswers = {true};
    const Result<QString> installed = LoadFundCertificates(ctx, client);
    ASSERT_TRUE(installed) << installed.text().toStdString();
    EXPECT_EQ(*installed, installedText());
    EXPECT_TRUE(inStore(1, pki.fundRoot));
    EXPECT_TRUE(inStore(7, pki.fundAp));
    EXPECT_FALSE(inStore(7, pki.fundRoot));
    const CertIdentity expected = pki.fundAp.identity(7);
    EXPECT_EQ(ctx.settings.pub.subject, expected.subject);
    EXPECT_EQ(ctx.settings.pub.org, expected.org);
    EXPECT_EQ(ctx.settings.pub.issuer, expected.issuer);
    EXPECT_EQ(ctx.settings.pub.sernum, expected.sernum);
    EXPECT_EQ(ctx.settings.pub.store, 7);
    EXPECT_TRUE(ctx.settings.priv.subject.isEmpty());
    EXPECT_EQ(site.requestCount(), 2);
}

TEST_F(InstallCertificateTest, CertificatesAlreadyPresentCountAsInstalled) {
    test::installCert(pki.fundRoot, 1);
    test::installCert(pki.fundAp, 7);
    const Result<QString> installed = LoadFundCertificates(ctx, client);
    ASSERT_TRUE(installed) << installed.text().toStdString();
    EXPECT_EQ(*installed, installedText());
    EXPECT_EQ(ctx.settings.pub.sernum, pki.fundAp.identity(7).sernum);
    EXPECT_EQ(CertStore::open(1)->certificates().size(), 1);
    EXPECT_EQ(CertStore::open(7)->certificates().size(), 1);
}

// A root new to "Root" is shown with its subject and fingerprint and goes in only on Yes;
// once there it is not asked about again.
TEST_F(InstallCertificateTest, ANewRootGoesInOnlyWhenThePersonSaysYes) {
    const QString fingerprint = QString::fromLatin1(
        QCryptographicHash::hash(pki.fundRoot.certDer(), QCryptographicHash::Sha256)
            .toHex(' ')
            .toUpper());
    const struct {
        bool answer;
        qsizetype asked;
        bool installed;
    } steps[] = {{false, 1, false}, {true, 2, true}, {false, 2, true}};
    for (const auto& step : steps) {
        frontend.yesNoAnswers = {step.answer};
        const Result<QString> result = LoadFundCertificates(ctx, client);
        EXPECT_EQ(frontend.questions.size(), step.asked) << &step - steps;
        EXPECT_EQ(inStore(1, pki.fundRoot), step.installed) << &step - steps;
        EXPECT_EQ(inStore(7, pki.fundAp), step.installed) << &step - steps;
        EXPECT_EQ(result ? *result : result.text(),
                  step.installed ? installedText()
                                 : QStringLiteral("Корневой сертификат КВБ не установлен."));
    }
    const QString question = frontend.questions.first().text;
    EXPECT_TRUE(question.contains(fingerprint)) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("Корневой УЦ КВБ РФ (тест)")));
}

// Every report is encrypted for the fund certificate: one the confirmed root did not issue,
// or that is out of its dates, goes nowhere and the previous choice stays.
TEST_F(InstallCertificateTest, OnlyACertificateOfTheConfirmedRootBecomesTheFundOne) {
    const struct {
        const char* name;
        const TestPki::Item& served;
        QString text;
    } rows[] = {
        {"a stranger's self-signed certificate", pki.ca,
         QStringLiteral("Сертификат уполномоченного лица КВБ \"Test CA 2, Example\" не "
                        "установлен: сертификат не выдан корневым сертификатом КВБ, "
                        "установленным в хранилище \"Доверенные корневые центры "
                        "сертификации\".")},
        {"expired", pki.fundExpired,
         QStringLiteral("Сертификат уполномоченного лица КВБ \"Уполномоченное лицо КВБ РФ "
                        "(2015), КВБ РФ\" не установлен: сертификат действует с 01.01.2015 "
                        "00:00:00 по 31.12.2020 12:00:00 (UTC), а не на текущее время "
                        "01.03.2025 10:00:00 (UTC).")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        frontend.yesNoAnswers = {true};
        serve("/uc/R7_KVB_RF_2012.cer", row.served.certDer());
        EXPECT_EQ(LoadFundCertificates(ctx, client).text(), row.text);
        EXPECT_TRUE(inStore(1, pki.fundRoot));
        EXPECT_TRUE(CertStore::open(7)->certificates().isEmpty());
        EXPECT_EQ(ctx.settings.pub.subject, QStringLiteral("old subject"));
        EXPECT_EQ(ctx.settings.pub.sernum, QStringLiteral("01"));
        EXPECT_EQ(ctx.settings.pub.store, 3);
    }
}

TEST_F(InstallCertificateTest, AnEmptyRootBodyStopsBeforeTheFundCertificate) {
    serve("/uc/CA_KVB_RF_2012.cer", QByteArray());
    EXPECT_EQ(LoadFundCertificates(ctx, client).text(),
              QStringLiteral("Не удалось загрузить сертификат."));
    EXPECT_EQ(site.requestCount(), 1);
    EXPECT_FALSE(inStore(7, pki.fundAp));
    EXPECT_EQ(ctx.settings.pub.subject, QStringLiteral("old subject"));
}

TEST_F(InstallCertificateTest, AFailedDownloadShowsBothTexts) {
    site.on("GET", "/uc/CA_KVB_RF_2012.cer", ScriptedResponse::error(404));
    const Result<QString> installed = LoadFundCertificates(ctx, client);
    EXPECT_EQ(installed.text(), QStringLiteral("Не удалось загрузить сертификат."));
    // The terminal prints the download's own failure above it.
    EXPECT_EQ(installed.error().cause, QStringLiteral("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(frontend.statuses, QStringList({QStringLiteral("Идет загрузка ...")}));
}

TEST_F(InstallCertificateTest, ABase64FundCertificateIsRefusedAndTheRootStays) {
    frontend.yesNoAnswers = {true};
    serve("/uc/R7_KVB_RF_2012.cer", pki.fundAp.certDer().toBase64());
    EXPECT_EQ(LoadFundCertificates(ctx, client).text(),
              QStringLiteral("Не удалось открыть сертификат."));
    EXPECT_TRUE(inStore(1, pki.fundRoot));
    EXPECT_FALSE(inStore(7, pki.fundAp));
    EXPECT_EQ(ctx.settings.pub.subject, QStringLiteral("old subject"));
    EXPECT_EQ(ctx.settings.pub.store, 3);
}

TEST_F(InstallCertificateTest, APemRootOrTruncatedDerIsNotACertificate) {
    serve("/uc/CA_KVB_RF_2012.cer", pki.fundRoot.certPem());
    EXPECT_EQ(LoadFundCertificates(ctx, client).text(),
              QStringLiteral("Не удалось открыть сертификат."));
    serve("/uc/CA_KVB_RF_2012.cer", pki.fundRoot.certDer().chopped(10));
    EXPECT_EQ(LoadFundCertificates(ctx, client).text(),
              QStringLiteral("Не удалось открыть сертификат."));
    EXPECT_FALSE(inStore(1, pki.fundRoot));
}

TEST_F(InstallCertificateTest, AStoreThatCannotBeOpenedIsReported) {
    // A plain file where the store's folder belongs.
    QDir().mkpath(certStoreRoot());
    profile.writeFile(QDir(profile.root()).relativeFilePath(certStoreRoot() + "/Root"), "x");
    EXPECT_EQ(InstallCertificate(ctx, client, ctx.settings.kvbRootCertUrl, 1).text(),
              QStringLiteral("Не удалось открыть хранилище."));
}

} // namespace
} // namespace telva::crypto
