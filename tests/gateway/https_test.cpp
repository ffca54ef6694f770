#include "app/context.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "tinyproxy_fixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace telva {
namespace {

// `openssl s_server -www` as an independent TLS peer with a throw-away certificate for
// 127.0.0.1.
struct HttpsTest : ::testing::Test {
    void SetUp() override {
        if (QStandardPaths::findExecutable("openssl").isEmpty())
            GTEST_SKIP() << "openssl is not installed";
        cert = dir.filePath("cert.pem");
        const QString key = dir.filePath("key.pem");
        QProcess req;
        req.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                              "-keyout", key, "-out", cert});
        ASSERT_TRUE(req.waitForFinished(30000));
        ASSERT_EQ(req.exitCode(), 0) << req.readAllStandardError().toStdString();
        port = test::freeLoopbackPort();
        server.start("openssl", {"s_server", "-accept", QString::number(port), "-cert", cert,
                                 "-key", key, "-www", "-quiet"});
        ASSERT_TRUE(server.waitForStarted(5000));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            if (test::loopbackPortAccepts(port))
                return;
            QThread::msleep(20);
        }
        FAIL() << "s_server did not listen";
    }
    void TearDown() override {
        server.kill();
        server.waitForFinished(3000);
    }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1/").arg(port); }

    QTemporaryDir dir;
    QString cert;
    quint16 port = 0;
    QProcess server;
    test::FakeFrontend frontend;
    AppContext ctx{frontend};
};

TEST_F(HttpsTest, AnUntrustedCertificateIsRefusedAndATrustedOneWorks) {
    HttpClient client(ctx);
    EXPECT_TRUE(client.HttpGetToString(url()).isEmpty());
    EXPECT_TRUE(client.lastError().startsWith(
        QStringLiteral("Не удалось установить защищенное соединение")))
        << client.lastError().toStdString();

    HttpClient trusting(ctx);
    trusting.setCaFile(cert);
    const QByteArray page = trusting.HttpGetToString(url());
    EXPECT_FALSE(page.isEmpty()) << trusting.lastError().toStdString();
}

} // namespace
} // namespace telva
