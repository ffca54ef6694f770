#include "gateway/http_client.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/last_request.h"
#include "app/program.h"
#include "app/secrets.h"
#include "gateway/form_body_reader.h"
#include "gateway/request_log.h"
#include "gateway/tls_options.h"
#include "gateway/transfer_errors.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QUrl>
#include <curl/curl.h>

#include <functional>
#include <utility>

namespace telva {

namespace {

CURL* handle(void* p) {
    return static_cast<CURL*>(p);
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

QString kilobytes(curl_off_t bytes) {
    return QString::number((bytes + 1023) / 1024);
}

} // namespace

// Where the body of a 2xx answer goes; false from write() aborts the transfer.
struct HttpClient::Sink {
    std::function<bool(const char*, qint64)> write;
};

struct HttpClient::Transfer {
    HttpClient* client = nullptr;
    Sink* sink = nullptr;
    const MultipartForm* form = nullptr;
    std::unique_ptr<FormBodyReader> reader;
    // The spacing slot this request was given, handed back once bytes move.
    RequestSlot* slot = nullptr;
    qint64 bodyLength = 0;
    RequestOptions options;
    QString url;
    QByteArray host; // of the attempt's address, for the TLS name check
    qint64 startedAt = 0;
    // Some attempt sent the whole body: from then on the gateway may have the report.
    bool bodyDelivered = false;
    bool cancelled = false;
    bool overTime = false;
    // The final answer came over TLS.
    bool overTls = false;

    // Per attempt.
    bool posting = false;
    int status = 0;
    QByteArray statusLine;
    bool sinkFailed = false;
    bool stalled = false;
    bool tooLarge = false;
    bool bodySent = false;
    qint64 bodySentAt = 0;
    qint64 waitShown = 0;
    qint64 received = 0;
    curl_off_t lastMoved = -1;
    qint64 lastMoveAt = 0;
    QElapsedTimer sinceStart;
    QElapsedTimer sincePaint;
    qint64 lastShown = -1;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void startAttempt(bool post, qint64 now) {
        posting = post;
        status = 0;
        statusLine.clear();
        stalled = false;
        tooLarge = false;
        bodySent = false;
        waitShown = 0;
        received = 0;
        lastMoved = -1;
        lastMoveAt = now;
        sinceStart.start();
        sincePaint.start();
        errorBuffer[0] = 0;
        if (reader)
            reader->rewind();
    }
};

namespace {

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    const size_t n = size * count;
    QByteArray line(data, qsizetype(n));
    if (line.startsWith("HTTP/")) {
        t->statusLine = line.trimmed();
        const QList<QByteArray> words = t->statusLine.split(' ');
        t->status = words.size() > 1 ? words.at(1).toInt() : 0;
    }
    return n;
}

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    const size_t n = size * count;
    // Only the body of a final good answer is kept; error pages and redirect bodies are not.
    if (t->status < 200 || t->status > 299 || !t->sink)
        return n;
    t->received += qint64(n);
    if (t->received > t->options.maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    if (!t->sink->write(data, qint64(n))) {
        t->sinkFailed = true;
        return 0;
    }
    return n;
}

size_t onRead(char* out, size_t size, size_t count, void* user) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    const qint64 n = t->reader->read(out, qint64(size * count));
    if (n < 0)
        return CURL_READFUNC_ABORT;
    return size_t(n);
}

int onSeek(void* user, curl_off_t offset, int origin) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    if (origin != SEEK_SET || offset != 0 || !t->reader)
        return CURL_SEEKFUNC_CANTSEEK;
    t->reader->rewind();
    return CURL_SEEKFUNC_OK;
}

} // namespace

// Keeps the window painting, shows the bytes moved and the wait for an upload's answer, and
// gives up on a transfer that stalls, takes too long in all or is cancelled.
static int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t ultotal,
                      curl_off_t ulnow) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    AppContext& ctx = t->client->context();
    Frontend& frontend = ctx.frontend;
    const qint64 now = ctx.clock.ticks();
    if (frontend.cancelRequested()) {
        t->cancelled = true;
        return 1;
    }
    if (t->posting && !t->bodySent && ultotal > 0 && ulnow >= ultotal) {
        t->bodySent = true;
        t->bodyDelivered = true;
        t->bodySentAt = now;
    }
    const curl_off_t moved = dlnow + ulnow;
    if (moved > 0 && t->slot)
        t->slot->giveBack(ctx.clock.now());
    if (moved != t->lastMoved) {
        t->lastMoved = moved;
        t->lastMoveAt = now;
    } else if (!t->bodySent && now - t->lastMoveAt >= qint64(t->client->stallTimeoutMs())) {
        t->stalled = true;
        return 1;
    }
    const qint64 earned =
        t->options.minBytesPerSecond > 0 ? qint64(dlnow) * 1000 / t->options.minBytesPerSecond : 0;
    if (t->options.totalTimeoutSeconds > 0 &&
        now - t->startedAt >= qint64(t->options.totalTimeoutSeconds) * 1000 + earned) {
        t->overTime = true;
        return 1;
    }
    if (t->bodySent && t->status == 0) {
        const qint64 waited = (now - t->bodySentAt) / 1000;
        if (waited > t->waitShown) {
            t->waitShown = waited;
            frontend.showProgress(awaitingAnswerText(waited));
        }
    }
    if (t->sincePaint.elapsed() >= 30) {
        t->sincePaint.restart();
        // Progress only for a request that takes a while, so quick ones do not flicker.
        if (t->sinceStart.elapsed() >= 500 && moved / 1024 != t->lastShown && !t->bodySent) {
            t->lastShown = moved / 1024;
            if (ultotal > 0 && ulnow < ultotal)
                frontend.showProgress(QStringLiteral("Отправлено %1 из %2 КБ")
                                          .arg(kilobytes(ulnow), kilobytes(ultotal)));
            else
                frontend.showProgress(QStringLiteral("Получено %1 КБ").arg(kilobytes(dlnow)));
        }
        frontend.processEvents();
    }
    return 0;
}

