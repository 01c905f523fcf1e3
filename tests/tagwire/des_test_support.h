#pragma once
// Helpers of the DES tests: hex blocks and single DES through the bit-array routines.
#include <array>
#include <cstdint>
#include <string_view>

#include "des/cf_encrypt.h"

namespace des_test {

using Block = std::array<std::uint8_t, 8>;

// 16 hex digits to a block.
inline Block FromHex(std::string_view hex) {
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
        return static_cast<std::uint8_t>(c - 'A' + 10);
    };
    Block b{};
    for (std::size_t k = 0; k < 8; ++k)
        b[k] = static_cast<std::uint8_t>(nibble(hex[2 * k]) << 4 | nibble(hex[2 * k + 1]));
    return b;
}

inline void ToBits(std::uint8_t bits[64], const Block& bytes) {
    for (int k = 0; k < 8; ++k) CFEncrypt::DesByteToBits(bytes[k], bits + 8 * k);
}

inline Block FromBits(const std::uint8_t bits[64]) {
    Block b{};
    for (int k = 0; k < 8; ++k) b[k] = CFEncrypt::DesBitsToByte(bits + 8 * k, 8);
    return b;
}

// Single DES of one block: direction 0 encrypts, 1 decrypts.
inline Block SingleDes(int direction, const Block& key, const Block& in) {
    std::uint8_t keyBits[64];
    std::uint8_t schedule[16][48];
    std::uint8_t bits[64];
    ToBits(keyBits, key);
    CFEncrypt::DesKeySchedule(schedule, keyBits);
    ToBits(bits, in);
    CFEncrypt::DesCrypt(direction, bits, bits, schedule);
    return FromBits(bits);
}

}  // namespace des_test
