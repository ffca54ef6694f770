#include "app/context.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"
#include "tinyproxy_fixture.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

using test::FakeFrontend;
using test::HttpTestServer;
using test::ScriptedResponse;
using test::TinyproxyFixture;

struct ProxyTransportTest : ::testing::Test {
    void SetUp() override {
        if (TinyproxyFixture::binary().isEmpty())
            GTEST_SKIP() << "tinyproxy is not installed";
        server.on("GET", "/", ScriptedResponse::ok("site"));
    }
    void useProxy(const QString& user = {}) {
        ctx.settings.proxy.host = proxy.host();
        ctx.settings.proxy.port = proxy.port();
        ctx.settings.proxy.user = user;
    }

    FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer server;
    TinyproxyFixture proxy;
    HttpClient client{ctx};
};

TEST_F(ProxyTransportTest, PlainProxyPassesTheRequest) {
    ASSERT_TRUE(proxy.start()) << proxy.errorText().toStdString();
    useProxy();
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url())), QByteArray("site"));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_FALSE(server.request(0).hasHeader("Proxy-Authorization"));
    EXPECT_EQ(frontend.credentialRequests, 0);
}

TEST_F(ProxyTransportTest, BasicAuthProxyRefusesWithoutPasswordAndPassesWithIt) {
    ASSERT_TRUE(proxy.start({"clerk", "s3cret"})) << proxy.errorText().toStdString();
    useProxy("clerk");
    // Cancelled: the request goes on with the empty password and is refused.
    const QString refused = client.HttpGetToString(server.url()).text();
    EXPECT_EQ(frontend.credentialRequests, 1);
    // tinyproxy answers a missing or wrong Basic credential with 401 rather than 407.
    EXPECT_TRUE(refused.contains(" 401 ") || refused.contains(" 407 ")) << refused.toStdString();
    // A wrong password is refused too, and since it is not empty nobody is asked again.
    frontend.credentialAnswers.push_back({"clerk", "wrong"});
    EXPECT_FALSE(client.HttpGetToString(server.url()));
    EXPECT_EQ(frontend.credentialRequests, 2);
    ctx.settings.proxy.password.clear();
    frontend.credentialAnswers.push_back({"clerk", "s3cret"});
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url())), QByteArray("site"));
    EXPECT_EQ(frontend.credentialRequests, 3);
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url())), QByteArray("site"));
    EXPECT_EQ(frontend.credentialRequests, 3);
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(ProxyTransportTest, TheUploadNeverAsksForTheProxyPassword) {
    ASSERT_TRUE(proxy.start({"clerk", "s3cret"})) << proxy.errorText().toStdString();
    useProxy("clerk");
    server.on("POST", "/uploadfile", ScriptedResponse::ok("id=1"));
    MultipartForm form;
    form.addField("service", "r7");
    EXPECT_FALSE(client.HttpPostMultipart(server.url("/uploadfile"), form).ok());
    EXPECT_EQ(frontend.credentialRequests, 0);
    ctx.settings.proxy.password = "s3cret";
    const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/uploadfile"), form);
    ASSERT_TRUE(answer.ok()) << answer.text().toStdString();
    EXPECT_EQ(*answer, QByteArray("id=1"));
    EXPECT_EQ(frontend.credentialRequests, 0);
    EXPECT_EQ(server.request(0).version, QByteArray("HTTP/1.0"));
}

// The recording server standing in for a proxy shows what the client puts on the wire.
TEST(ProxyCredentials, BasicCredentialsGoWithTheFirstRequestToTheProxyOnly) {
    test::FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer fakeProxy;
    fakeProxy.onOther([](const test::RecordedRequest&) { return ScriptedResponse::ok("via"); });
    HttpClient client(ctx);
    ctx.settings.proxy = {QStringLiteral("127.0.0.1"), fakeProxy.port(), QStringLiteral("clerk"),
                          QStringLiteral("s3cret")};
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(QStringLiteral("http://www.kvb.example/"))),
              QByteArray("via"));
    ASSERT_EQ(fakeProxy.requestCount(), 1);
    const test::RecordedRequest request = fakeProxy.request(0);
    EXPECT_EQ(request.head.left(request.head.indexOf("\r\n")),
              QByteArray("GET http://www.kvb.example/ HTTP/1.1"));
    EXPECT_EQ(request.header("Proxy-Authorization"),
              "Basic " + QByteArray("clerk:s3cret").toBase64());
    EXPECT_EQ(frontend.credentialRequests, 0);

    // Without a proxy the same client sends no credentials to the server.
    ctx.settings.proxy.host.clear();
    ctx.settings.proxy.port = 0;
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("direct"));
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(site.url())), QByteArray("direct"));
    ASSERT_EQ(site.requestCount(), 1);
    EXPECT_FALSE(site.request(0).hasHeader("Proxy-Authorization"));
    EXPECT_FALSE(site.request(0).hasHeader("Authorization"));
}

TEST(ProxyCredentials, EnvironmentProxiesAreIgnored) {
    test::FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("direct"));
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy",
            QStringLiteral("http://127.0.0.1:%1").arg(test::freeLoopbackPort()).toUtf8());
    HttpClient client(ctx);
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(site.url())), QByteArray("direct"));
    if (saved.isNull())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", saved);
}

} // namespace
} // namespace telva
