// What the gateway says to uploads it cannot accept.
#include "sim_harness.h"

#include <gtest/gtest.h>

using namespace telva::test;

namespace {

class SimUpload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started());
        ASSERT_TRUE(preparePeer(sim, peer));
        client = sim.client();
    }
    // The error text of the answer to an upload; fails the test on an identifier.
    QString errorFor(const QByteArray& encrypted) {
        auto res = upload(*client, encrypted);
        if (!res)
            return QStringLiteral("(no answer)");
        const QByteArray page = QByteArray::fromStdString(res->body);
        EXPECT_EQ(res->status, 200);
        EXPECT_TRUE(identifierFromAnswer(page).isEmpty());
        return QString::fromUtf8(errorFromAnswer(page));
    }

    SimProcess sim;
    SimPeer peer;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(SimUpload, GarbageIsNotAnEncryptedReport) {
    EXPECT_TRUE(errorFor("this is not a CMS message").contains("не является зашифрованным"));
    EXPECT_TRUE(errorFor(sampleReportXml()).contains("не является зашифрованным"));
}

TEST_F(SimUpload, ReportForAnotherRecipientCannotBeDecrypted) {
    const QByteArray encrypted = makeReport(peer, sampleReportXml(), peer.senderCert);
    ASSERT_FALSE(encrypted.isEmpty());
    EXPECT_TRUE(errorFor(encrypted).contains("Не удалось расшифровать"));
}

TEST_F(SimUpload, EncryptedButUnsignedReportIsRefused) {
    const QString in = peer.path("plain.xml");
    const QString out = peer.path("plain.er7");
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(sampleReportXml());
    f.close();
    ASSERT_EQ(run("openssl", {"cms", "-encrypt", "-engine", "gost", "-gost89", "-binary", "-in", in,
                              "-outform", "DER", "-out", out, peer.fundAp})
                  .exitCode,
              0);
    QFile encrypted(out);
    ASSERT_TRUE(encrypted.open(QIODevice::ReadOnly));
    const QString error = errorFor(encrypted.readAll());
    EXPECT_TRUE(error.contains("не подписан")) << error.toStdString();
}

TEST_F(SimUpload, UnknownRootElementIsNamed) {
    const QByteArray encrypted =
        makeReport(peer, "<?xml version=\"1.0\"?><!-- x --><PAYROLL/>", peer.fundAp);
    const QString error = errorFor(encrypted);
    EXPECT_TRUE(error.contains("Неизвестный вид отчета"));
    EXPECT_TRUE(error.contains("PAYROLL"));
}

TEST_F(SimUpload, FormWithoutTheFileIsRefused) {
    httplib::MultipartFormDataItems form = {{"service", "2", "", ""}, {"inline", "1", "", ""}};
    auto res = client->Post("/uploadfile", form);
    ASSERT_TRUE(res);
    EXPECT_TRUE(errorFromAnswer(QByteArray::fromStdString(res->body)).contains("filein"));
}

TEST_F(SimUpload, NamespacedRootIsAcceptedAndEveryUploadIsLogged) {
    const QByteArray encrypted =
        makeReport(peer, "<?xml version=\"1.0\"?>\n<k:ROWSET xmlns:k=\"urn:x\"/>", peer.fundAp);
    auto res = upload(*client, encrypted);
    ASSERT_TRUE(res);
    const QByteArray id = identifierFromAnswer(QByteArray::fromStdString(res->body));
    EXPECT_EQ(id.size(), 14);
    const QByteArray log = sim.log();
    EXPECT_TRUE(log.contains("POST /uploadfile -> 200"));
    EXPECT_TRUE(log.contains("upload accepted: report " + id));
    EXPECT_TRUE(log.contains("service=2, inline=1"));
}

} // namespace
