#include "app/context.h"
#include "app/program.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"
#include "tinyproxy_fixture.h"

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
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url("/page"))), QByteArray("hello"));
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

TEST_F(HttpClientTest, CookiesSetByTheServerGoBackWithLaterRequestsAndStayInMemory) {
    ScriptedResponse login = ScriptedResponse::ok("in");
    login.addHeader("Set-Cookie", "sid=abc123; Path=/");
    login.addHeader("Set-Cookie", "lang=ru; Path=/kvb");
    server.on("GET", "/login", login);
    server.on("GET", "/kvb/statusreport", ScriptedResponse::ok("status"));
    server.on("POST", "/uploadfile", ScriptedResponse::ok("ok"));

    EXPECT_FALSE(test::bodyOf(client.HttpGetToString(server.url("/login"))).isEmpty());
    EXPECT_FALSE(server.request(0).hasHeader("Cookie"));
    EXPECT_FALSE(
        test::bodyOf(client.HttpGetToString(server.url("/kvb/statusreport?id=7"))).isEmpty());
    EXPECT_EQ(server.request(1).header("Cookie"), QByteArray("lang=ru; sid=abc123"));
    MultipartForm form;
    form.addField("service", "r7");
    EXPECT_TRUE(client.HttpPostMultipart(server.url("/uploadfile"), form).ok());
    EXPECT_EQ(server.request(2).header("Cookie"), QByteArray("sid=abc123"));
    EXPECT_EQ(client.cookies().size(), 2);

    // A second client (a second run) starts without them: nothing went to disk.
    HttpClient other(ctx);
    EXPECT_TRUE(other.cookies().isEmpty());
    EXPECT_FALSE(test::bodyOf(other.HttpGetToString(server.url("/kvb/statusreport"))).isEmpty());
    EXPECT_FALSE(server.request(3).hasHeader("Cookie"));
}

