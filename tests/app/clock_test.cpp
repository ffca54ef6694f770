#include "app/clock.h"
#include "app/texts.h"
#include "fake_frontend.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

// The real clock's wait, cut short by the person's cancel after its first paint.
TEST(ClockSleep, EndsWhenThePersonCancels) {
    test::FakeFrontend frontend;
    frontend.onProcessEvents = [&frontend] { frontend.cancel = true; };
    Clock clock;
    const Status slept = clock.sleep(600000, &frontend);
    EXPECT_EQ(slept.kind(), ErrorKind::Cancelled);
    EXPECT_EQ(slept.text(), cancelledText());
    EXPECT_EQ(frontend.processed, 1);
    frontend.cancel = false;
    frontend.onProcessEvents = nullptr;
    EXPECT_TRUE(clock.sleep(1, &frontend));
}

} // namespace
} // namespace telva
