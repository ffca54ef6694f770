#pragma once

// One request in flight and libcurl's callbacks for it; used inside the transport only, as it
// names libcurl's types.

#include "gateway/form_body_reader.h"
#include "gateway/http_client.h"

#include <QElapsedTimer>
#include <curl/curl.h>

#include <functional>
#include <memory>

namespace telva {

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

// Hands libcurl the transfer's callbacks: the status line, the body and the upload's body (for
// a POST).
void setTransferCallbacks(CURL* curl, HttpClient::Transfer& transfer, bool post);

// Runs one attempt on the client's multi handle until libcurl ends it or it is stopped (stalled,
// overlong, cancelled: CURLE_ABORTED_BY_CALLBACK). Meanwhile it shows the progress and turns the
// caller's events every 30 ms or sooner, while a name is looked up and a connection made as
// well; between turns it sleeps in libcurl's poll.
CURLcode performTransfer(CURLM* multi, CURL* curl, HttpClient::Transfer& transfer);

// The failure of an attempt that libcurl ended with rc, as the person reads it, with its kind.
// detail: libcurl's own words; proxy: "host:port" in use, empty for a direct connection.
Error transferError(CURLcode rc, const HttpClient::Transfer& transfer, CURL* curl,
                    const QString& detail, const QString& proxy, int stallSeconds);

} // namespace telva
