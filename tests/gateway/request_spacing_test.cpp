#include "app/context.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

struct RequestSpacingTest : ::testing::Test {
    test::FakeFrontend frontend;
    ManualClock clock;
    AppContext ctx{frontend, clock};
    HttpClient client{ctx};
};

TEST_F(RequestSpacingTest, ARequestSoonAfterStartUpWaitsTheFullTenSeconds) {
    const QDateTime start = clock.now();
    clock.advance(3000);
    ASSERT_TRUE(client.WaitRequestSpacing());
    EXPECT_EQ(clock.sleeps, QList<int>{10000});
    EXPECT_EQ(ctx.lastRequestTime, start.addMSecs(13000));
}

TEST_F(RequestSpacingTest, TwoRequestsThreeSecondsApartStartTenSecondsApart) {
    clock.advance(60000);
    ASSERT_TRUE(client.WaitRequestSpacing());
    EXPECT_TRUE(clock.sleeps.isEmpty());
    const QDateTime first = clock.now();
    clock.advance(3000);
    ASSERT_TRUE(client.WaitRequestSpacing());
    EXPECT_EQ(clock.sleeps, QList<int>{10000});
    EXPECT_EQ(clock.now(), first.addMSecs(13000));
    EXPECT_EQ(ctx.lastRequestTime, clock.now());
}

TEST_F(RequestSpacingTest, ExactlyTenSecondsLaterThereIsNoWait) {
    clock.advance(10000);
    ASSERT_TRUE(client.WaitRequestSpacing());
    EXPECT_TRUE(clock.sleeps.isEmpty());
    EXPECT_EQ(ctx.lastRequestTime, clock.now());
}

TEST_F(RequestSpacingTest, ACancelledWaitSendsNothingAndSaysSo) {
    const QDateTime start = clock.now();
    clock.advance(3000);
    frontend.cancel = true;
    const Status waited = client.WaitRequestSpacing();
    EXPECT_EQ(waited.kind(), ErrorKind::Cancelled);
    EXPECT_EQ(waited.text(), cancelledText());
    EXPECT_EQ(clock.slept, 0);
    EXPECT_EQ(ctx.lastRequestTime, start);
}

} // namespace
} // namespace telva
