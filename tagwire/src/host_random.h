#pragma once
// The host random of the mutual authentication: eight bytes from the tick count and the C
// library's pseudo-random generator, which the library never seeds.
#include <cstdint>

// How the host random waits a few milliseconds (the link layer's message-pumping delay).
using HostRandomPause = void (*)(std::uint32_t ms);

// t1 = tick; pause (r1 & 15) ms; t2 = tick; bytes 0..3 = t1 * t2 * 0x5D588B65 + 1;
// t3 = tick; bytes 4..7 = r2 * t3 * 0x5D588B65 + 1 (32-bit wrap, least significant byte first),
// r1, r2 the generator's next two values in 0..32767.
void MakeHostRandom(std::uint8_t out[8], HostRandomPause pause);
