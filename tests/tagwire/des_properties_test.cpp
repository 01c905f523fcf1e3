// Properties of the DES routines: inverse operations, parity bits, degenerate triple DES, in place.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "des_test_support.h"

using des_test::Block;
using des_test::FromBits;
using des_test::SingleDes;
using des_test::ToBits;

namespace {

Block RandomBlock(std::mt19937& rng) {
    Block b{};
    for (auto& byte : b) byte = static_cast<std::uint8_t>(rng());
    return b;
}

Block TripleEncrypt(CFEncrypt& des, const Block& k1, const Block& k2, const Block& in) {
    Block out{};
    des.TripleDesEncryptBlock(out.data(), in.data(), k1.data(), k2.data());
    return out;
}

Block TripleDecrypt(CFEncrypt& des, const Block& k1, const Block& k2, const Block& in) {
    Block out{};
    des.TripleDesDecryptBlock(out.data(), in.data(), k1.data(), k2.data());
    return out;
}

TEST(DesProperties, DecryptionInvertsEncryption) {
    std::mt19937 rng(11);
    CFEncrypt des;
    for (int i = 0; i < 100; ++i) {
        const Block k1 = RandomBlock(rng), k2 = RandomBlock(rng), block = RandomBlock(rng);
        EXPECT_EQ(SingleDes(1, k1, SingleDes(0, k1, block)), block);
        EXPECT_EQ(TripleDecrypt(des, k1, k2, TripleEncrypt(des, k1, k2, block)), block);
    }
}

TEST(DesProperties, ParityBitsOfTheKeysAreIgnored) {
    std::mt19937 rng(12);
    CFEncrypt des;
    for (int i = 0; i < 50; ++i) {
        const Block k1 = RandomBlock(rng), k2 = RandomBlock(rng), block = RandomBlock(rng);
        Block f1 = k1, f2 = k2;
        for (int k = 0; k < 8; ++k) {
            f1[k] ^= static_cast<std::uint8_t>(rng() & 1);
            f2[k] ^= 1;  // every parity bit flipped
        }
        EXPECT_EQ(SingleDes(0, f2, block), SingleDes(0, k2, block));
        EXPECT_EQ(SingleDes(1, f2, block), SingleDes(1, k2, block));
        EXPECT_EQ(TripleEncrypt(des, f1, f2, block), TripleEncrypt(des, k1, k2, block));
        EXPECT_EQ(TripleDecrypt(des, f1, f2, block), TripleDecrypt(des, k1, k2, block));
    }
}

TEST(DesProperties, EqualKeysGiveSingleDes) {
    std::mt19937 rng(13);
    CFEncrypt des;
    for (int i = 0; i < 50; ++i) {
        const Block key = RandomBlock(rng), block = RandomBlock(rng);
        EXPECT_EQ(TripleEncrypt(des, key, key, block), SingleDes(0, key, block));
        EXPECT_EQ(TripleDecrypt(des, key, key, block), SingleDes(1, key, block));
    }
}

TEST(DesProperties, OutputMayBeTheInput) {
    std::mt19937 rng(14);
    CFEncrypt des;
    for (int i = 0; i < 20; ++i) {
        const Block k1 = RandomBlock(rng), k2 = RandomBlock(rng), block = RandomBlock(rng);

        Block inPlace = block;
        des.TripleDesEncryptBlock(inPlace.data(), inPlace.data(), k1.data(), k2.data());
        EXPECT_EQ(inPlace, TripleEncrypt(des, k1, k2, block));
        des.TripleDesDecryptBlock(inPlace.data(), inPlace.data(), k1.data(), k2.data());
        EXPECT_EQ(inPlace, block);

        std::uint8_t keyBits[64], schedule[16][48], bits[64], separate[64];
        ToBits(keyBits, k1);
        CFEncrypt::DesKeySchedule(schedule, keyBits);
        ToBits(bits, block);
        CFEncrypt::DesCrypt(0, separate, bits, schedule);
        CFEncrypt::DesCrypt(0, bits, bits, schedule);
        EXPECT_EQ(0, std::memcmp(bits, separate, 64));
        CFEncrypt::DesCrypt(1, bits, bits, schedule);
        EXPECT_EQ(FromBits(bits), block);
    }
}

}  // namespace
