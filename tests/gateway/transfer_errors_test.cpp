#include "app/context.h"
#include "app/event_log.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "gateway/transfer_errors.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

// libcurl's codes, as its headers number them.
constexpr int kTimedOut = 28, kReceiveError = 56, kGotNothing = 52, kWeirdPasvReply = 13;

// Real failures: the person reads Russian only, the journal keeps libcurl's own words.
TEST(TransferErrors, NetworkFailuresReadInRussianAndTheJournalKeepsLibcurlsText) {
    const QString port = QString::number(test::freeLoopbackPort());
    const struct {
        QString url;
        QString proxyHost;
        int proxyPort;
        QString shown;
        QString logged;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:%1/").arg(port),
         {},
         0,
         QStringLiteral("Не удается подключиться к серверу 127.0.0.1: сервер недоступен или "
                        "отказал в соединении."),
         QStringLiteral("Failed to connect to 127.0.0.1 port %1").arg(port)},
        {QStringLiteral("http://nohost.invalid/"),
         {},
         0,
         QStringLiteral("Не удается найти сервер nohost.invalid."),
         QStringLiteral("Could not resolve host: nohost.invalid")},
        {QStringLiteral("http://kvb.example/"), QStringLiteral("127.0.0.1"), port.toInt(),
         QStringLiteral("Не удается подключиться к серверу kvb.example через прокси-сервер "
                        "127.0.0.1:%1: сервер недоступен или отказал в соединении.")
             .arg(port),
         QStringLiteral("Failed to connect to 127.0.0.1 port %1").arg(port)},
        {QStringLiteral("http://kvb.example/"), QStringLiteral("noproxy.invalid"), 3128,
         QStringLiteral("Не удается найти прокси-сервер noproxy.invalid."),
         QStringLiteral("Could not resolve proxy: noproxy.invalid")},
    };
    for (const auto& c : cases) {
        test::TempProfile profile;
        test::FakeFrontend frontend;
        AppContext ctx{frontend};
        ctx.settings.proxy.host = c.proxyHost;
        ctx.settings.proxy.port = c.proxyPort;
        HttpClient client{ctx};
        const Result<QByteArray> got = client.HttpGetToString(c.url);
        EXPECT_EQ(got.text(), c.shown);
        EXPECT_EQ(got.kind(), ErrorKind::Unreachable) << c.url.toStdString();
        const QString journal = QString::fromUtf8(test::readFileBytes(logFilePath()));
        EXPECT_TRUE(journal.contains(c.logged)) << journal.toStdString();
    }
}

// Failures that cannot be provoked on demand keep to Russian as well; the code number is the
// only trace of libcurl's words.
TEST(TransferErrors, EveryCodeGivesARussianText) {
    const struct {
        int code;
        bool connected;
        QString shown;
        bool unreachable;
    } cases[] = {
        {kTimedOut, false,
         QStringLiteral("Не удается подключиться к серверу kvb.example: время ожидания "
                        "подключения (30 с) истекло."),
         true},
        {kTimedOut, true, QStringLiteral("Сервер kvb.example не ответил вовремя."), false},
        {kReceiveError, true, QStringLiteral("Соединение с сервером kvb.example прервано."), false},
        {kGotNothing, true,
         QStringLiteral("Сервер kvb.example закрыл соединение, ничего не ответив."), false},
        {kWeirdPasvReply, true,
         QStringLiteral("Ошибка сети при обмене с сервером kvb.example (код 13; подробности в "
                        "журнале)."),
         false},
    };
    for (const auto& c : cases) {
        TransferFailure f;
        f.curlCode = c.code;
        f.url = QStringLiteral("http://kvb.example/uploadfile");
        f.connected = c.connected;
        f.connectSeconds = 30;
        EXPECT_EQ(transferFailureText(f), c.shown);
        EXPECT_EQ(isUnreachable(c.code, c.connected), c.unreachable) << c.code;
    }
}

} // namespace
} // namespace telva
