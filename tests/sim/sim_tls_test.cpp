// The simulator over HTTPS: its TLS checked with `openssl s_client` as the other side, and the
// fund's certificates installed from it the way the program does.
#include "sim_harness.h"

#include "app/context.h"
#include "crypto/cert_store.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "operations/install_certificate.h"
#include "temp_profile.h"

#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

// The demo site authority of that kind ("gost", "rsa") of a simulator's state folder, as PEM.
QString authorityPem(const SimProcess& sim, const QTemporaryDir& dir, const QString& kind) {
    const QString der = sim.stateDir() + QStringLiteral("/tls/ca-") + kind + QStringLiteral(".cer");
    const QString pem = dir.filePath(kind + QStringLiteral(".pem"));
    const RunResult converted =
        run(QStringLiteral("openssl"), {"x509", "-inform", "DER", "-in", der, "-out", pem});
    EXPECT_EQ(converted.exitCode, 0) << converted.err.toStdString();
    return pem;
}

} // namespace

TEST(SimTls, ServesGostOrOrdinaryTlsWithACertificateOfTheDemoSiteAuthority) {
    struct Case {
        const char* option;
        const char* authority;
        const char* suite; // what the handshake settles on
    } cases[] = {{"--tls", "gost", "GOST2012-"}, {"--tls-rsa", "rsa", "TLS_AES_"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        SimProcess sim({QString::fromLatin1(c.option)});
        ASSERT_TRUE(sim.started()) << sim.log().toStdString();
        QTemporaryDir dir;
        const RunResult hello =
            run(QStringLiteral("openssl"),
                {"s_client", "-engine", "gost", "-brief", "-ign_eof", "-connect", sim.hostPort(),
                 "-CAfile", authorityPem(sim, dir, QString::fromLatin1(c.authority)),
                 "-verify_return_error", "-verify_ip", "127.0.0.1"},
                "GET / HTTP/1.0\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(hello.exitCode, 0) << hello.err.toStdString();
        EXPECT_TRUE(hello.err.contains("Verification: OK")) << hello.err.toStdString();
        EXPECT_TRUE(hello.err.contains(QByteArray("Ciphersuite: ") + c.suite))
            << hello.err.toStdString();
        EXPECT_TRUE(hello.out.contains("HTTP/1.1 200")) << hello.out.toStdString();
    }
}

// Over https the server has proved it is the fund's site, so the root goes into "Root"
// without the fingerprint question that plain http asks; a site that cannot prove it is
// named with the reason and nothing is installed.
TEST(SimTls, FundCertificatesOverHttpsNeedNoFingerprintQuestion) {
    SimProcess sim({QStringLiteral("--tls")});
    ASSERT_TRUE(sim.started()) << sim.log().toStdString();
    QTemporaryDir dir;
    TempProfile profile;
    FakeFrontend frontend;
    AppContext ctx{frontend};
    const QString site = QStringLiteral("https://") + sim.hostPort();
    ctx.settings.kvbRootCertUrl = site + QStringLiteral("/uc/CA_KVB_RF_2012.cer");
    ctx.settings.apCertUrl = site + QStringLiteral("/uc/R7_KVB_RF_2012.cer");
    {
        HttpClient untrusting(ctx);
        const Result<QString> refused = crypto::LoadFundCertificates(ctx, untrusting);
        EXPECT_EQ(
            refused.text(),
            QStringLiteral("Не удалось установить защищенное соединение с сервером 127.0.0.1: "
                           "сертификат сервера выдан недоверенным центром сертификации."));
        EXPECT_TRUE(crypto::CertStore::open(1)->certificates().isEmpty());
    }
    HttpClient client(ctx);
    client.setCaFile(authorityPem(sim, dir, QStringLiteral("gost")));

    const Result<QString> installed = crypto::LoadFundCertificates(ctx, client);
    ASSERT_TRUE(installed) << installed.text().toStdString();
    EXPECT_TRUE(frontend.questions.isEmpty());
    const Result<crypto::CertStore> root = crypto::CertStore::open(1);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->certificates().size(), 1);
    EXPECT_EQ(ctx.settings.pub.store, 7);
}
