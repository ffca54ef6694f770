#include "gateway/http_transfer.h"

#include "app/context.h"
#include "app/frontend.h"
#include "gateway/tls_options.h"
#include "gateway/transfer_errors.h"

#include <QUrl>

#include <algorithm>

namespace telva {

namespace {

// The longest the window waits for its events while a request runs.
constexpr qint64 kTurnMs = 30;

QString kilobytes(curl_off_t bytes) {
    return QString::number((bytes + 1023) / 1024);
}

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

// What moved so far, as libcurl counts it.
struct Moved {
    curl_off_t down = 0;
    curl_off_t up = 0;
    curl_off_t upTotal = -1; // the upload's length; -1 when nothing is uploaded
};

Moved movedSoFar(CURL* curl) {
    Moved m;
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &m.down);
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &m.up);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_UPLOAD_T, &m.upTotal);
    return m;
}

// Notes the bytes moved and the wait for an upload's answer; false for a transfer that stalls,
// takes too long in all or is cancelled, with the reason set.
bool keepsPace(HttpClient::Transfer& t, const Moved& m) {
    AppContext& ctx = t.client->context();
    const qint64 now = ctx.clock.ticks();
    if (ctx.frontend.cancelRequested()) {
        t.cancelled = true;
        return false;
    }
    if (t.posting && !t.bodySent && m.upTotal > 0 && m.up >= m.upTotal) {
        t.bodySent = true;
        t.bodyDelivered = true;
        t.bodySentAt = now;
    }
    const curl_off_t moved = m.down + m.up;
    if (moved > 0 && t.slot)
        t.slot->giveBack(ctx.clock.now());
    if (moved != t.lastMoved) {
        t.lastMoved = moved;
        t.lastMoveAt = now;
    } else if (!t.bodySent && now - t.lastMoveAt >= qint64(t.client->stallTimeoutMs())) {
        t.stalled = true;
        return false;
    }
    const qint64 earned =
        t.options.minBytesPerSecond > 0 ? qint64(m.down) * 1000 / t.options.minBytesPerSecond : 0;
    if (t.options.totalTimeoutSeconds > 0 &&
        now - t.startedAt >= qint64(t.options.totalTimeoutSeconds) * 1000 + earned) {
        t.overTime = true;
        return false;
    }
    if (t.bodySent && t.status == 0) {
        const qint64 waited = (now - t.bodySentAt) / 1000;
        if (waited > t.waitShown) {
            t.waitShown = waited;
            ctx.frontend.showProgress(awaitingAnswerText(waited));
        }
    }
    return true;
}

// Shows the bytes moved and lets the window paint and take its events.
void paint(HttpClient::Transfer& t, const Moved& m) {
    Frontend& frontend = t.client->context().frontend;
    const curl_off_t moved = m.down + m.up;
    // Progress only for a request that takes a while, so quick ones do not flicker.
    if (t.sinceStart.elapsed() >= 500 && moved / 1024 != t.lastShown && !t.bodySent) {
        t.lastShown = moved / 1024;
        if (m.upTotal > 0 && m.up < m.upTotal)
            frontend.showProgress(QStringLiteral("Отправлено %1 из %2 КБ")
                                      .arg(kilobytes(m.up), kilobytes(m.upTotal)));
        else
            frontend.showProgress(QStringLiteral("Получено %1 КБ").arg(kilobytes(m.down)));
    }
    frontend.processEvents();
}

// The outcome of the transfer once libcurl has finished it.
bool finished(CURLM* multi, CURL* curl, CURLcode& rc) {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl) {
            rc = msg->data.result;
            return true;
        }
    }
    return false;
}

QString failureText(CURLcode rc, const HttpClient::Transfer& t, CURL* curl, const QString& detail,
                    const QString& proxy, int stallSeconds) {
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

// What a failed attempt was, for the callers that act on more than its text.
ErrorKind failureKind(CURLcode rc, const HttpClient::Transfer& t, CURL* curl) {
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

} // namespace

void setTransferCallbacks(CURL* curl, HttpClient::Transfer& t, bool post) {
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    if (post) {
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, &t);
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, onSeek);
        curl_easy_setopt(curl, CURLOPT_SEEKDATA, &t);
    }
}

CURLcode performTransfer(CURLM* multi, CURL* curl, HttpClient::Transfer& t) {
    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    for (;;) {
        int running = 0;
        if (const CURLMcode mc = curl_multi_perform(multi, &running); mc != CURLM_OK) {
            qstrncpy(t.errorBuffer, curl_multi_strerror(mc), sizeof t.errorBuffer);
            rc = CURLE_FAILED_INIT;
            break;
        }
        if (finished(multi, curl, rc))
            break;
        const Moved moved = movedSoFar(curl);
        if (!keepsPace(t, moved)) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (t.sincePaint.elapsed() >= kTurnMs) {
            t.sincePaint.restart();
            paint(t, moved);
        }
        // Waits for the sockets, the resolver or libcurl's own timers, but never past the
        // next turn of the window's events.
        const qint64 wait = std::clamp<qint64>(kTurnMs - t.sincePaint.elapsed(), 1, kTurnMs);
        curl_multi_poll(multi, nullptr, 0, int(wait), nullptr);
    }
    // Taken out before its end, the transfer is abandoned and its connection closed.
    curl_multi_remove_handle(multi, curl);
    return rc;
}

Error transferError(CURLcode rc, const HttpClient::Transfer& t, CURL* curl, const QString& detail,
                    const QString& proxy, int stallSeconds) {
    const QString why = failureText(rc, t, curl, detail, proxy, stallSeconds);
    const ErrorKind what = failureKind(rc, t, curl);
    return Error(what == ErrorKind::MayHaveArrived ? mayHaveArrivedText(why) : why, 0, what);
}

} // namespace telva
