// The text of a card read: ID, data in each output code, fixed widths, area lengths, and the
// byte routines of the read paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/text_format.h"

namespace tapwedge {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record followed by a guard, to see that no text reaches beyond the record.
template <typename Record>
struct Guarded {
    Record record;
    std::uint8_t guard[64];
    Guarded() { std::memset(guard, 0xA5, sizeof guard); }
    bool GuardIntact() const {
        for (auto b : guard)
            if (b != 0xA5) return false;
        return true;
    }
};

std::string Text(const std::uint8_t* bytes, std::int32_t length) {
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

struct Entry {  // the matched entry and the widths
    int code;  // output code
    std::uint8_t length0, length1;
    std::int32_t width1, width2;
};

// An engine whose matched entry (entry 1; entry 0 is a decoy with another output code) has
// the given output code and area lengths.
void Configure(CardReadEngine& engine, const Entry& s) {
    engine.Entries[0].Kind = 0x8201;
    engine.Entries[1].Kind = static_cast<std::uint16_t>(0x8001 | s.code << 8);
    engine.Entries[1].Length[0] = s.length0;
    engine.Entries[1].Length[1] = s.length1;
    engine.MatchedEntry = 1;
    engine.Width1 = s.width1;
    engine.Width2 = s.width2;
}

struct DataCase {
    const char* name;
    Entry setup;
    Bytes data;
    std::string text;  // expected text; its length is the expected result
};

void ExpectDataText(const DataCase& c) {
    SCOPED_TRACE(c.name);
    CardReadEngine engine;
    Configure(engine, c.setup);
    Guarded<CardDataRecord> data;
    std::copy(c.data.begin(), c.data.end(), data.record.Bytes);
    const std::int32_t n = static_cast<std::int32_t>(c.data.size());
    const std::int32_t length = FormatData(engine, data.record, n);
    ASSERT_EQ(length, static_cast<std::int32_t>(c.text.size()));
    EXPECT_EQ(Text(data.record.Bytes, length), c.text);
    EXPECT_TRUE(data.GuardIntact());
}

TEST(FormatId, HexadecimalTextInPlace) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0x01, 0xAB}, "01AB"},
        {{0x04, 0x5A, 0x3C, 0x11, 0x90, 0x80, 0xFF}, "045A3C119080FF"},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x00, 0x10}, "0123456789ABCDEF0010"},
        {{}, ""},
    };
    CardReadEngine engine;
    for (const auto& [bytes, text] : cases) {
        Guarded<CardIdRecord> id;
        std::copy(bytes.begin(), bytes.end(), id.record.Bytes);
        const std::int32_t length =
            FormatId(engine, id.record, static_cast<std::int32_t>(bytes.size()));
        ASSERT_EQ(length, static_cast<std::int32_t>(text.size()));
        EXPECT_EQ(Text(id.record.Bytes, length), text);
        EXPECT_TRUE(id.GuardIntact());
    }
}

TEST(FormatId, CountBeyondTheRecordIsCutToTheTenBytesThatFit) {
    CardReadEngine engine;
    Guarded<CardIdRecord> id;
    for (int k = 0; k < 20; ++k) id.record.Bytes[k] = static_cast<std::uint8_t>(k);
    EXPECT_EQ(FormatId(engine, id.record, 15), 20);
    EXPECT_EQ(Text(id.record.Bytes, 20), "00010203040506070809");
    EXPECT_TRUE(id.GuardIntact());
    EXPECT_EQ(FormatId(engine, id.record, -3), 0);
}

TEST(FormatData, OutputCodesWithoutFixedWidths) {
    const DataCase cases[] = {
        {"hex", {2, 3, 0, 0, 0}, {0x00, 0x7F, 0xA5}, "007FA5"},
        {"three digits per byte", {3, 3, 0, 0, 0}, {0x00, 0x07, 0xFF}, "000007255"},
        {"one number", {4, 4, 0, 0, 0}, {0x00, 0x00, 0x01, 0x00}, "256"},
        {"2^64 - 1", {4, 8, 0, 0, 0}, Bytes(8, 0xFF), "18446744073709551615"},
        {"zero is the empty text", {4, 4, 0, 0, 0}, Bytes(4, 0x00), ""},
        {"raw keeps control bytes", {0, 4, 0, 0, 0}, {0x41, 0x42, 0x0D, 0x43}, "AB\rC"},
        {"code 5 is raw", {5, 2, 0, 0, 0}, {0x31, 0xFF}, "1\xFF"},
        {"Width2 alone sets no widths", {2, 2, 3, 0, 12}, {0x12, 0x34, 0x56, 0x78, 0x9A},
         "123456789A"},
    };
    for (const auto& c : cases) ExpectDataText(c);
}

TEST(FormatData, FixedWidthsRightAlignEachArea) {
    const DataCase cases[] = {
        {"raw drops control bytes", {0, 4, 0, 6, 0}, {0x41, 0x42, 0x0D, 0x43}, "000ABC"},
        {"two hex areas", {2, 2, 3, 6, 8}, {0x12, 0x34, 0x56, 0x78, 0x9A}, "0012340056789A"},
        {"raw drops per area", {1, 3, 3, 4, 4}, {0x41, 0xFF, 0x42, 0x01, 0x43, 0x44},
         "00AB00CD"},
        {"three digits", {3, 1, 0, 5, 0}, {0x05}, "00005"},
        {"no first area: all data in area 1", {2, 0, 2, 6, 4}, {0x0A, 0x0B}, "000A0B0000"},
        {"code 4 is not padded", {4, 4, 0, 10, 0}, {0x00, 0x00, 0x01, 0x00}, "256"},
    };
    for (const auto& c : cases) ExpectDataText(c);
}

