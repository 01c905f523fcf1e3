// The helper routines that the program's file cipher builds on, with the intermediate values of
// the classic worked example (key 133457799BBCDFF1, plaintext 0123456789ABCDEF).
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "des_test_support.h"

namespace {

using Bits = std::vector<std::uint8_t>;

// "0110 1..." to bit-bytes; spaces are skipped.
Bits FromText(std::string_view text) {
    Bits bits;
    for (char c : text)
        if (c == '0' || c == '1') bits.push_back(static_cast<std::uint8_t>(c - '0'));
    return bits;
}

TEST(DesBits, ByteToBitsAndBackForEveryByte) {
    for (int value = 0; value < 256; ++value) {
        std::uint8_t bits[8];
        CFEncrypt::DesByteToBits(static_cast<std::uint8_t>(value), bits);
        for (int k = 0; k < 8; ++k) ASSERT_EQ(bits[k], (value >> (7 - k)) & 1) << value;
        ASSERT_EQ(CFEncrypt::DesBitsToByte(bits, 8), value);
    }
}

TEST(DesBits, BitsToByteWithOtherCounts) {
    const Bits bits = FromText("1000 0110");
    EXPECT_EQ(CFEncrypt::DesBitsToByte(bits.data(), 3), 0x6);  // bit-bytes 7, 6, 5
    EXPECT_EQ(CFEncrypt::DesBitsToByte(bits.data(), 1), 0x0);
    EXPECT_EQ(CFEncrypt::DesBitsToByte(bits.data(), 0), 0x0);
    EXPECT_EQ(CFEncrypt::DesBitsToByte(bits.data(), 12), 0x86);  // more than 8 counts as 8
}

TEST(DesBits, IntToBitsWritesOnlyTheLowBits) {
    struct Case {
        std::int32_t value;
        int n;
        std::string_view bits;
    };
    const Case cases[] = {
        {0x1A, 4, "1010"}, {5, 4, "0101"}, {15, 4, "1111"}, {0x1A, 6, "011010"},
        {-1, 3, "111"},    {0, 0, ""},
    };
    for (const auto& c : cases) {
        std::uint8_t out[9];
        std::memset(out, 7, sizeof out);
        CFEncrypt::DesIntToBits(c.value, out, c.n);
        Bits expected = FromText(c.bits);
        expected.resize(9, 7);  // nothing beyond n is written
        EXPECT_EQ(Bits(out, out + 9), expected) << c.value << " " << c.n;
    }
}

TEST(DesBits, SBoxLookupByRowAndColumn) {
    EXPECT_EQ(CFEncrypt::DesSBoxLookup(0, FromText("011011").data()), 5);   // S1 row 1, col 13
    EXPECT_EQ(CFEncrypt::DesSBoxLookup(0, FromText("000000").data()), 14);  // S1 first entry
    EXPECT_EQ(CFEncrypt::DesSBoxLookup(7, FromText("111111").data()), 11);  // S8 last entry
    EXPECT_EQ(CFEncrypt::DesSBoxLookup(4, FromText("100001").data()), 11);  // S5 row 3, col 0
}

TEST(DesBits, KeyScheduleOfTheWorkedExample) {
    std::uint8_t key[64], schedule[16][48];
    des_test::ToBits(key, des_test::FromHex("133457799BBCDFF1"));
    CFEncrypt::DesKeySchedule(schedule, key);
    EXPECT_EQ(Bits(schedule[0], schedule[0] + 48),
              FromText("000110 110000 001011 101111 111111 000111 000001 110010"));
    EXPECT_EQ(Bits(schedule[1], schedule[1] + 48),
              FromText("011110 011010 111011 011001 110110 111100 100111 100101"));
    EXPECT_EQ(Bits(schedule[15], schedule[15] + 48),
              FromText("110010 110011 110110 001011 000011 100001 011111 110101"));
}

TEST(DesBits, RoundFunctionOfTheWorkedExample) {
    std::uint8_t key[64], schedule[16][48], out[32];
    des_test::ToBits(key, des_test::FromHex("133457799BBCDFF1"));
    CFEncrypt::DesKeySchedule(schedule, key);
    const Bits right = FromText("1111 0000 1010 1010 1111 0000 1010 1010");
    CFEncrypt::DesRoundFunction(out, right.data(), schedule[0]);
    EXPECT_EQ(Bits(out, out + 32), FromText("0010 0011 0100 1010 1010 1001 1011 1011"));
}

}  // namespace
