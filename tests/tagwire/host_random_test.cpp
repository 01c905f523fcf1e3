// The host random from a scripted clock: its formula, its pause, and that the library draws from
// the C library's generator without ever seeding it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "host_random.h"
#include "platform/clock.h"

namespace {

// Every reading of the clock advances it by 7 ms; a pause advances it by its length.
std::atomic<std::uint32_t> gNow{0};
std::vector<std::uint32_t> gPauses;

std::uint32_t ScriptedTick() { return gNow.fetch_add(7); }

void RecordPause(std::uint32_t ms) {
    gPauses.push_back(ms);
    gNow += ms;
}

std::uint32_t U32Le(const std::uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

class HostRandom : public testing::Test {
protected:
    void SetUp() override { platform::SetTickSource(ScriptedTick); }
    void TearDown() override { platform::SetTickSource(nullptr); }
};

TEST_F(HostRandom, FollowsTheTickAndGeneratorFormula) {
    // Near the tick counter's wrap as well as at an ordinary start.
    for (std::uint32_t start : {1000u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(start);
        std::srand(77);
        const std::uint32_t r1 = static_cast<std::uint32_t>(std::rand()) & 0x7FFF;
        const std::uint32_t r2 = static_cast<std::uint32_t>(std::rand()) & 0x7FFF;
        const std::uint32_t r3 = static_cast<std::uint32_t>(std::rand());
        std::srand(77);
        gPauses.clear();
        gNow = start;

        std::uint8_t out[8];
        MakeHostRandom(out, RecordPause);

        const std::uint32_t t1 = start, t2 = start + 7 + (r1 & 15), t3 = t2 + 7;
        ASSERT_EQ(gPauses, std::vector<std::uint32_t>{r1 & 15});
        EXPECT_EQ(U32Le(out), t1 * t2 * 0x5D588B65u + 1u);
        EXPECT_EQ(U32Le(out + 4), r2 * t3 * 0x5D588B65u + 1u);
        // Exactly two values were drawn and the generator was not seeded again.
        EXPECT_EQ(static_cast<std::uint32_t>(std::rand()), r3);
    }
}

TEST_F(HostRandom, SuccessiveCallsDiffer) {
    gNow = 5000;
    std::uint8_t first[8], second[8];
    MakeHostRandom(first, RecordPause);
    MakeHostRandom(second, RecordPause);
    EXPECT_NE(std::vector<std::uint8_t>(first, first + 8),
              std::vector<std::uint8_t>(second, second + 8));
}

}  // namespace
