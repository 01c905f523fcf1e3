#include "host_random.h"

#include <cstdlib>

#include "platform/clock.h"

namespace {

constexpr std::uint32_t kMultiplier = 0x5D588B65u;

// The generator's values in the classic 0..32767 range, whatever RAND_MAX is.
std::uint32_t NextRandom() { return static_cast<std::uint32_t>(std::rand()) & 0x7FFFu; }

void PutU32Le(std::uint32_t value, std::uint8_t* out) {
    for (int k = 0; k < 4; ++k) out[k] = static_cast<std::uint8_t>(value >> (8 * k));
}

}  // namespace

void MakeHostRandom(std::uint8_t out[8], HostRandomPause pause) {
    const std::uint32_t t1 = platform::TickCount();
    pause(NextRandom() & 15u);
    const std::uint32_t t2 = platform::TickCount();
    PutU32Le(t1 * t2 * kMultiplier + 1u, out);
    const std::uint32_t r = NextRandom();
    const std::uint32_t t3 = platform::TickCount();
    PutU32Le(r * t3 * kMultiplier + 1u, out + 4);
}
