#pragma once
// Single-DES block operation of the card-parameter file cipher, built on the shared bit-array
// helpers of the DES component (one bit per byte, most significant first).
#include <cstdint>

namespace tapwedge {

// out = E(key, in) when decrypt is false, D(key, in) otherwise; out may be in. The key schedule
// is built anew at every call; the key's parity bits are ignored.
void DesBlock(bool decrypt, std::uint8_t out[8], const std::uint8_t in[8], const std::uint8_t key[8]);

}  // namespace tapwedge
