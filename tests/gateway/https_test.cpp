#include "app/context.h"
#include "crypto/cert_store.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"
#include "tls_peer.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

namespace telva {
namespace {

using test::OpensslServer;
using test::TlsCerts;

// `openssl s_server` as the independent TLS peer; the program's "Root" store in a profile of
// the test's own.
struct HttpsTest : ::testing::Test {
    void SetUp() override {
        if (QStandardPaths::findExecutable("openssl").isEmpty())
            GTEST_SKIP() << "openssl is not installed";
    }
    void trustTestCa() {
        test::installCert(TlsCerts::instance().ca, crypto::toIndex(crypto::Store::Root));
    }
    static QString refused(const QString& why) {
        return QStringLiteral(
                   "Не удалось установить защищенное соединение с сервером 127.0.0.1: %1.")
            .arg(why);
    }

    test::TempProfile profile;
    test::FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpClient client{ctx};
};

TEST_F(HttpsTest, AnUntrustedCertificateIsRefusedAndATrustedOneWorks) {
    OpensslServer server;
    ASSERT_TRUE(server.start(TlsCerts::instance().rsaServer, false))
        << server.errorText().toStdString();
    const Result<QByteArray> untrusted = client.HttpGetToString(server.url());
    EXPECT_EQ(untrusted.kind(), ErrorKind::Tls);
    EXPECT_EQ(untrusted.text(), refused(QStringLiteral(
                                    "сертификат сервера выдан недоверенным центром сертификации")));

    HttpClient trusting(ctx);
    trusting.setCaFile(
        test::writePkiFiles(TlsCerts::instance().rsaServer, profile.root(), "rsa").certPem);
    const Result<Downloaded> trusted = trusting.Download(server.url());
    ASSERT_TRUE(trusted) << trusted.text().toStdString();
    EXPECT_FALSE(trusted->bytes.isEmpty());
    EXPECT_TRUE(trusted->overTls);
}

// A GOST server (GOST R 34.10-2012 certificate, GOST suites only) under the CA that the
// program's "Root" store holds, or not; each failure names the server and its reason.
TEST_F(HttpsTest, GostServerCertificatesAreCheckedAgainstTheProgramsRoots) {
    const TlsCerts& certs = TlsCerts::instance();
    struct Case {
        const char* name;
        const test::TestPki::Item& cert;
        bool trusted;
        QString failure; // empty: the page comes over a GOST suite
    } cases[] = {
        {"good chain", certs.server, true, {}},
        {"untrusted", certs.server, false,
         refused(QStringLiteral("сертификат сервера выдан недоверенным центром сертификации"))},
        {"expired", certs.expired, true,
         refused(QStringLiteral("срок действия сертификата сервера истек"))},
        {"wrong host", certs.otherHost, true,
         refused(QStringLiteral("сертификат сервера выдан на другое имя"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempProfile own;
        if (c.trusted)
            trustTestCa();
        OpensslServer server;
        ASSERT_TRUE(server.start(c.cert)) << server.errorText().toStdString();
        const Result<Downloaded> got = client.Download(server.url());
        if (c.failure.isEmpty()) {
            ASSERT_TRUE(got) << got.text().toStdString();
            EXPECT_TRUE(got->bytes.contains("Cipher is GOST2012-KUZNYECHIK-KUZNYECHIKOMAC"))
                << got->bytes.left(2000).toStdString();
            EXPECT_TRUE(got->overTls);
        } else {
            EXPECT_EQ(got.kind(), ErrorKind::Tls);
            EXPECT_EQ(got.text(), c.failure) << got.text().toStdString();
        }
    }
}

// Through an authenticating proxy https goes by CONNECT, with the proxy's credentials sent at
// once; the server's certificate is checked end to end.
TEST_F(HttpsTest, ThroughAnAuthenticatingProxyByConnect) {
    test::TinyproxyFixture proxy;
    if (test::TinyproxyFixture::binary().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed";
    ASSERT_TRUE(proxy.start({"clerk", "s3cret"})) << proxy.errorText().toStdString();
    trustTestCa();
    OpensslServer server;
    ASSERT_TRUE(server.start(TlsCerts::instance().server)) << server.errorText().toStdString();
    ctx.settings.proxy = {proxy.host(), proxy.port(), QStringLiteral("clerk"), {}};
    frontend.credentialAnswers.push_back({"clerk", "s3cret"});
    const Result<QByteArray> page = client.HttpGetToString(server.url());
    ASSERT_TRUE(page) << page.text().toStdString();
    EXPECT_TRUE(page->contains("Cipher is GOST2012"));
    EXPECT_EQ(frontend.credentialRequests, 1);
    EXPECT_TRUE(proxy.log().contains(QStringLiteral("CONNECT 127.0.0.1:%1").arg(server.port())))
        << proxy.log().toStdString();
}

} // namespace
} // namespace telva
