#include "gateway/http_client.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/program.h"
#include "app/secrets.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <curl/curl.h>

#include <functional>

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

// The multipart body, produced piece by piece; the file parts are read from disk.
class BodyReader {
public:
    explicit BodyReader(const MultipartForm& form) {
        for (qsizetype i = 0; i < form.parts().size(); ++i) {
            const MultipartForm::Part& part = form.parts().at(i);
            segments_.append({form.partHead(i), {}});
            if (part.isFile())
                segments_.append({{}, part.filePath});
            else
                segments_.append({part.value, {}});
            segments_.append({QByteArrayLiteral("\r\n"), {}});
        }
        segments_.append({form.closing(), {}});
    }

    void rewind() {
        index_ = 0;
        offset_ = 0;
        file_.close();
    }

    // Fills up to size bytes; 0 at the end; -1 when a file cannot be read.
    qint64 read(char* out, qint64 size) {
        qint64 filled = 0;
        while (filled < size && index_ < segments_.size()) {
            const Segment& segment = segments_.at(index_);
            if (segment.file.isEmpty()) {
                const qint64 n = std::min<qint64>(size - filled, segment.bytes.size() - offset_);
                memcpy(out + filled, segment.bytes.constData() + offset_, size_t(n));
                filled += n;
                offset_ += n;
                if (offset_ >= segment.bytes.size())
                    next();
                continue;
            }
            if (!file_.isOpen()) {
                file_.setFileName(segment.file);
                if (!file_.open(QIODevice::ReadOnly))
                    return fail(segment.file);
            }
            const qint64 n = file_.read(out + filled, size - filled);
            if (n < 0)
                return fail(segment.file);
            if (n == 0) {
                file_.close();
                next();
                continue;
            }
            filled += n;
        }
        return filled;
    }

    QString failedFile() const { return failedFile_; }

private:
    struct Segment {
        QByteArray bytes;
        QString file;
    };
    void next() {
        ++index_;
        offset_ = 0;
    }
    qint64 fail(const QString& file) {
        failedFile_ = file;
        return -1;
    }

    QList<Segment> segments_;
    qsizetype index_ = 0;
    qint64 offset_ = 0;
    QFile file_;
    QString failedFile_;
};

} // namespace

// Where the body of a 2xx answer goes; false from write() aborts the transfer.
struct HttpClient::Sink {
    std::function<bool(const char*, qint64)> write;
};

struct HttpClient::Transfer {
    HttpClient* client = nullptr;
    Sink* sink = nullptr;
    const MultipartForm* form = nullptr;
    std::unique_ptr<BodyReader> reader;
    qint64 bodyLength = 0;
    RequestOptions options;
    QString url;

