#include "core/hex_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace tapwedge {
namespace {

struct HexCase {
    const char* text;
    int n;
    int result;
    std::vector<int> bytes;  // expected out[0..n-1]; -1 = left as it was (0xEE)
};

TEST(ParseHexText, ConvertsPairsPadsAndStopsAtInvalidHighNibble) {
    const HexCase cases[] = {
        {"ABC", 2, 0, {0xAB, 0xC0}},
        {"1", 2, 0, {0x10, 0x00}},
        {"AZ", 1, 0, {0xA0}},           // invalid second character counts as 0
        {"abcdef", 3, 0, {0xAB, 0xCD, 0xEF}},
        {"0123456789", 2, 0, {0x01, 0x23}},  // at most 2n characters are taken
        {"", 3, 0, {0, 0, 0}},
        {"G1", 2, -1, {-1, -1}},         // nothing written
        {"12Z4", 3, -1, {0x12, -1, -1}},  // bytes before the fault stay
        {"12 4", 2, -1, {0x12, -1}},
        {"A", 1, 0, {0xA0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint8_t out[8];
        std::fill(std::begin(out), std::end(out), 0xEE);
        EXPECT_EQ(ParseHexText(c.text, out, c.n), c.result);
        for (int i = 0; i < c.n; ++i) {
            EXPECT_EQ(out[i], c.bytes[i] < 0 ? 0xEE : c.bytes[i]) << "byte " << i;
        }
        EXPECT_EQ(out[c.n], 0xEE) << "wrote past n bytes";
    }
}

TEST(FormatHexText, WritesTwoUpperCaseDigitsPerByteAndNothingPastTheNul) {
    struct FormatCase {
        std::vector<std::uint8_t> bytes;
        const char* text;
    };
    const FormatCase cases[] = {
        {{0x0A, 0xF1}, "0AF1"},
        {{}, ""},
        {{0x00, 0x9B, 0xC4, 0xFF, 0x10, 0x7E, 0x01, 0xD2}, "009BC4FF107E01D2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char text[20];
        std::fill(std::begin(text), std::end(text), '#');
        const int count = static_cast<int>(c.bytes.size());
        FormatHexText(c.bytes.data(), count, text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(text[2 * count + 1], '#') << "wrote past the NUL";

        // The text reads back as the same bytes.
        std::uint8_t back[8];
        ASSERT_EQ(ParseHexText(text, back, count), 0);
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), back));
    }
}

TEST(HexText, TheSameDigitsAsAString) {
    const std::uint8_t bytes[] = {0x0A, 0xF1, 0x00, 0x9B};
    EXPECT_EQ(HexText(bytes, 4), "0AF1009B");
    EXPECT_EQ(HexText(bytes, 0), "");
}

TEST(ParseHexNumber, WholeFieldAsOneNumber) {
    const struct {
        const char* text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"3C", 0x3C},  {"00", 0},           {"ff", 0xFF},      {"1000", 0x1000},
        {"FFFFFFFF", -1}, {"", std::nullopt}, {"G", std::nullopt}, {"1 ", std::nullopt},
        {" 1", std::nullopt}, {"-1", std::nullopt}, {"0x10", std::nullopt},
        {"123456789", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseHexNumber(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace tapwedge
