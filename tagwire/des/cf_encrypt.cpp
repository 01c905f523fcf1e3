#include "des/cf_encrypt.h"

// Tables of FIPS 46, numbered as the standard numbers its bits (1-based).
namespace {

constexpr std::uint8_t kFinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25,
};

constexpr std::uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1,
};

constexpr std::uint8_t kPermutation[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};

// PC-1: the first 28 entries load C, the last 28 load D.
constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

// PC-2 over C||D (C is 1..28, D is 29..56).
constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

constexpr std::uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Each box as 64 entries, row by row.
constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// Working storage of the block operation, shared by every CFEncrypt in the process: one DES
// operation at a time (all of them run on the thread that issues reader commands).
std::uint8_t gLeftRight[64];  // L = 0..31, R = 32..63
std::uint8_t gRoundOut[32];   // f(R, K)
std::uint8_t gExpanded[48];   // E(R) xor K
std::uint8_t gSBoxOut[32];    // S-box outputs before P
std::uint8_t gRegisterC[30];  // key register C, two spare bit-bytes for the rotation
std::uint8_t gRegisterD[30];  // key register D, likewise

// Rotates the 28 bit-bytes of a key register left by `count` (1 or 2) through its spare bytes.
void RotateRegister(std::uint8_t reg[30], int count) {
    for (int k = 0; k < count; ++k) reg[28 + k] = reg[k];
    for (int k = 0; k < 28; ++k) reg[k] = reg[k + count];
}

void UnpackBlock(std::uint8_t bits[64], const std::uint8_t bytes[8]) {
    for (int k = 0; k < 8; ++k) CFEncrypt::DesByteToBits(bytes[k], bits + 8 * k);
}

void PackBlock(std::uint8_t bytes[8], const std::uint8_t bits[64]) {
    for (int k = 0; k < 8; ++k) bytes[k] = CFEncrypt::DesBitsToByte(bits + 8 * k, 8);
}

}  // namespace

int CFEncrypt::TripleDesEncryptBlock(std::uint8_t out[8], const std::uint8_t in[8],
                                     const std::uint8_t key1[8], const std::uint8_t key2[8]) {
    UnpackBlock(BlockBits, in);
    UnpackBlock(Key1Bits, key1);
    UnpackBlock(Key2Bits, key2);
    DesKeySchedule(Schedule1, Key1Bits);
    DesKeySchedule(Schedule2, Key2Bits);
    DesCrypt(0, BlockBits, BlockBits, Schedule1);
    DesCrypt(1, BlockBits, BlockBits, Schedule2);
    DesCrypt(0, BlockBits, BlockBits, Schedule1);
    PackBlock(out, BlockBits);
    return 0;
}

int CFEncrypt::TripleDesDecryptBlock(std::uint8_t out[8], const std::uint8_t in[8],
                                     const std::uint8_t key1[8], const std::uint8_t key2[8]) {
    UnpackBlock(BlockBits, in);
    UnpackBlock(Key1Bits, key1);
    UnpackBlock(Key2Bits, key2);
    DesKeySchedule(Schedule1, Key1Bits);
    DesKeySchedule(Schedule2, Key2Bits);
    DesCrypt(1, BlockBits, BlockBits, Schedule1);
    DesCrypt(0, BlockBits, BlockBits, Schedule2);
    DesCrypt(1, BlockBits, BlockBits, Schedule1);
    PackBlock(out, BlockBits);
    return 0;
}

void CFEncrypt::DesCrypt(int direction, std::uint8_t out[64], const std::uint8_t in[64],
                         const std::uint8_t schedule[16][48]) {
    // Initial permutation IP, computed instead of looked up.
    for (int i = 0; i < 64; ++i) {
        const int source = i < 32 ? 8 * (7 - i % 8) + 2 * (i / 8) + 1
                                  : 8 * (7 - i % 8) + 2 * (i / 8) - 8;
        gLeftRight[i] = in[source];
    }
    std::uint8_t* const left = gLeftRight;
    std::uint8_t* const right = gLeftRight + 32;
    const bool decrypt = direction != 0;

    for (int round = 0; round < 15; ++round) {
        DesRoundFunction(gRoundOut, right, schedule[decrypt ? 15 - round : round]);
        for (int k = 0; k < 32; ++k) {
            const std::uint8_t oldRight = right[k];
            right[k] = left[k] ^ gRoundOut[k];
            left[k] = oldRight;
        }
    }
    // The last round leaves the halves in place: L||R is the pre-output block.
    DesRoundFunction(gRoundOut, right, schedule[decrypt ? 0 : 15]);
    for (int k = 0; k < 32; ++k) left[k] ^= gRoundOut[k];

    for (int i = 0; i < 64; ++i) out[i] = gLeftRight[kFinalPermutation[i] - 1];
}

void CFEncrypt::DesRoundFunction(std::uint8_t out[32], const std::uint8_t right[32],
                                 const std::uint8_t subkey[48]) {
    for (int i = 0; i < 48; ++i) gExpanded[i] = right[kExpansion[i] - 1] ^ subkey[i];
    for (int box = 0; box < 8; ++box)
        DesIntToBits(DesSBoxLookup(box, gExpanded + 6 * box), gSBoxOut + 4 * box, 4);
    for (int i = 0; i < 32; ++i) out[i] = gSBoxOut[kPermutation[i] - 1];
}

int CFEncrypt::DesSBoxLookup(int box, const std::uint8_t bits[6]) {
    const int row = 2 * bits[0] + bits[5];
    const int column = 8 * bits[1] + 4 * bits[2] + 2 * bits[3] + bits[4];
    return kSBoxes[box & 7][(row * 16 + column) & 63];
}

void CFEncrypt::DesIntToBits(std::int32_t value, std::uint8_t* out, int n) {
    // Widened so that any count stays a defined shift (bits above 31 repeat the sign).
    const std::int64_t wide = value;
    for (int k = 0; k < n; ++k) {
        const int shift = n - 1 - k;
        out[k] = static_cast<std::uint8_t>((wide >> (shift < 63 ? shift : 63)) & 1);
    }
}

void CFEncrypt::DesKeySchedule(std::uint8_t schedule[16][48], const std::uint8_t key[64]) {
    for (int k = 0; k < 28; ++k) {
        gRegisterC[k] = key[kPermutedChoice1[k] - 1];
        gRegisterD[k] = key[kPermutedChoice1[28 + k] - 1];
    }
    for (int round = 0; round < 16; ++round) {
        RotateRegister(gRegisterC, kRotations[round]);
        RotateRegister(gRegisterD, kRotations[round]);
        for (int i = 0; i < 48; ++i) {
            const int bit = kPermutedChoice2[i] - 1;
            schedule[round][i] = bit < 28 ? gRegisterC[bit] : gRegisterD[bit - 28];
        }
    }
}

std::uint8_t CFEncrypt::DesBitsToByte(const std::uint8_t* bits, int n) {
    if (n > 8) n = 8;
    unsigned value = 0;
    // Bit-byte 7 - k becomes bit k of the byte.
    for (int k = 0; k < n; ++k) value |= static_cast<unsigned>(bits[7 - k] & 1) << k;
    return static_cast<std::uint8_t>(value);
}

void CFEncrypt::DesByteToBits(std::uint8_t value, std::uint8_t out[8]) {
    for (int k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>((value >> (7 - k)) & 1);
}
