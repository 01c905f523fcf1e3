#include "core/des_block.h"

#include <cstring>

#include "des/cf_encrypt.h"

namespace tapwedge {
namespace {

// FIPS 46 tables, 1-based bit numbers.
constexpr std::uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr std::uint8_t kPermutation[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                           26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                           3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kFinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31, 38, 6, 46, 14, 54, 22,
    62, 30, 37, 5, 45, 13, 53, 21, 61, 29, 36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11,
    51, 19, 59, 27, 34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

// f(R, K): expansion, subkey XOR, S-boxes, permutation P.
void RoundFunction(std::uint8_t out[32], const std::uint8_t right[32], const std::uint8_t subkey[48]) {
    std::uint8_t expanded[48];
    for (int i = 0; i < 48; ++i) expanded[i] = right[kExpansion[i] - 1] ^ subkey[i];
    std::uint8_t substituted[32];
    for (int box = 0; box < 8; ++box) {
        CFEncrypt::DesIntToBits(CFEncrypt::DesSBoxLookup(box, expanded + 6 * box),
                                substituted + 4 * box, 4);
    }
    for (int i = 0; i < 32; ++i) out[i] = substituted[kPermutation[i] - 1];
}

}  // namespace

void DesBlock(bool decrypt, std::uint8_t out[8], const std::uint8_t in[8], const std::uint8_t key[8]) {
    std::uint8_t keyBits[64];
    std::uint8_t inBits[64];
    for (int i = 0; i < 8; ++i) {
        CFEncrypt::DesByteToBits(key[i], keyBits + 8 * i);
        CFEncrypt::DesByteToBits(in[i], inBits + 8 * i);
    }
    std::uint8_t schedule[16][48];
    CFEncrypt::DesKeySchedule(schedule, keyBits);

    // Initial permutation: L = positions 0..31, R = 32..63.
    std::uint8_t left[32];
    std::uint8_t right[32];
    for (int i = 0; i < 64; ++i) {
        const int source = i < 32 ? 8 * (7 - i % 8) + 2 * (i / 8) + 1 : 8 * (7 - i % 8) + 2 * (i / 8) - 8;
        (i < 32 ? left[i] : right[i - 32]) = inBits[source];
    }
    std::uint8_t f[32];
    for (int round = 0; round < 16; ++round) {
        const std::uint8_t* subkey = schedule[decrypt ? 15 - round : round];
        RoundFunction(f, right, subkey);
        for (int i = 0; i < 32; ++i) left[i] ^= f[i];
        if (round < 15) {  // the last round keeps its halves
            std::uint8_t swap[32];
            std::memcpy(swap, left, 32);
            std::memcpy(left, right, 32);
            std::memcpy(right, swap, 32);
        }
    }
    std::uint8_t preOutput[64];
    std::memcpy(preOutput, left, 32);
    std::memcpy(preOutput + 32, right, 32);
    std::uint8_t outBits[64];
    for (int i = 0; i < 64; ++i) outBits[i] = preOutput[kFinalPermutation[i] - 1];
    for (int i = 0; i < 8; ++i) out[i] = CFEncrypt::DesBitsToByte(outBits + 8 * i, 8);
}

}  // namespace tapwedge
