#include "app/context.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

using test::FakeFrontend;
using test::HttpTestServer;
using test::RecordedRequest;
using test::ScriptedResponse;

struct HttpRedirectTest : ::testing::Test {
    void SetUp() override {
        server.on("GET", "/target", ScriptedResponse::ok("arrived"));
        server.on("POST", "/target", ScriptedResponse::ok("posted"));
        // /hop/N redirects to /hop/N-1, /hop/0 to /target.
        server.onOther([this](const RecordedRequest& r) {
            if (!r.path.startsWith("/hop/"))
                return ScriptedResponse::error(404);
            const int n = r.path.mid(5).toInt();
            return ScriptedResponse::redirect(
                302,
                server.url(n == 0 ? "/target" : QStringLiteral("/hop/%1").arg(n - 1)).toLatin1());
        });
        form.addField("service", "r7");
    }

    FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer server;
    HttpClient client{ctx};
    MultipartForm form{QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6))};
};

TEST_F(HttpRedirectTest, BeforeTheFirstUploadARedirectIsAFailure) {
    server.on("GET", "/moved", ScriptedResponse::redirect(302, server.url("/target").toLatin1()));
    EXPECT_EQ(client.HttpGetToString(server.url("/moved")).text(),
              QStringLiteral("HTTP/1.1 302 Found"));
    EXPECT_EQ(server.requestCount(), 1);

    server.on("POST", "/up", ScriptedResponse::redirect(303, "/target"));
    const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/up"), form);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.text(), QStringLiteral("HTTP/1.1 303 See Other"));
}

TEST_F(HttpRedirectTest, AfterAFoundOrSeeOtherThePostBecomesAGetWithoutBody) {
    client.setFollowRedirects(true);
    for (const int status : {302, 303}) {
        server.clearRequests();
        server.on("POST", "/up", ScriptedResponse::redirect(status, "/target"));
        const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/up"), form);
        ASSERT_TRUE(answer.ok()) << answer.text().toStdString();
        EXPECT_EQ(*answer, QByteArray("arrived"));
        ASSERT_EQ(server.requestCount(), 2);
        const RecordedRequest get = server.request(1);
        EXPECT_EQ(get.method, QByteArray("GET"));
        EXPECT_EQ(get.target, QByteArray("/target"));
        EXPECT_FALSE(get.hasHeader("Content-Type"));
        EXPECT_FALSE(get.hasHeader("Content-Length"));
        EXPECT_TRUE(get.body.isEmpty());
    }
}

TEST_F(HttpRedirectTest, OtherRedirectsRepeatThePostWithItsBody) {
    client.setFollowRedirects(true);
    for (const int status : {301, 307, 308}) {
        server.clearRequests();
        server.on("POST", "/up", ScriptedResponse::redirect(status, "/target"));
        const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/up"), form);
        ASSERT_TRUE(answer.ok()) << answer.text().toStdString();
        EXPECT_EQ(*answer, QByteArray("posted"));
        ASSERT_EQ(server.requestCount(), 2);
        const RecordedRequest first = server.request(0);
        const RecordedRequest again = server.request(1);
        EXPECT_EQ(again.method, QByteArray("POST"));
        EXPECT_EQ(again.version, QByteArray("HTTP/1.0"));
        EXPECT_EQ(again.body, *form.toBytes());
        EXPECT_EQ(again.body, first.body);
        EXPECT_NE(again.connection, first.connection);
    }
}

TEST_F(HttpRedirectTest, FourteenRedirectsAreFollowedAndTheFifteenthFails) {
    client.setFollowRedirects(true);
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url("/hop/13"))), QByteArray("arrived"));
    EXPECT_EQ(server.requestCount(), 15);

    server.clearRequests();
    const Result<QByteArray> tooMany = client.HttpGetToString(server.url("/hop/14"));
    EXPECT_EQ(server.requestCount(), 15);
    EXPECT_TRUE(tooMany.text().startsWith(QStringLiteral("Слишком много перенаправлений")));
}

TEST_F(HttpRedirectTest, NotModifiedAndRedirectsWithoutLocationAreFailures) {
    client.setFollowRedirects(true);
    server.on("GET", "/same", ScriptedResponse::error(304));
    EXPECT_EQ(client.HttpGetToString(server.url("/same")).text(),
              QStringLiteral("HTTP/1.1 304 Not Modified"));
    server.on("GET", "/nowhere", ScriptedResponse::error(302));
    EXPECT_EQ(client.HttpGetToString(server.url("/nowhere")).text(),
              QStringLiteral("HTTP/1.1 302 Found"));
}

TEST_F(HttpRedirectTest, RedirectsToOtherSchemesAreRefused) {
    client.setFollowRedirects(true);
    server.on("GET", "/file", ScriptedResponse::redirect(302, "file:///etc/passwd"));
    const Result<QByteArray> refused = client.HttpGetToString(server.url("/file"));
    ASSERT_FALSE(refused);
    EXPECT_FALSE(refused.text().isEmpty());
    EXPECT_EQ(server.requestCount(), 1);
}

} // namespace
} // namespace telva
