#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"

namespace {

std::atomic<std::uint32_t> g_fakeNow{0};
std::uint32_t FakeNow() { return g_fakeNow.load(); }

struct ClockTest : ::testing::Test {
    void TearDown() override { platform::SetTickSource(nullptr); }
};

TEST_F(ClockTest, TickDiffIsSignedAcrossTheWrap) {
    struct Case { std::uint32_t now, start; std::int32_t diff; };
    const Case cases[] = {
        {100, 40, 60},
        {5, 0xFFFFFFF0u, 21},        // the counter wrapped between start and now
        {0xFFFFFFF0u, 5, -21},       // now before start, across the wrap
        {0x80000000u, 0, INT32_MIN}, // the far edge of the signed range
    };
    for (const Case& c : cases) EXPECT_EQ(platform::TickDiff(c.now, c.start), c.diff);
}

TEST_F(ClockTest, InjectedSourceReplacesTheSystemClockUntilReset) {
    g_fakeNow = 0xFFFFFFFEu;
    platform::SetTickSource(&FakeNow);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFFEu);
    g_fakeNow += 3;
    EXPECT_EQ(platform::TickCount(), 1u);

    platform::SetTickSource(nullptr);
    const std::uint32_t a = platform::TickCount();
    platform::SleepMs(20);
    const std::int32_t elapsed = platform::TickDiff(platform::TickCount(), a);
    EXPECT_GE(elapsed, 20);
    EXPECT_LT(elapsed, 2000);
}

}  // namespace
