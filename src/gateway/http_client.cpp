#include "gateway/http_client.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/last_request.h"
#include "app/program.h"
#include "app/secrets.h"
#include "gateway/http_transfer.h"
#include "gateway/request_log.h"
#include "gateway/tls_options.h"

#include <QUrl>
#include <curl/curl.h>

#include <utility>

namespace telva {

namespace {

CURL* handle(void* p) {
    return static_cast<CURL*>(p);
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

} // namespace

HttpClient::HttpClient(AppContext& ctx) : ctx_(ctx) {
    static CurlGlobal global;
    CURL* curl = curl_easy_init();
    curl_ = curl;
    // The cookie engine, in memory only: nothing is read from or written to disk.
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    // A request given up while its name is still being looked up leaves the lookup to finish
    // on its own thread instead of waiting for it.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
    // The transfers run on a multi handle of their own, which keeps the live connections and
    // the names looked up from one request to the next.
    multi_ = curl_multi_init();
}

HttpClient::~HttpClient() {
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
    curl_easy_cleanup(handle(curl_));
}

int HttpClient::stallTimeoutMs() const {
    return stallTimeoutSeconds_ * 1000;
}

void HttpClient::configure(Transfer& t, const QByteArray& url, bool post) {
    CURL* curl = handle(curl_);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L); // redirects are followed here, by hand
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(t.options.connectTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    // A peer that vanished without closing is noticed even while an answer is awaited.
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 60L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 30L);
    setTransferCallbacks(curl, t, post);
    t.host = QUrl(QString::fromLatin1(url)).host(QUrl::FullyEncoded).toLatin1();
    configureTls(curl, caFile_, &t.host);

    // The proxy of the settings; an empty host is a direct connection, whatever the
    // environment says. Credentials go to a proxy only.
    const ProxySettings& proxy = ctx_.settings.proxy;
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    if (proxy.host.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, nullptr);
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, nullptr);
    } else {
        QByteArray host = QUrl::toAce(proxy.host);
        if (host.isEmpty())
            host = proxy.host.toUtf8();
        const QByteArray proxyUrl = "http://" + host + ':' + QByteArray::number(proxy.port);
        curl_easy_setopt(curl, CURLOPT_PROXY, proxyUrl.constData());
        curl_easy_setopt(curl, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
        curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (proxy.user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, nullptr);
            curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, nullptr);
        } else {
            // Basic alone: libcurl then sends it with the request, without waiting for a 407.
            curl_easy_setopt(curl, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxy.user.toUtf8().constData());
            // libcurl keeps its own copy; ours is overwritten at once.
            QByteArray password = proxy.password.toUtf8();
            curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, password.constData());
            wipe(password);
        }
    }

    static curl_slist* getHeaders = curl_slist_append(nullptr, "Accept: text/html, */*");
    if (post) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t.bodyLength));
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 0L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 0L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, getHeaders);
    }
}

QString HttpClient::proxyInUse() const {
    const ProxySettings& proxy = ctx_.settings.proxy;
    return proxy.host.isEmpty() ? QString()
                                : proxy.host + QLatin1Char(':') + QString::number(proxy.port);
}

void HttpClient::logAttempt(void* handle, bool post, const QByteArray& url, const QString& failure,
                            const QByteArray& statusLine, qint64 sent, qint64 milliseconds) {
    RequestRecord record;
    record.method = post ? "POST" : "GET";
    record.url = url;
    record.proxy = proxyInUse();
    record.statusLine = statusLine;
    record.failure = failure;
    curl_off_t received = 0;
    curl_easy_getinfo(static_cast<CURL*>(handle), CURLINFO_SIZE_DOWNLOAD_T, &received);
    record.bytesReceived = qint64(received);
    record.bytesSent = sent;
    record.milliseconds = milliseconds;
    logEvent(requestLogLine(record));
}

