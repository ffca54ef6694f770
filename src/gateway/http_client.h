#pragma once

#include "app/last_request.h"
#include "app/result.h"
#include "app/texts.h"
#include "gateway/request_spacing.h"
#include "gateway/transfer_errors.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QIODevice;

namespace telva {

struct AppContext;

// A multipart/form-data body. Text fields are held in memory; a file field names a
// file on disk whose bytes are streamed when the body is sent, never loaded whole.
// Names, file names and values are 8-bit text taken as they are; in the part headers the
// three bytes '"', CR and LF of a name or file name are written as %22, %0D and %0A so that
// no value can break the form.
class MultipartForm {
public:
    struct Part {
        QByteArray name;
        QByteArray value;       // text field: the value
        QString filePath;       // file field: the file on disk (empty for a text field)
        QByteArray fileName;    // file field: the file name sent
        QByteArray contentType; // file field: its content type
        bool isFile() const { return !filePath.isEmpty(); }
    };

    // The boundary is "--------" + MMddyyHHmmsszzz of the given local time.
    explicit MultipartForm(const QDateTime& built = QDateTime::currentDateTime());

    void addField(const QByteArray& name, const QByteArray& value);
    void addFile(const QByteArray& name, const QString& filePath, const QByteArray& fileName,
                 const QByteArray& contentType = QByteArrayLiteral("application/octet-stream"));

    const QByteArray& boundary() const { return boundary_; }
    const QList<Part>& parts() const { return parts_; }
    // "multipart/form-data; boundary=" + boundary.
    QByteArray contentType() const;

    // The bytes before a part's content ("--" boundary CRLF, its headers, CRLF).
    QByteArray partHead(qsizetype index) const;
    // The closing line: "--" + boundary + "--" + CRLF.
    QByteArray closing() const;
    // The length of the whole body (file sizes read from disk); fails when a file is missing.
    Result<qint64> contentLength() const;
    // The whole body in memory; for tests and small forms only.
    Result<QByteArray> toBytes() const;

    // The escaping of part-header texts.
    static QByteArray escapeHeaderText(const QByteArray& text);
    static QByteArray boundaryFor(const QDateTime& built);

private:
    QByteArray boundary_;
    QList<Part> parts_;
};

// The most an answer may hold: a status page or certificate, the upload answer, a receipt.
inline constexpr qint64 kMaxPageBytes = qint64(16) << 20;
inline constexpr qint64 kMaxUploadAnswerBytes = qint64(1) << 20;
inline constexpr qint64 kMaxReceiptBytes = qint64(512) << 20;
// The time a download may take in all before its pace counts, and the pace it must keep on
// average from then on: a large receipt on a slow line arrives, a trickle does not.
inline constexpr int kDownloadTimeLimitSeconds = 300;
inline constexpr qint64 kDownloadMinBytesPerSecond = 1024;

// Options of one GET.
struct RequestOptions {
    // Seconds a connection attempt may take (30; the connection check uses 10).
    int connectTimeoutSeconds = 30;
    // Bytes of answer body accepted; past them the transfer stops with a clear text.
    qint64 maxBytes = kMaxPageBytes;
    // Seconds the whole transfer may take; 0 for no limit. Each byte received buys
    // 1/minBytesPerSecond s more, so the limit grows with the size (0: a fixed limit).
    int totalTimeoutSeconds = kDownloadTimeLimitSeconds;
    qint64 minBytesPerSecond = kDownloadMinBytesPerSecond;
};

// A download's bytes and how they came.
struct Downloaded {
    QByteArray bytes;
    // Over TLS from a server whose certificate passed the check (redirects included: the final
    // address was https).
    bool overTls = false;
};

// The one HTTP client of a run, over libcurl. It reads the proxy host, port, user
// and in-memory password from ctx.settings.proxy at each request, keeps cookies in memory,
// and reports through ctx.frontend. Requests block the caller, but not its events: while they
// run, a name lookup and a connection attempt included, the client turns them at least every
// 30 ms (Frontend::processEvents) and shows the bytes moved (Frontend::showProgress).
//
// On the wire: GET as HTTP/1.1; the upload POST as HTTP/1.0 on a newly opened connection;
// "User-Agent" kUserAgent and "Accept: text/html, */*" on every request; "Proxy-Authorization:
// Basic ..." sent with the request itself, and only to a proxy (never to a server reached
// directly). Redirects are refused until setFollowRedirects(true) (the first upload), then at
// most 14 are followed; after 302/303 a GET without body follows, after the others the same
// method and body. A connection attempt gives up after 30 s; a transfer that moves no byte
// for 120 s fails, and so does a download still running after 5 minutes plus a second
// for every KB received (one slower than 1 KB/s on average). Once an upload's body is sent
// its answer is awaited as long as the connection stays open (the fund may take its time),
// and a failure from then on says the report may have arrived. Answers are read only up to
// their limits; the person can cancel any request (Frontend::cancelRequested). Time is
// measured on ctx.clock. A failure's kind tells what the callers act on: the server never
// reached, a 5xx answer, a limit, the person's cancel, TLS, a report that may have arrived. https
// addresses work over TLS (gateway/tls_options.h), through a proxy by CONNECT with the same Basic
// authentication; the wire rules above hold inside TLS.
class HttpClient {
public:
    explicit HttpClient(AppContext& ctx);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    AppContext& context() const { return ctx_; }

