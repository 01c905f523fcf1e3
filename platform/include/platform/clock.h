#pragma once
// Millisecond tick count with the 32-bit wrap of the classic system tick, and sleeping.
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping from 0xFFFFFFFF to 0.
std::uint32_t TickCount();

// Signed difference now - start, correct across the wrap of the tick count.
inline std::int32_t TickDiff(std::uint32_t now, std::uint32_t start) {
    return static_cast<std::int32_t>(now - start);
}

// Replaces the clock (tests); nullptr restores the monotonic system clock.
using TickSource = std::uint32_t (*)();
void SetTickSource(TickSource source);

void SleepMs(std::uint32_t ms);

}  // namespace platform