Status HttpClient::run(Transfer& t) {
    CURL* curl = handle(curl_);
    if (busy_)
        return Status::fail(QStringLiteral("Выполняется другой запрос."));
    busy_ = true;
    ctx_.frontend.setCancellable(true);
    t.startedAt = ctx_.clock.ticks();
    t.slot = &slot_;
    bool post = t.form != nullptr;
    curl_slist* postHeaders = nullptr;
    if (post) {
        postHeaders = curl_slist_append(postHeaders, "Accept: text/html, */*");
        postHeaders =
            curl_slist_append(postHeaders, ("Content-Type: " + t.form->contentType()).constData());
        postHeaders = curl_slist_append(postHeaders, "Expect:");
    }
    QByteArray url = QUrl(t.url).toEncoded();
    Status outcome;
    for (int redirects = 0;; ++redirects) {
        const qint64 attemptStart = ctx_.clock.ticks();
        t.startAttempt(post, attemptStart);
        configure(t, url, post);
        if (post)
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, postHeaders);
        const CURLcode rc = performTransfer(static_cast<CURLM*>(multi_), curl, t);
        curl_off_t uploaded = 0;
        curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        // libcurl's own words stay in the journal; the person reads the Russian text.
        const QString detail =
            rc == CURLE_OK
                ? QString()
                : QString::fromUtf8(t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(rc));
        logAttempt(curl, post, url, detail, t.statusLine, qint64(uploaded),
                   ctx_.clock.ticks() - attemptStart);
        if (post && uploaded >= t.bodyLength)
            t.bodyDelivered = true;
        if (rc != CURLE_OK) {
            outcome = transferError(rc, t, curl, detail, proxyInUse(), stallTimeoutSeconds_);
            break;
        }
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200 && code <= 299) {
            t.overTls = url.startsWith("https://");
            break;
        }
        const QByteArray shownLine =
            t.statusLine.isEmpty() ? "HTTP " + QByteArray::number(code) : t.statusLine;
        char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        const bool redirect = code >= 300 && code <= 399 && code != 304 && location;
        if (!redirect || !followRedirects_) {
            outcome =
                Status::fail(QString::fromLatin1(shownLine),
                             isServerFault(int(code)) ? ErrorKind::ServerFault : ErrorKind::Failed);
            break;
        }
        if (redirects >= kMaxRedirects) {
            outcome = Status::fail(QStringLiteral("Слишком много перенаправлений (больше %1): %2")
                                       .arg(kMaxRedirects)
                                       .arg(QString::fromLatin1(shownLine)));
            break;
        }
        const QByteArray next(location);
        if (!next.startsWith("http://") && !next.startsWith("https://")) {
            outcome = Status::fail(QStringLiteral("Неверный адрес перенаправления \"%1\".")
                                       .arg(QString::fromLatin1(next)));
            break;
        }
        url = next;
        t.url = QString::fromUtf8(next);
        if (post && (code == 302 || code == 303))
            post = false; // a GET without body follows
    }
    // Nothing of this request may outlive it in the handle.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, nullptr);
    curl_slist_free_all(postHeaders);
    slot_.giveBack(ctx_.clock.now());
    ctx_.frontend.setCancellable(false);
    busy_ = false;
    return outcome;
}

void HttpClient::AskProxyCredentials() {
    ProxySettings& proxy = ctx_.settings.proxy;
    if (proxy.user.isEmpty() || !proxy.password.isEmpty())
        return;
    QString user = proxy.user;
    QString password = proxy.password;
    if (!ctx_.frontend.askProxyCredentials(user, password))
        return;
    if (!password.isEmpty())
        keepCoreDumpsOff();
    proxy.user = user;
    proxy.password = password;
}

Status HttpClient::get(const QString& url, Sink& sink, const RequestOptions& options,
                       bool* overTls) {
    AskProxyCredentials();
    Transfer t;
    t.client = this;
    t.sink = &sink;
    t.options = options;
    t.url = url;
    Status done = run(t);
    if (overTls)
        *overTls = t.overTls;
    return done;
}

Result<QByteArray> HttpClient::HttpGetToString(const QString& url, const RequestOptions& options) {
    QByteArray body;
    if (const Status got = HttpGetToStream(url, body, options); !got)
        return got.error();
    return body;
}

Status HttpClient::HttpGetToStream(const QString& url, QByteArray& bytes,
                                   const RequestOptions& options) {
    Sink sink{[&bytes](const char* data, qint64 n) {
        bytes.append(data, qsizetype(n));
        return true;
    }};
    return get(url, sink, options);
}

Status HttpClient::HttpGetToStream(const QString& url, QIODevice& stream,
                                   const RequestOptions& options) {
    Sink sink{[&stream](const char* data, qint64 n) { return stream.write(data, n) == n; }};
    return get(url, sink, options);
}

Result<QByteArray> HttpClient::HttpPostMultipart(const QString& url, const MultipartForm& form) {
    const Result<qint64> length = form.contentLength();
    if (!length) {
        slot_.giveBack(ctx_.clock.now());
        return Result<QByteArray>(length.error());
    }
    QByteArray body;
    Sink sink{[&body](const char* data, qint64 n) {
        body.append(data, qsizetype(n));
        return true;
    }};
    Transfer t;
    t.client = this;
    t.sink = &sink;
    t.form = &form;
    t.reader = std::make_unique<FormBodyReader>(form);
    t.bodyLength = *length;
    t.url = url;
    t.options.maxBytes = kMaxUploadAnswerBytes;
    t.options.totalTimeoutSeconds = 0;
    if (const Status sent = run(t); !sent)
        return sent.error();
    return body;
}

Result<Downloaded> HttpClient::Download(const QString& url) {
    ctx_.showProgress(QString::fromUtf8(kDownloadingText));
    Downloaded got;
    Sink sink{[&got](const char* data, qint64 n) {
        got.bytes.append(data, qsizetype(n));
        return true;
    }};
    const Status done = get(url, sink, {}, &got.overTls);
    if (!done) {
        Error why = done.error();
        if (!why.stopped())
            why.cause = std::exchange(why.text, QString::fromUtf8(kDownloadFailedText));
        return why;
    }
    return got;
}

Status HttpClient::WaitRequestSpacing() {
    if (beforeFirst_)
        std::exchange(beforeFirst_, nullptr)();
    return waitRequestSpacing(ctx_, slot_);
}

QList<QByteArray> HttpClient::cookies() const {
    QList<QByteArray> lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(handle(curl_), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return lines;
    for (curl_slist* item = list; item; item = item->next)
        lines.append(QByteArray(item->data));
    curl_slist_free_all(list);
    return lines;
}

void HttpClient::clearCookies() {
    curl_easy_setopt(handle(curl_), CURLOPT_COOKIELIST, "ALL");
}

} // namespace telva
