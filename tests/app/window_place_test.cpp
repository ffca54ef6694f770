#include "app/window_place.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

TEST(WindowPlace, TheWindowEndsWholeOnAScreen) {
    const QRect small(0, 0, 1024, 600);
    // A panel along the top: the available area starts below it.
    const QRect belowPanel(0, 24, 1024, 576);
    const QRect right(1024, 0, 1920, 1080);
    const struct {
        const char* what;
        QRect frame;
        QList<QRect> screens;
        bool centred;
        QRect expected;
    } cases[] = {
        {"fits already", {100, 50, 783, 372}, {small}, false, {100, 50, 783, 372}},
        {"larger than the screen", {0, 0, 1608, 1032}, {small}, false, {0, 0, 1024, 600}},
        {"saved on a larger screen", {956, 214, 783, 372}, {small}, false, {241, 214, 783, 372}},
        {"off the screen", {3000, 2000, 783, 372}, {small}, false, {241, 228, 783, 372}},
        {"negative position", {-500, -300, 783, 372}, {small}, false, {0, 0, 783, 372}},
        {"title bar under a panel", {10, 0, 783, 372}, {belowPanel}, false, {10, 24, 783, 372}},
        {"first start centred", {956, 214, 783, 372}, {small}, true, {120, 114, 783, 372}},
        {"centred and shrunk", {0, 0, 1300, 700}, {belowPanel}, true, {0, 24, 1024, 576}},
        {"kept on the second screen",
         {1500, 100, 783, 372},
         {small, right},
         false,
         {1500, 100, 783, 372}},
        {"mostly on the second screen",
         {900, -50, 783, 372},
         {small, right},
         false,
         {1024, 0, 783, 372}},
        {"centred on the primary one",
         {1500, 100, 783, 372},
         {small, right},
         true,
         {120, 114, 783, 372}},
        {"no screen known", {-5, -5, 10, 10}, {}, false, {-5, -5, 10, 10}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitWindowFrame(c.frame, c.screens, c.centred), c.expected) << c.what;
}

} // namespace
} // namespace telva
