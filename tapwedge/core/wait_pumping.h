#pragma once
// The wait between two steps of the user-interface thread that keeps the program responsive.
#include <cstdint>

namespace tapwedge {

// Waits until `ms` milliseconds of the platform tick count have passed, processing the
// program's pending messages meanwhile; returns the ticks that passed. ms <= 0 returns 0 at once.
std::int32_t WaitPumping(std::int32_t ms);

}  // namespace tapwedge