QString awaitingAnswerText(qint64 seconds) {
    return QStringLiteral("Ожидание ответа шлюза… %1 с").arg(seconds);
}

QString mayHaveArrivedText(const QString& why) {
    QString reason = why;
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return QStringLiteral("Отчет передан на шлюз, но ответ не получен (%1). Шлюз мог принять "
                          "отчет: повторная отправка может зарегистрировать его в КВБ дважды.")
        .arg(reason);
}

HttpClient::HttpClient(AppContext& ctx) : ctx_(ctx) {
    static CurlGlobal global;
    CURL* curl = curl_easy_init();
    curl_ = curl;
    // The cookie engine, in memory only: nothing is read from or written to disk.
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
}

HttpClient::~HttpClient() {
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
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
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
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, &t);
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, onSeek);
        curl_easy_setopt(curl, CURLOPT_SEEKDATA, &t);
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

static QString failureText(CURLcode rc, const HttpClient::Transfer& t, CURL* curl,
                           const QString& detail, const QString& proxy, int stallSeconds) {
    if (isTlsFailure(rc))
        return tlsFailureText(rc, curl, QUrl(t.url).host(), detail);
    double connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME, &connectTime);
    TransferFailure f;
    f.curlCode = rc;
    f.url = t.url;
    f.proxy = proxy;
    f.connected = connectTime > 0;
    f.connectSeconds = t.options.connectTimeoutSeconds;
    f.cancelled = t.cancelled;
    f.stalled = t.stalled;
    f.stallSeconds = stallSeconds;
    f.overTime = t.overTime;
    f.totalSeconds = t.options.totalTimeoutSeconds;
    f.minBytesPerSecond = t.options.minBytesPerSecond;
    f.tooLarge = t.tooLarge;
    f.maxBytes = t.options.maxBytes;
    if (t.reader)
        f.unreadableFile = t.reader->failedFile();
    return transferFailureText(f);
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

// What a failed attempt was, for the callers that act on more than its text.
static ErrorKind failureKind(CURLcode rc, const HttpClient::Transfer& t, CURL* curl) {
    if (t.bodyDelivered)
        return ErrorKind::MayHaveArrived;
    if (isTlsFailure(rc))
        return ErrorKind::Tls;
    if (t.cancelled)
        return ErrorKind::Cancelled;
    if (t.overTime || t.tooLarge)
        return ErrorKind::Stopped;
    double connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME, &connectTime);
    if (isUnreachable(rc, connectTime > 0))
        return ErrorKind::Unreachable;
    return isServerFault(t.status) ? ErrorKind::ServerFault : ErrorKind::Failed;
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
        const CURLcode rc = curl_easy_perform(curl);
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
            const QString why =
                failureText(rc, t, curl, detail, proxyInUse(), stallTimeoutSeconds_);
            const ErrorKind kind = failureKind(rc, t, curl);
            outcome = Status::fail(
                kind == ErrorKind::MayHaveArrived ? mayHaveArrivedText(why) : why, kind);
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
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
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
    Frontend& frontend = ctx_.frontend;
    frontend.setCancellable(true);
    // Kept until this request has gone out: another program reads the time only then, and
    // so waits its 10 seconds from the moment this one was sent.
    slot_.take(ctx_.lastRequestFile, frontend);
    Status waited;
    if (frontend.cancelRequested()) {
        waited = Status::fail(cancelledText(), ErrorKind::Cancelled);
    } else {
        const QDateTime now = ctx_.clock.now();
        const QDateTime last = lastSpacedRequest(ctx_.lastRequestTime, ctx_.lastRequestFile, now);
        // This run's own request ahead of now: the clock went back since, maybe just after it.
        const bool setBack = ctx_.lastRequestTime.isValid() && ctx_.lastRequestTime > now;
        if (setBack || (last.isValid() && now < last.addMSecs(kRequestSpacingMs)))
            waited = ctx_.clock.sleep(kRequestSpacingMs, &frontend);
    }
    frontend.setCancellable(false);
    if (!waited) {
        slot_.release();
        return waited;
    }
    ctx_.lastRequestTime = ctx_.clock.now();
    writeLastRequestTime(ctx_.lastRequestFile, ctx_.lastRequestTime);
    return {};
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
