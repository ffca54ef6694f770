#include "app/context.h"
#include "app/program.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace telva {
namespace {

using test::FakeFrontend;
using test::HttpTestServer;
using test::ScriptedResponse;

struct HttpClientTest : ::testing::Test {
    FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer server;
    HttpClient client{ctx};
};

TEST_F(HttpClientTest, GetSendsExactlyTheRequestLineAndHeaders) {
    server.on("GET", "/page", ScriptedResponse::ok("hello"));
    EXPECT_EQ(client.HttpGetToString(server.url("/page")), QByteArray("hello"));
    ASSERT_EQ(server.requestCount(), 1);
    const QByteArray expected = "GET /page HTTP/1.1\r\n"
                                "Host: " +
                                server.hostPort().toLatin1() +
                                "\r\n"
                                "User-Agent: " +
                                QByteArray(kUserAgent) +
                                "\r\n"
                                "Accept: text/html, */*\r\n"
                                "\r\n";
    EXPECT_EQ(server.request(0).raw, expected);
}

TEST_F(HttpClientTest, PostIsHttp10WithTheMultipartBodyByteForByte) {
    server.on("POST", "/uploadfile", ScriptedResponse::ok("accepted"));
    QTemporaryDir dir;
    QFile file(dir.filePath("report.er7"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x00\x01\xff binary", 10));
    file.close();
    MultipartForm form(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 4, 321)));
    EXPECT_EQ(form.boundary(), QByteArray("--------030726090504321"));
    form.addFile("filein", file.fileName(), "report.er7");
    form.addField("service", "r7");
    const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/uploadfile"), form);
    ASSERT_TRUE(answer.ok()) << answer.text().toStdString();
    EXPECT_EQ(*answer, QByteArray("accepted"));
    const QByteArray body =
        "----------030726090504321\r\n"
        "Content-Disposition: form-data; name=\"filein\"; filename=\"report.er7\"\r\n"
        "Content-Type: application/octet-stream\r\n"
        "\r\n" +
        QByteArray("\x00\x01\xff binary", 10) +
        "\r\n"
        "----------030726090504321\r\n"
        "Content-Disposition: form-data; name=\"service\"\r\n"
        "\r\n"
        "r7\r\n"
        "----------030726090504321--\r\n";
    const QByteArray expected =
        "POST /uploadfile HTTP/1.0\r\n"
        "Host: " +
        server.hostPort().toLatin1() +
        "\r\n"
        "User-Agent: " +
        QByteArray(kUserAgent) +
        "\r\n"
        "Accept: text/html, */*\r\n"
        "Content-Type: multipart/form-data; boundary=--------030726090504321\r\n"
        "Content-Length: " +
        QByteArray::number(body.size()) +
        "\r\n"
        "\r\n" +
        body;
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.request(0).raw, expected);
}

} // namespace
} // namespace telva