TEST(FormatData, TextsThatDoNotFitAreCut) {
    std::string decimal100;
    Bytes bytes100;
    for (int k = 0; k < 100; ++k) {
        bytes100.push_back(static_cast<std::uint8_t>(k * 7));
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03d", (k * 7) & 0xFF);
        decimal100 += digits;
    }
    const DataCase cases[] = {
        {"three digits of 100 bytes", {3, 64, 36, 0, 0}, bytes100, decimal100.substr(0, 260)},
        {"area longer than its width", {2, 4, 0, 5, 0}, {0x01, 0x02, 0x03, 0x04}, "01020"},
        {"second area without a width", {2, 2, 3, 6, 0}, {0x12, 0x34, 0x56, 0x78, 0x9A},
         "001234"},
        {"widths beyond the record", {2, 2, 3, 200, 100}, {0x12, 0x34, 0x56, 0x78, 0x9A},
         std::string(196, '0') + "1234" + std::string(54, '0') + "56789A"},
        {"first width beyond the record", {1, 1, 1, 300, 10}, {0x41, 0x42},
         std::string(259, '0') + "A"},
    };
    for (const auto& c : cases) ExpectDataText(c);
}

TEST(FormatData, CodeFourWithMoreThanEightBytesLeavesTheData) {
    CardReadEngine engine;
    Configure(engine, {4, 9, 0, 0, 0});
    CardDataRecord data;
    for (int k = 0; k < 9; ++k) data.Bytes[k] = static_cast<std::uint8_t>(0x30 + k);
    EXPECT_EQ(FormatData(engine, data, 9), -1);
    EXPECT_EQ(Text(data.Bytes, 9), "012345678");
}

TEST(FormatData, CountBeyondTheRecordTakesTheRecord) {
    CardReadEngine engine;
    Configure(engine, {0, 64, 64, 0, 0});
    Guarded<CardDataRecord> data;
    std::memset(data.record.Bytes, 'x', sizeof data.record.Bytes);
    EXPECT_EQ(FormatData(engine, data.record, 1000), 260);
    EXPECT_TRUE(data.GuardIntact());
}

TEST(GetAreaLengths, CharactersPerAreaOrTheWidths) {
    struct Case {
        Entry setup;
        std::int32_t area1, area2;
    };
    const Case cases[] = {
        {{2, 2, 3, 0, 0}, 4, 6},      {{3, 2, 3, 0, 0}, 6, 9},
        {{4, 2, 3, 0, 0}, 0, 0},      {{0, 2, 3, 0, 0}, 2, 3},
        {{7, 2, 3, 0, 0}, 2, 3},      {{2, 2, 3, 6, 8}, 6, 8},
        {{2, 2, 3, 0, 12}, 4, 12},    {{2, 2, 3, 6, 0}, 6, 6},
        {{4, 4, 0, 10, 0}, 10, 0},    {{2, 2, 3, 200, 100}, 200, 60},
    };
    for (const auto& c : cases) {
        CardReadEngine engine;
        Configure(engine, c.setup);
        std::int32_t area1 = -1, area2 = -1;
        GetAreaLengths(engine, area1, area2);
        EXPECT_EQ(area1, c.area1) << c.setup.code << " " << c.setup.width1 << " " << c.setup.width2;
        EXPECT_EQ(area2, c.area2) << c.setup.code << " " << c.setup.width1 << " " << c.setup.width2;
    }
}

TEST(BytesToDecimal, BigEndianValueWithoutLeadingZeros) {
    const std::pair<Bytes, std::string> cases[] = {
        {{}, ""},
        {{0x07}, "7"},
        {{0x00, 0x0A}, "10"},
        {{0x01, 0x00, 0x00, 0x00, 0x00}, "4294967296"},
    };
    for (const auto& [bytes, text] : cases) {
        std::uint8_t out[20] = {};
        const std::int32_t length =
            BytesToDecimal(bytes.data(), static_cast<std::int32_t>(bytes.size()), out);
        EXPECT_EQ(Text(out, length), text);
    }
    const Bytes nine(9, 0x01);
    std::uint8_t out[20];
    std::memset(out, 'q', sizeof out);
    EXPECT_EQ(BytesToDecimal(nine.data(), 9, out), -1);
    EXPECT_EQ(out[0], 'q');
}

TEST(ReverseBytes, ReversesInPlace) {
    Bytes odd{1, 2, 3, 4, 5}, even{1, 2, 3, 4}, one{9};
    ReverseBytes(odd.data(), 5);
    ReverseBytes(even.data(), 4);
    ReverseBytes(one.data(), 1);
    EXPECT_EQ(odd, (Bytes{5, 4, 3, 2, 1}));
    EXPECT_EQ(even, (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(one, Bytes{9});
    ReverseBytes(even.data(), 0);
    ReverseBytes(even.data(), -2);
    EXPECT_EQ(even, (Bytes{4, 3, 2, 1}));
}

TEST(LowestSetBit, IndexOfTheLowestBitOrZero) {
    const std::pair<std::uint16_t, int> cases[] = {
        {0x0006, 1}, {0x0030, 4}, {0x0000, 0}, {0x0001, 0}, {0x8000, 15}, {0xFFFF, 0}};
    for (const auto& [value, bit] : cases) EXPECT_EQ(LowestSetBit(value), bit) << value;
}

}  // namespace
}  // namespace tapwedge