    bool followRedirects() const { return followRedirects_; }
    void setFollowRedirects(bool on) { followRedirects_ = on; }

    // Runs AskProxyCredentials, GETs the address and gives the body, unconverted. A final
    // status outside 200..299 fails with the response's status line as text; a network
    // failure with its text. Nothing is shown.
    Result<QByteArray> HttpGetToString(const QString& url, const RequestOptions& options = {});
    // Runs AskProxyCredentials, GETs the address and appends the body to the stream (or the
    // byte array); fails as HttpGetToString does. Bytes of a 2xx body that arrived before a
    // failure stay in the stream.
    Status HttpGetToStream(const QString& url, QIODevice& stream,
                           const RequestOptions& options = {});
    Status HttpGetToStream(const QString& url, QByteArray& bytes,
                           const RequestOptions& options = {});
    // POSTs the form (no AskProxyCredentials) and gives the answer body (at most 1 MB),
    // unconverted; fails as HttpGetToString does.
    Result<QByteArray> HttpPostMultipart(const QString& url, const MultipartForm& form);
    // Shows "Идет загрузка ...", GETs the address and gives the body; on failure "Ошибка
    // загрузки." (the request's own failure as its cause), or why it was stopped
    // (Error::stopped()).
    Result<Downloaded> Download(const QString& url);
    // The spacing before a gateway request (waitRequestSpacing); the client's slot is given
    // back once that request has gone out, so runs of the window and the terminal program
    // keep the spacing between them as well. A cancelled wait fails, and no request follows.
    Status WaitRequestSpacing();
    // A step run once, before the first spaced request: the terminal program opens the site
    // root there, as the window does at start, for the session cookie.
    void setBeforeFirstGatewayRequest(std::function<void()> step) {
        beforeFirst_ = std::move(step);
    }
    // With a proxy user name and no password, asks the frontend for both (TGetAuth).
    void AskProxyCredentials();

    // True while a request runs. The window keeps painting meanwhile, so an event handler may
    // try another request; that one fails at once instead of re-entering the transfer.
    bool busy() const { return busy_; }

    // The cookies held, as libcurl's Netscape-format lines (for tests and diagnostics).
    QList<QByteArray> cookies() const;
    // Forgets all cookies.
    void clearCookies();

    // Seconds without a byte moved after which a transfer fails (120); tests shorten it.
    void setStallTimeoutSeconds(int seconds) { stallTimeoutSeconds_ = seconds; }
    int stallTimeoutMs() const;
    // Certificate authorities for https instead of the system's (a PEM file); tests use it
    // for a local server. The store "Root" of the program is trusted either way.
    void setCaFile(const QString& path) { caFile_ = path; }

    struct Sink;     // where a body goes (implementation detail)
    struct Transfer; // one request in flight (implementation detail)

private:
    Status get(const QString& url, Sink& sink, const RequestOptions& options,
               bool* overTls = nullptr);
    // Runs one request with its redirects.
    Status run(Transfer& transfer);
    void configure(Transfer& transfer, const QByteArray& url, bool post);
    // One attempt of a request into the journal.
    // failure: libcurl's own text, empty when an answer came.
    void logAttempt(void* curl, bool post, const QByteArray& url, const QString& failure,
                    const QByteArray& statusLine, qint64 sent, qint64 milliseconds);
    QString proxyInUse() const; // "host:port", empty for a direct connection

    AppContext& ctx_;
    void* curl_ = nullptr;  // CURL*, kept for the run: cookies
    void* multi_ = nullptr; // CURLM*, kept for the run: live connections, names looked up
    std::function<void()> beforeFirst_;
    bool followRedirects_ = false;
    bool busy_ = false;
    int stallTimeoutSeconds_ = 120;
    QString caFile_;
    RequestSlot slot_;
};

// Texts of the transport.
inline constexpr const char* kDownloadingText = "Идет загрузка ...";
inline constexpr const char* kDownloadFailedText = "Ошибка загрузки.";
// The number of redirects followed for one request.
inline constexpr int kMaxRedirects = 14;

} // namespace telva
