// A request the server holds, or whose connection is never taken, leaves the caller's events
// turning, and "Отмена" ends it.
#include "app/context.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "http_test_server.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telva {
namespace {

using test::FakeFrontend;
using test::HttpTestServer;
using test::RecordedRequest;
using test::ScriptedResponse;

// Far more turns of the event loop than a progress report once a second would give before the
// server runs out of patience.
constexpr int kTicks = 100;

// Answers "released" once told to, or "never released" when 30 s pass without it.
test::RequestHandler heldUntil(const std::atomic<bool>& released) {
    return [&released](const RecordedRequest&) {
        for (int i = 0; i < 6000 && !released; ++i)
            QThread::msleep(5);
        return ScriptedResponse::ok(released ? "released" : "never released");
    };
}

// A loopback port whose only backlog place is taken: the kernel drops further connection
// attempts, so a client's connect hangs until it gives up.
class FullListener {
public:
    FullListener() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 0) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        filler_ = socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(filler_, reinterpret_cast<sockaddr*>(&address), length) != 0)
            port_ = 0;
    }
    ~FullListener() {
        ::close(filler_);
        ::close(listener_);
    }
    quint16 port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
};

struct HeldRequestTest : ::testing::Test {
    std::atomic<bool> released{false};
    FakeFrontend frontend;
    AppContext ctx{frontend};
    HttpTestServer server;
    HttpClient client{ctx};
    int ticks = 0;
    QTimer timer;

    HeldRequestTest() {
        frontend.onProcessEvents = [] { QCoreApplication::processEvents(); };
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start(5);
        server.on("GET", "/held", heldUntil(released));
    }
    ~HeldRequestTest() override { released = true; }
    // Presses "Отмена" once the timer has fired a few times during the request.
    void cancelAfterTicks() {
        frontend.onProcessEvents = [this] {
            QCoreApplication::processEvents();
            frontend.cancel = frontend.cancel || ticks >= 5;
        };
    }
};

TEST_F(HeldRequestTest, EventsTurnWhileTheAnswerIsHeld) {
    // Only the event loop can release the answer: a queued call, then the timer's ticks.
    int posted = 0;
    QMetaObject::invokeMethod(
        &timer, [&posted] { ++posted; }, Qt::QueuedConnection);
    QObject::connect(&timer, &QTimer::timeout,
                     [this, &posted] { released = released || (posted == 1 && ticks >= kTicks); });
    EXPECT_EQ(test::bodyOf(client.HttpGetToString(server.url("/held"))), QByteArray("released"));
    EXPECT_EQ(posted, 1);
    EXPECT_GE(ticks, kTicks);
    EXPECT_FALSE(client.busy());
}

TEST_F(HeldRequestTest, CancelEndsAHeldAnswerAndAHeldConnect) {
    cancelAfterTicks();
    const Result<QByteArray> waited = client.HttpGetToString(server.url("/held"));
    EXPECT_EQ(waited.kind(), ErrorKind::Cancelled) << waited.text().toStdString();
    EXPECT_EQ(waited.text(), cancelledText());
    EXPECT_FALSE(released);

    FullListener full;
    ASSERT_NE(full.port(), 0);
    ticks = 0;
    frontend.cancel = false;
    const Result<QByteArray> connecting =
        client.HttpGetToString(QStringLiteral("http://127.0.0.1:%1/").arg(full.port()));
    EXPECT_EQ(connecting.kind(), ErrorKind::Cancelled) << connecting.text().toStdString();
    EXPECT_GE(ticks, 5);
}

} // namespace
} // namespace telva
