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
    EXPECT_EQ(client.HttpGetToString(server.url()), QByteArray("site"));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_FALSE(server.request(0).hasHeader("Proxy-Authorization"));
    EXPECT_EQ(frontend.credentialRequests, 0);
}

TEST_F(ProxyTransportTest, BasicAuthProxyRefusesWithoutPasswordAndPassesWithIt) {
    ASSERT_TRUE(proxy.start({"clerk", "s3cret"})) << proxy.errorText().toStdString();
    useProxy("clerk");
    // Cancelled: the request goes on with the empty password and is refused.
    EXPECT_TRUE(client.HttpGetToString(server.url()).isEmpty());
    EXPECT_EQ(frontend.credentialRequests, 1);
    // tinyproxy answers a missing or wrong Basic credential with 401 rather than 407.
    EXPECT_TRUE(client.lastError().contains(" 401 ") || client.lastError().contains(" 407 "))
        << client.lastError().toStdString();
    // A wrong password is refused too, and since it is not empty nobody is asked again.
    frontend.credentialAnswers.push_back({"clerk", "wrong"});
    EXPECT_TRUE(client.HttpGetToString(server.url()).isEmpty());
    EXPECT_EQ(frontend.credentialRequests, 2);
    ctx.settings.proxy.password.clear();
    frontend.credentialAnswers.push_back({"clerk", "s3cret"});
    EXPECT_EQ(client.HttpGetToString(server.url()), QByteArray("site"));
    EXPECT_EQ(frontend.credentialRequests, 3);
    EXPECT_EQ(client.HttpGetToString(server.url()), QByteArray("site"));
    EXPECT_EQ(frontend.credentialRequests, 3);
    EXPECT_EQ(server.requestCount(), 2);
}

} // namespace
} // namespace telva