TEST_F(HttpClientTest, ErrorStatusesFailWithTheStatusLine) {
    server.on("GET", "/missing", ScriptedResponse::error(404));
    server.on("POST", "/uploadfile", ScriptedResponse::error(500));
    QByteArray stream("kept:");
    const Status missing = client.HttpGetToStream(server.url("/missing"), stream);
    EXPECT_EQ(stream, QByteArray("kept:")); // the error page is not taken as the body
    EXPECT_EQ(missing.text(), QStringLiteral("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(missing.kind(), ErrorKind::Failed);
    EXPECT_FALSE(client.HttpGetToString(server.url("/missing")));

    MultipartForm form;
    form.addField("service", "r7");
    const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/uploadfile"), form);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.text(), QStringLiteral("HTTP/1.1 500 Internal Server Error"));
}

TEST_F(HttpClientTest, NetworkFailuresGiveReadableTexts) {
    const QString closed = QStringLiteral("http://127.0.0.1:%1/").arg(test::freeLoopbackPort());
    const Result<QByteArray> refused = client.HttpGetToString(closed);
    EXPECT_TRUE(refused.text().startsWith(QStringLiteral("Не удается подключиться к серверу")))
        << refused.text().toStdString();
    EXPECT_EQ(refused.kind(), ErrorKind::Unreachable);

    MultipartForm form;
    form.addFile("filein", "/nonexistent/report.er7", "report.er7");
    const Result<QByteArray> answer = client.HttpPostMultipart(server.url("/uploadfile"), form);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.text(), QStringLiteral("Файл \"/nonexistent/report.er7\" не найден."));
    EXPECT_EQ(server.requestCount(), 0);

    EXPECT_EQ(client.HttpGetToString(QStringLiteral("http://nohost.invalid/")).text(),
              QStringLiteral("Не удается найти сервер nohost.invalid."));

    const Result<QByteArray> ftp = client.HttpGetToString(QStringLiteral("ftp://127.0.0.1/x"));
    ASSERT_FALSE(ftp);
    EXPECT_FALSE(ftp.text().isEmpty());
}

TEST_F(HttpClientTest, AStalledTransferFailsKeepingWhatArrivedAndTheWindowPaints) {
    ScriptedResponse slow = ScriptedResponse::ok("0123456789");
    slow.stallAfter = 4;
    server.on("GET", "/slow.cer", slow);
    client.setStallTimeoutSeconds(2);
    QByteArray arrived;
    const QString stalled =
        QStringLiteral("Сервер не отвечает: за 2 с не передано ни одного байта.");
    EXPECT_EQ(client.HttpGetToStream(server.url("/slow.cer"), arrived).text(), stalled);
    EXPECT_EQ(arrived, QByteArray("0123"));
    const Result<Downloaded> downloaded = client.Download(server.url("/slow.cer"));
    EXPECT_EQ(downloaded.text(), QStringLiteral("Ошибка загрузки."));
    EXPECT_EQ(downloaded.error().cause, stalled);
    EXPECT_EQ(frontend.statuses, QStringList({QStringLiteral("Идет загрузка ...")}));
    EXPECT_GT(frontend.processed, 1);
    EXPECT_FALSE(frontend.progress.isEmpty());
}

TEST_F(HttpClientTest, ADownloadThatKeepsFlowingOutlastsItsTotalLimit) {
    // Six pieces 300 ms apart: longer than the one second allowed before the pace counts.
    ScriptedResponse slow = ScriptedResponse::ok(QByteArray(6 * 16384, 'r'));
    slow.dripPiece = 16384;
    slow.dripPauseMs = 300;
    server.on("GET", "/invoice", slow);
    RequestOptions options;
    options.totalTimeoutSeconds = 1;
    QByteArray arrived;
    const Status paced = client.HttpGetToStream(server.url("/invoice"), arrived, options);
    EXPECT_TRUE(paced) << paced.text().toStdString();
    EXPECT_EQ(arrived, slow.body);

    // Held to the second alone, the same download is cut.
    options.minBytesPerSecond = 0;
    arrived.clear();
    const Status cut = client.HttpGetToStream(server.url("/invoice"), arrived, options);
    EXPECT_EQ(cut.text(), QStringLiteral("Загрузка не завершилась за 1 с и прервана."));
    EXPECT_EQ(cut.kind(), ErrorKind::Stopped);
}

TEST_F(HttpClientTest, DownloadGivesTheBodyAndKeepsTheProgressText) {
    server.on("GET", "/uc/root.cer", ScriptedResponse::ok("DER", "application/pkix-cert"));
    const Result<Downloaded> got = client.Download(server.url("/uc/root.cer"));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, QByteArray("DER"));
    EXPECT_FALSE(got->overTls);
    EXPECT_EQ(frontend.statuses, QStringList{QStringLiteral("Идет загрузка ...")});
    EXPECT_GE(frontend.processed, 1);
}

TEST(MultipartForm, QuotesAndLineBreaksCannotBreakThePartHeaders) {
    MultipartForm form(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58, 7)));
    EXPECT_EQ(form.boundary(), QByteArray("--------123126235958007"));
    form.addField("a\"b", "value \"with\"\r\nbreaks");
    form.addFile("filein", "/tmp/x", "evil\"; name=\"x\r\nX-Injected: 1.er7", "text/plain\r\nX: y");
    EXPECT_EQ(form.partHead(0),
              QByteArray("----------123126235958007\r\n"
                         "Content-Disposition: form-data; name=\"a%22b\"\r\n\r\n"));
    EXPECT_EQ(form.partHead(1),
              QByteArray("----------123126235958007\r\n"
                         "Content-Disposition: form-data; name=\"filein\"; "
                         "filename=\"evil%22; name=%22x%0D%0AX-Injected: 1.er7\"\r\n"
                         "Content-Type: text/plain%0D%0AX: y\r\n\r\n"));
    EXPECT_EQ(form.closing(), QByteArray("----------123126235958007--\r\n"));
}

} // namespace
} // namespace telva
