#include "gateway/transfer_errors.h"

#include "gateway/http_client.h"

#include <QUrl>
#include <curl/curl.h>

namespace telva {

namespace {

QString kilobytes(qint64 bytes) {
    return QString::number((bytes + 1023) / 1024);
}

QString proxyHost(const QString& proxy) {
    const qsizetype colon = proxy.lastIndexOf(QLatin1Char(':'));
    return colon > 0 ? proxy.left(colon) : proxy;
}

QString interruptedText(const TransferFailure& f) {
    if (f.cancelled)
        return cancelledText();
    if (f.stalled)
        return QStringLiteral("Сервер не отвечает: за %1 с не передано ни одного байта.")
            .arg(f.stallSeconds);
    if (f.overTime && f.minBytesPerSecond > 0)
        return QStringLiteral("Загрузка идет слишком медленно (меньше %1 КБ/с после первых "
                              "%2 с) и прервана.")
            .arg(kilobytes(f.minBytesPerSecond))
            .arg(f.totalSeconds);
    if (f.overTime)
        return QStringLiteral("Загрузка не завершилась за %1 с и прервана.").arg(f.totalSeconds);
    return QStringLiteral("Передача прервана.");
}

} // namespace

QString transferFailureText(const TransferFailure& f) {
    const QString host = QUrl(f.url).host();
    const QString via =
        f.proxy.isEmpty() ? QString() : QStringLiteral(" через прокси-сервер %1").arg(f.proxy);
    switch (CURLcode(f.curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Не удается найти сервер %1.").arg(host);
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("Не удается найти прокси-сервер %1.").arg(proxyHost(f.proxy));
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("Не удается подключиться к серверу %1%2: сервер недоступен или "
                              "отказал в соединении.")
            .arg(host, via);
    case CURLE_OPERATION_TIMEDOUT:
        if (!f.connected)
            return QStringLiteral("Не удается подключиться к серверу %1%2: время ожидания "
                                  "подключения (%3 с) истекло.")
                .arg(host, via)
                .arg(f.connectSeconds);
        return QStringLiteral("Сервер %1 не ответил вовремя.").arg(host);
    case CURLE_PROXY:
        return QStringLiteral("Прокси-сервер %1 не пропустил соединение с сервером %2.")
            .arg(f.proxy, host);
    case CURLE_ABORTED_BY_CALLBACK:
        return interruptedText(f);
    case CURLE_READ_ERROR:
        return QStringLiteral("Не удалось прочитать файл \"%1\".").arg(f.unreadableFile);
    case CURLE_WRITE_ERROR:
        if (f.tooLarge)
            return QStringLiteral("Ответ сервера больше %1 МБ; прием прекращен.")
                .arg(f.maxBytes >> 20);
        return QStringLiteral("Не удалось записать полученные данные.");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("Неверный адрес \"%1\".").arg(f.url);
    case CURLE_GOT_NOTHING:
        return QStringLiteral("Сервер %1 закрыл соединение, ничего не ответив.").arg(host);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return QStringLiteral("Соединение с сервером %1 прервано.").arg(host);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return QStringLiteral("Сервер %1 прислал непонятный ответ.").arg(host);
    case CURLE_OUT_OF_MEMORY:
        return QStringLiteral("Не хватает памяти для обмена с сервером.");
    default:
        return QStringLiteral("Ошибка сети при обмене с сервером %1 (код %2; подробности в "
                              "журнале).")
            .arg(host)
            .arg(f.curlCode);
    }
}

bool isUnreachable(int curlCode, bool connected) {
    switch (CURLcode(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return true;
    case CURLE_OPERATION_TIMEDOUT:
        return !connected;
    default:
        return false;
    }
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

} // namespace telva
