// The sealed channel's message form: DES-CBC (zero initial vector) of everything after the code
// byte, followed by an 8-byte MAC = E(P1 ^ ... ^ Pk ^ Ck), all under one single-DES key.
#include <cstring>

#include "des/cf_encrypt.h"

namespace {

constexpr int kBlock = 8;
constexpr int kFirstBlock = 2;       // after the length and code bytes
constexpr int kMinPlaintext = 10;    // length, code and the session block
constexpr int kMaxSealed = 255;      // the sealed length travels in one byte
constexpr int kMinSealedRecord = kFirstBlock + kBlock + kBlock;  // one block and the MAC

void Unpack(std::uint8_t bits[64], const std::uint8_t* bytes) {
    for (int k = 0; k < kBlock; ++k) CFEncrypt::DesByteToBits(bytes[k], bits + 8 * k);
}

void Pack(std::uint8_t* bytes, const std::uint8_t bits[64]) {
    for (int k = 0; k < kBlock; ++k) bytes[k] = CFEncrypt::DesBitsToByte(bits + 8 * k, 8);
}

void XorInto(std::uint8_t target[64], const std::uint8_t other[64]) {
    for (int k = 0; k < 64; ++k) target[k] ^= other[k];
}

}  // namespace

int CFEncrypt::SealMessage(std::uint8_t* dest, const std::uint8_t* src, const std::uint8_t key[8]) {
    const int n = src[0];
    if (n < kMinPlaintext) return -1;
    const int padded = n + (kBlock - (n - kFirstBlock) % kBlock) % kBlock;
    if (padded + kBlock > kMaxSealed) return -1;

    std::memmove(dest + 1, src + 1, static_cast<std::size_t>(n - 1));
    std::memset(dest + n, 0, static_cast<std::size_t>(padded - n));
    dest[0] = static_cast<std::uint8_t>(padded + kBlock);

    Unpack(Key2Bits, key);
    DesKeySchedule(Schedule2, Key2Bits);

    for (int offset = kFirstBlock; offset < padded; offset += kBlock) {
        Unpack(BlockBits, dest + offset);
        if (offset == kFirstBlock) {
            std::memcpy(MacBits, BlockBits, sizeof MacBits);
        } else {
            XorInto(MacBits, BlockBits);
            XorInto(BlockBits, ChainBits);
        }
        DesCrypt(0, ChainBits, BlockBits, Schedule2);
        Pack(dest + offset, ChainBits);
    }
    XorInto(MacBits, ChainBits);
    DesCrypt(0, BlockBits, MacBits, Schedule2);
    Pack(dest + padded, BlockBits);
    return dest[0];
}

int CFEncrypt::OpenMessage(std::uint8_t* dest, const std::uint8_t* src, const std::uint8_t key[8]) {
    const int length = src[0];
    // A record too short for one block and the MAC, or with a partial block, is not a sealed
    // message; decrypting it would take the MAC from beyond the record's end.
    if (length < kMinSealedRecord || (length - kFirstBlock) % kBlock != 0) return -1;
    const int macOffset = length - kBlock;

    const std::uint8_t code = src[1];
    Unpack(Key2Bits, key);
    DesKeySchedule(Schedule2, Key2Bits);

    std::uint8_t cipher[64];
    for (int offset = kFirstBlock; offset < macOffset; offset += kBlock) {
        Unpack(cipher, src + offset);  // read before dest (which may be src) is written
        DesCrypt(1, BlockBits, cipher, Schedule2);
        if (offset == kFirstBlock) {
            std::memcpy(MacBits, BlockBits, sizeof MacBits);
        } else {
            XorInto(BlockBits, ChainBits);
            XorInto(MacBits, BlockBits);
        }
        std::memcpy(ChainBits, cipher, sizeof ChainBits);
        Pack(dest + offset, BlockBits);
    }
    Unpack(cipher, src + macOffset);
    dest[0] = static_cast<std::uint8_t>(macOffset);
    dest[1] = code;

    DesCrypt(1, BlockBits, cipher, Schedule2);
    XorInto(BlockBits, ChainBits);
    return std::memcmp(BlockBits, MacBits, sizeof MacBits) == 0 ? 0 : -2;
}