    // Per attempt.
    int status = 0;
    QByteArray statusLine;
    bool sinkFailed = false;
    bool stalled = false;
    curl_off_t lastMoved = -1;
    QElapsedTimer sinceMove;
    QElapsedTimer sinceStart;
    QElapsedTimer sincePaint;
    qint64 lastShown = -1;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void startAttempt() {
        status = 0;
        statusLine.clear();
        stalled = false;
        lastMoved = -1;
        sinceMove.start();
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

// Keeps the window painting, shows the bytes moved and gives up on a transfer that stalls.
static int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t ultotal,
                      curl_off_t ulnow) {
    auto* t = static_cast<HttpClient::Transfer*>(user);
    Frontend& frontend = t->client->context().frontend;
    const curl_off_t moved = dlnow + ulnow;
    if (moved != t->lastMoved) {
        t->lastMoved = moved;
        t->sinceMove.restart();
    } else if (t->sinceMove.elapsed() >= qint64(t->client->stallTimeoutMs())) {
        t->stalled = true;
        return 1;
    }
    if (t->sincePaint.elapsed() >= 30) {
        t->sincePaint.restart();
        // Progress only for a request that takes a while, so quick ones do not flicker.
        if (t->sinceStart.elapsed() >= 500 && moved / 1024 != t->lastShown) {
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
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile_.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(caFile_).constData());

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

static QString failureText(CURLcode rc, const HttpClient::Transfer& t, CURL* curl, int stallSeconds,
                           int connectSeconds) {
    const QString host = QUrl(t.url).host();
    const QString detail =
        QString::fromUtf8(t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(rc));
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Не удается найти сервер %1.").arg(host);
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("Не удается найти прокси-сервер (%1).").arg(detail);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("Не удается подключиться к серверу (%1).").arg(detail);
    case CURLE_OPERATION_TIMEDOUT: {
        double connectTime = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME, &connectTime);
        if (connectTime <= 0)
            return QStringLiteral("Время ожидания подключения (%1 с) истекло.").arg(connectSeconds);
        return QStringLiteral("Время ожидания ответа истекло (%1).").arg(detail);
    }
    case CURLE_ABORTED_BY_CALLBACK:
        if (t.stalled)
            return QStringLiteral("Сервер не отвечает: за %1 с не передано ни одного байта.")
                .arg(stallSeconds);
        return QStringLiteral("Передача прервана.");
    case CURLE_READ_ERROR:
        return QStringLiteral("Не удалось прочитать файл \"%1\".")
            .arg(t.reader ? t.reader->failedFile() : QString());
    case CURLE_WRITE_ERROR:
        return QStringLiteral("Не удалось записать полученные данные.");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("Неверный адрес \"%1\".").arg(t.url);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("Не удалось установить защищенное соединение (%1).").arg(detail);
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return QStringLiteral("Соединение с сервером прервано (%1).").arg(detail);
    default:
        return QStringLiteral("Ошибка сети (%1).").arg(detail);
    }
}

bool HttpClient::run(Transfer& t) {
    CURL* curl = handle(curl_);
    lastStatusLine_.clear();
    if (busy_) {
        lastError_ = QStringLiteral("Выполняется другой запрос.");
        return false;
    }
    lastError_.clear();
    busy_ = true;
    bool post = t.form != nullptr;
    curl_slist* postHeaders = nullptr;
    if (post) {
        postHeaders = curl_slist_append(postHeaders, "Accept: text/html, */*");
        postHeaders =
            curl_slist_append(postHeaders, ("Content-Type: " + t.form->contentType()).constData());
        postHeaders = curl_slist_append(postHeaders, "Expect:");
    }
    QByteArray url = QUrl(t.url).toEncoded();
    bool ok = false;
    for (int redirects = 0;; ++redirects) {
        t.startAttempt();
        configure(t, url, post);
        if (post)
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, postHeaders);
        const CURLcode rc = curl_easy_perform(curl);
        lastStatusLine_ = t.statusLine;
        if (rc != CURLE_OK) {
            lastError_ =
                failureText(rc, t, curl, stallTimeoutSeconds_, t.options.connectTimeoutSeconds);
            break;
        }
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200 && code <= 299) {
            ok = true;
            break;
        }
        const QByteArray shownLine =
            t.statusLine.isEmpty() ? "HTTP " + QByteArray::number(code) : t.statusLine;
        char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        const bool redirect = code >= 300 && code <= 399 && code != 304 && location;
        if (!redirect || !followRedirects_) {
            lastError_ = QString::fromLatin1(shownLine);
            break;
        }
        if (redirects >= kMaxRedirects) {
            lastError_ = QStringLiteral("Слишком много перенаправлений (больше %1): %2")
                             .arg(kMaxRedirects)
                             .arg(QString::fromLatin1(shownLine));
            break;
        }
        const QByteArray next(location);
        if (!next.startsWith("http://") && !next.startsWith("https://")) {
            lastError_ = QStringLiteral("Неверный адрес перенаправления \"%1\".")
                             .arg(QString::fromLatin1(next));
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
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, nullptr);
    curl_slist_free_all(postHeaders);
    busy_ = false;
    return ok;
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

bool HttpClient::get(const QString& url, Sink& sink, const RequestOptions& options) {
    AskProxyCredentials();
    Transfer t;
    t.client = this;
    t.sink = &sink;
    t.options = options;
    t.url = url;
    return run(t);
}

QByteArray HttpClient::HttpGetToString(const QString& url, const RequestOptions& options) {
    QByteArray body;
    if (!HttpGetToStream(url, body, options))
        return {};
    return body;
}

bool HttpClient::HttpGetToStream(const QString& url, QByteArray& bytes,
                                 const RequestOptions& options) {
    Sink sink{[&bytes](const char* data, qint64 n) {
        bytes.append(data, qsizetype(n));
        return true;
    }};
    return get(url, sink, options);
}

bool HttpClient::HttpGetToStream(const QString& url, QIODevice& stream,
                                 const RequestOptions& options) {
    Sink sink{[&stream](const char* data, qint64 n) { return stream.write(data, n) == n; }};
    return get(url, sink, options);
}

Result<QByteArray> HttpClient::HttpPostMultipart(const QString& url, const MultipartForm& form) {
    const Result<qint64> length = form.contentLength();
    if (!length) {
        lastError_ = length.text();
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
    t.reader = std::make_unique<BodyReader>(form);
    t.bodyLength = *length;
    t.url = url;
    if (!run(t))
        return Result<QByteArray>::fail(lastError_);
    return body;
}

qint64 HttpClient::DownloadToBuffer(const QString& url) {
    ctx_.downloadBuffer.clear();
    ctx_.showProgress(QString::fromUtf8(kDownloadingText));
    if (!HttpGetToStream(url, ctx_.downloadBuffer))
        ctx_.showStatus(QString::fromUtf8(kDownloadFailedText));
    return ctx_.downloadBuffer.size();
}

void HttpClient::WaitRequestSpacing() {
    if (ctx_.clock.now() < ctx_.lastRequestTime.addMSecs(kRequestSpacingMs))
        ctx_.clock.sleep(kRequestSpacingMs, &ctx_.frontend);
    ctx_.lastRequestTime = ctx_.clock.now();
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
