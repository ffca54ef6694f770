#include "gateway/tls_options.h"

#include "app/event_log.h"
#include "crypto/tls_trust.h"

#include <QFile>
#include <curl/curl.h>

namespace telva {

namespace {

CURLcode onSslContext(CURL*, void* sslContext, void* host) {
    crypto::prepareServerCheck(sslContext,
                               host ? *static_cast<const QByteArray*>(host) : QByteArray());
    return CURLE_OK;
}

} // namespace

void configureTls(void* handle, const QString& caFile, const QByteArray* host) {
    CURL* curl = static_cast<CURL*>(handle);
    crypto::prepareTls();
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_CIPHER_LIST, kTlsCipherList);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // The store "Root" is read for every connection, so a root just installed counts at once
    // and a removed one no longer does.
    curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, host);
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(caFile).constData());
}

bool isTlsFailure(int curlCode) {
    switch (CURLcode(curlCode)) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_INITFAILED:
        return true;
    default:
        return false;
    }
}

QString tlsFailureText(int curlCode, void* handle, const QString& host, const QString& detail) {
    long verifyResult = 0;
    curl_easy_getinfo(static_cast<CURL*>(handle), CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    QString why;
    switch (CURLcode(curlCode)) {
    case CURLE_PEER_FAILED_VERIFICATION:
        why = crypto::serverCertificateProblem(verifyResult);
        // The chain passed, so the name was what failed.
        if (why.isEmpty())
            why = QStringLiteral("сертификат сервера выдан на другое имя");
        break;
    case CURLE_SSL_CACERT_BADFILE:
        why = QStringLiteral("не удалось прочитать список доверенных центров сертификации");
        break;
    default:
        why = QStringLiteral("программа и сервер не согласовали защищенное соединение");
        break;
    }
    logEvent(QStringLiteral("TLS с %1: %2 (проверка сертификата: %3)")
                 .arg(host, detail, crypto::verifyResultDetail(verifyResult)));
    return QStringLiteral("Не удалось установить защищенное соединение с сервером %1: %2.")
        .arg(host, why);
}

} // namespace telva
