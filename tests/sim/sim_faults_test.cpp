// The fault switches do what --help says.
#include "sim_harness.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace telva::test;

namespace {

// A simulator with the given switches, a peer and one report already sent.
struct Sent {
    explicit Sent(const QStringList& args) : sim(args) {
        if (!sim.started() || !preparePeer(sim, peer))
            return;
        client = sim.client();
        client->set_follow_location(true);
        auto res = upload(*client, makeReport(peer, sampleReportXml(), peer.fundAp));
        if (res)
            answer = QByteArray::fromStdString(res->body);
        id = identifierFromAnswer(answer);
    }
    httplib::Result get(const std::string& path) { return client->Get(path.c_str()); }
    std::string status() { return "/kvb/statusreport?id=" + id.toStdString(); }
    std::string invoice() { return "/invoice?id=" + id.toStdString(); }

    SimProcess sim;
    SimPeer peer;
    std::unique_ptr<httplib::Client> client;
    QByteArray answer;
    QByteArray id;
};

TEST(SimFaults, FailAnswersWithTheStatusForTheFirstRequestsOnly) {
    Sent s({"--processing", "0", "--fail", "/invoice=503:1"});
    ASSERT_FALSE(s.id.isEmpty());
    ASSERT_EQ(s.get(s.status())->status, 200);
    EXPECT_EQ(s.get(s.invoice())->status, 503);
    auto second = s.get(s.invoice());
    EXPECT_EQ(second->status, 200);
    EXPECT_FALSE(openReceipt(s.peer, QByteArray::fromStdString(second->body)).isEmpty());
    EXPECT_TRUE(s.sim.log().contains("GET " + QByteArray::fromStdString(s.invoice()) + " -> 503"));
}

TEST(SimFaults, FailOnEveryPathRefusesTheUploadToo) {
    SimProcess sim({"--fail", "500"});
    ASSERT_TRUE(sim.started());
    auto client = sim.client();
    EXPECT_EQ(client->Get("/")->status, 500);
    EXPECT_EQ(upload(*client, "x")->status, 500);
}

TEST(SimFaults, RedirectPointsAtTheMovedAddressWhichServesTheSamePage) {
    Sent s(
        {"--processing", "0", "--redirect", "/kvb/statusreport", "--redirect", "/uploadfile=307"});
    ASSERT_FALSE(s.id.isEmpty()) << "the 307 of the upload is followed with the POST";
    auto moved = s.sim.client()->Get(s.status().c_str());
    ASSERT_EQ(moved->status, 302);
    const std::string location = moved->get_header_value("Location");
    EXPECT_EQ(location, "http://" + s.sim.hostPort().toStdString() + "/moved" + s.status());
    auto page = s.get("/moved" + s.status());
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("invoice?id=" + s.id.toStdString()), std::string::npos);
}

TEST(SimFaults, RequiredCookieComesFromTheSiteRoot) {
    SimProcess sim({"--require-cookie"});
    SimPeer peer;
    ASSERT_TRUE(preparePeer(sim, peer)) << "certificate files need no cookie";
    auto client = sim.client();
    const QByteArray report = makeReport(peer, sampleReportXml(), peer.fundAp);
    EXPECT_EQ(upload(*client, report)->status, 403);
    auto root = client->Get("/");
    const std::string cookie = root->get_header_value("Set-Cookie");
    ASSERT_EQ(cookie.rfind("KVBSESSION=", 0), 0u);
    client->set_default_headers({{"Cookie", cookie.substr(0, cookie.find(';'))}});
    auto res = upload(*client, report);
    EXPECT_EQ(res->status, 200);
    EXPECT_FALSE(identifierFromAnswer(QByteArray::fromStdString(res->body)).isEmpty());
}

TEST(SimFaults, TruncatedReceiptDoesNotDecrypt) {
    Sent s({"--processing", "0", "--truncate-receipt", "100"});
    s.get(s.status());
    auto res = s.get(s.invoice());
    ASSERT_EQ(res->status, 200);
    EXPECT_EQ(res->body.size(), 100u);
    EXPECT_TRUE(openReceipt(s.peer, QByteArray::fromStdString(res->body)).isEmpty());
}

TEST(SimFaults, TruncatedZipStillChecksButIsIncomplete) {
    Sent s({"--processing", "0", "--truncate-zip", "60"});
    s.get(s.status());
    const QByteArray zip = openReceipt(s.peer, QByteArray::fromStdString(s.get(s.invoice())->body));
    EXPECT_EQ(zip.size(), 60);
    EXPECT_NE(run("unzip", {"-l", s.peer.path("receipt.zip")}).exitCode, 0);
}

TEST(SimFaults, IdentifierFormsAndTheirAliases) {
    struct Case {
        const char* form;
        int size;
        bool hyphens;
    };
    for (const Case c : {Case{"short", 8, false}, Case{"no-hyphens", 12, false},
                         Case{"long", 135, true}, Case{"hostile", 30, true}}) {
        Sent s({"--processing", "0", "--identifier", c.form});
        ASSERT_EQ(s.id.size(), c.size) << c.form;
        EXPECT_EQ(s.id.size() >= 10 && s.id[4] == '-' && s.id[9] == '-', c.hyphens) << c.form;
        auto page = s.get(s.status());
        EXPECT_EQ(page->status, 200) << c.form << ": the served identifier is known";
    }
    Sent hostile({"--identifier", "hostile"});
    EXPECT_TRUE(hostile.id.startsWith("../.-../.-../../"));
}

TEST(SimFaults, IdentifierMarkupVariants) {
    Sent noTahoma({"--identifier", "no-tahoma"});
    EXPECT_TRUE(noTahoma.id.startsWith(" class=")) << "the cut keeps the rest of the tag";
    Sent both({"--identifier", "both-spans"});
    EXPECT_EQ(both.id.size(), 14);
    EXPECT_FALSE(errorFromAnswer(both.answer).isEmpty());
}

TEST(SimFaults, StatusPageInCp1251IsNotUtf8) {
    Sent s({"--status-cp1251"});
    auto res = s.get(s.status());
    const QByteArray page = QByteArray::fromStdString(res->body);
    EXPECT_TRUE(page.contains("\xEE\xE1\xF0\xE0\xE1\xE0\xF2\xFB\xE2\xE0\xE5\xF2\xF1\xFF"));
    EXPECT_FALSE(page.contains("обрабатывается"));
}

TEST(SimFaults, Base64CertificatesAreTextNotDer) {
    SimProcess sim({"--base64-certs"});
    auto res = sim.client()->Get("/uc/R7_KVB_RF_2012.cer");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
    EXPECT_EQ(run("openssl", {"x509", "-noout"}, QByteArray::fromStdString(res->body)).exitCode, 0);
}

TEST(SimFaults, DelayHoldsTheAnswerBack) {
    SimProcess sim({"--delay", "/=300:1"});
    auto client = sim.client();
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(client->Get("/")->status, 200);
    EXPECT_GE(timer.elapsed(), 300);
}

} // namespace
