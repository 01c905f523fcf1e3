// FeliCa inquiry, block and S block commands over the simulator, on a reader that is not
// authenticated: request bytes, count limits, status flags and bounded reply evaluation.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <functional>

#include "card_rig.h"
#include "felica_block_data.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

constexpr std::uint16_t kService = 0x090F;

class FelicaCommandTest : public CardTest {};

// ---- plain block commands ----

struct PlainBlockCase {
    const char* name;
    std::int32_t first, count;
    Bytes elements;
};

TEST_P(FelicaCommandTest, PlainReadRequestBytes) {
    const PlainBlockCase cases[] = {
        {"first 2 count 3", 2, 3, {0x80, 0x02, 0x80, 0x03, 0x80, 0x04}},
        {"count 0", 5, 0, {}},
        {"block above 255 goes into the high byte", 0x1FE, 3, {0x81, 0xFE, 0x81, 0xFF, 0x82, 0x00}},
        {"only the low 16 bits of First", 0x2FFFF, 2, {0xFF, 0xFF, 0x80, 0x00}},
        {"count 8", 0, 8,
         {0x80, 0, 0x80, 1, 0x80, 2, 0x80, 3, 0x80, 4, 0x80, 5, 0x80, 6, 0x80, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0x06, Cat({{0x07, 0x00, 0x00, static_cast<std::uint8_t>(c.count)},
                                    Blocks(c.count)}));
        TwBlockList list = List(c.first, c.count);
        EXPECT_EQ(TwPlainReadBlock(kIdm, kService, &list), TW_OK);
        const Bytes expected = Cat({{static_cast<std::uint8_t>(14 + 2 * c.count), 0x06}, kIdmBytes,
                                    {0x01, 0x0F, 0x09, static_cast<std::uint8_t>(c.count)},
                                    c.elements});
        EXPECT_EQ(reader().OnlyCommand(), expected);
        EXPECT_EQ(Bytes(list.Data, list.Data + 16 * c.count), Blocks(c.count));
        if (c.count < 8) {
            EXPECT_EQ(list.Data[16 * c.count], 0xEE);
        }
    }
}

TEST_P(FelicaCommandTest, PlainWriteRequestBytes) {
    for (std::int32_t count : {3, 8}) {
        SCOPED_TRACE(count);
        sim().ClearRecord();
        sim().QueueReply(0x08, {0x09, 0x00, 0x00});
        TwBlockList list = List(2, count);
        const Bytes data = Blocks(count);
        std::memcpy(list.Data, data.data(), data.size());
        EXPECT_EQ(TwPlainWriteBlock(kIdm, kService, &list), TW_OK);
        Bytes elements;
        for (int j = 0; j < count; ++j) elements.insert(elements.end(), {0x80, static_cast<std::uint8_t>(2 + j)});
        const Bytes expected = Cat({{static_cast<std::uint8_t>(14 + 18 * count), 0x08}, kIdmBytes,
                                    {0x01, 0x0F, 0x09, static_cast<std::uint8_t>(count)},
                                    elements, data});
        EXPECT_EQ(reader().OnlyCommand(), expected);
        EXPECT_EQ(expected[0], count == 8 ? 158 : 68);
    }
}

TEST_P(FelicaCommandTest, BlockCountsAboveEightOrNegativeAreRefusedBeforeSending) {
    for (std::int32_t count : {9, 100, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        TwBlockList list = List(0, count);
        const TwBlockList before = list;
        EXPECT_EQ(TwPlainReadBlock(kIdm, kService, &list), TW_ERR_TOO_MANY);
        EXPECT_EQ(TwPlainWriteBlock(kIdm, kService, &list), TW_ERR_TOO_MANY);
        TwSReadBuffer in{};
        in.Count = count;
        EXPECT_EQ(TwSWriteBlock(kIdm, kService, 3, &in), TW_ERR_TOO_MANY);
        EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);
    }
    EXPECT_TRUE(reader().Commands().empty());
}

struct BlockReplyCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
};

TEST_P(FelicaCommandTest, PlainReadRefusalsLeaveTheDataAlone) {
    const BlockReplyCase cases[] = {
        {"status flags A1 06", {0x07, 0xA1, 0x06}, TW_ERR_CARD_STATUS + 0xA106},
        {"status flags 01 02 with data", Cat({{0x07, 0x01, 0x02, 0x02}, Blocks(2)}),
         TW_ERR_CARD_STATUS + 0x0102},
        {"status flags 00 01", {0x07, 0x00, 0x01}, TW_ERR_CARD_STATUS + 1},
        {"reader failure", {0x7E}, TW_ERR_READER_FAILED},
        {"rejected", {0x7F, 0x00, 0x00}, TW_ERR_READER_REJECTED},
        {"no status flags", {0x07, 0x00}, TW_ERR_SHORT_REPLY},
        {"wrong code", Cat({{0x09, 0x00, 0x00, 0x02}, Blocks(2)}), TW_ERR_BAD_REPLY},
        {"status only", {0x07, 0x00, 0x00}, TW_ERR_SHORT_REPLY},
        {"one block of two", Cat({{0x07, 0x00, 0x00, 0x02}, Blocks(1)}), TW_ERR_SHORT_REPLY},
        {"one byte short", Cat({{0x07, 0x00, 0x00, 0x02}, Bytes(31, 0x10)}), TW_ERR_SHORT_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0x06, c.reply);
        TwBlockList list = List(0, 2);
        const TwBlockList before = list;
        EXPECT_EQ(TwPlainReadBlock(kIdm, kService, &list), c.status);
        EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);
    }
}

TEST_P(FelicaCommandTest, PlainWriteReportsTheStatusFlags) {
    sim().QueueReply(0x08, {0x09, 0xA1, 0x06});
    TwBlockList list = List(0, 1);
    EXPECT_EQ(TwPlainWriteBlock(kIdm, kService, &list), TW_ERR_CARD_STATUS + 0xA106);
}

TEST_P(FelicaCommandTest, AuthenticatedCommandsNeedTheAuthenticatedReader) {
    TwBlockList list = List(2, 3);
    const TwBlockList before = list;
    EXPECT_EQ(TwReadBlock(1, &list), TW_ERR_NOT_AUTHENTICATED);
    EXPECT_EQ(TwWriteBlock(1, &list), TW_ERR_NOT_AUTHENTICATED);
    // Tested before the count.
    TwBlockList tooMany = List(0, 9);
    EXPECT_EQ(TwReadBlock(0, &tooMany), TW_ERR_NOT_AUTHENTICATED);
    EXPECT_EQ(TwCardAuthentication(kIdm, 1), TW_ERR_NOT_AUTHENTICATED);
    EXPECT_EQ(TwCardAuthentication2(kIdm, 1), TW_ERR_NOT_AUTHENTICATED);
    TwCodeList codes;
    std::memset(&codes, 0xEE, sizeof codes);
    EXPECT_EQ(TwRequestSystemCode(kIdm, &codes), TW_ERR_FAILED);
    EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);
    EXPECT_TRUE(reader().Commands().empty());
}

// ---- S block commands ----

TEST_P(FelicaCommandTest, SReadRequestAndBlocks) {
    sim().QueueReply(0x26, Cat({{0x27, 0x00, 0x00, 0x03}, Blocks(3)}));
    Guarded<TwSReadBuffer> out;
    EXPECT_EQ(TwSReadBlock(kIdm, kService, 0x103, &out.record), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{14, 0x26}, kIdmBytes, {0x01, 0x0F, 0x09, 0x03}}));
    EXPECT_EQ(out.record.Count, 3);
    EXPECT_EQ(Bytes(out.record.Data, out.record.Data + 48), Blocks(3));
    EXPECT_EQ(out.record.Data[48], 0xEE);
    EXPECT_TRUE(out.GuardIntact());
}

struct SReadBoundCase {
    const char* name;
    std::int32_t asked;  // blockCount: the caller's record has room for this many blocks (8 at most)
    Bytes reply;
    std::int32_t count;  // blocks kept
};

TEST_P(FelicaCommandTest, SReadKeepsWhatTheReplyHoldsAndTheRecordTakes) {
    const SReadBoundCase cases[] = {
        {"15 blocks into a record of 8", 8, Cat({{0x27, 0x00, 0x00, 15}, Blocks(15)}), 8},
        {"8 blocks, 3 asked for", 3, Cat({{0x27, 0x00, 0x00, 8}, Blocks(8)}), 3},
        {"4 blocks, none asked for", 0x100, Cat({{0x27, 0x00, 0x00, 4}, Blocks(4)}), 0},
        {"count 200", 20, Cat({{0x27, 0x00, 0x00, 200}, Blocks(15)}), 8},
        {"count 5, two blocks held", 8, Cat({{0x27, 0x00, 0x00, 5}, Blocks(2), Bytes(10, 0x77)}), 2},
        {"count 1, part of a block", 3, Cat({{0x27, 0x00, 0x00, 1}, Bytes(15, 0x77)}), 0},
        {"no count byte", 3, {0x27, 0x00, 0x00}, 0},
        {"count 0", 3, Cat({{0x27, 0x00, 0x00, 0}, Blocks(2)}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0x26, c.reply);
        Guarded<TwSReadBuffer> out;
        EXPECT_EQ(TwSReadBlock(kIdm, kService, c.asked, &out.record), TW_OK);
        EXPECT_EQ(out.record.Count, c.count);
        EXPECT_EQ(Bytes(out.record.Data, out.record.Data + 16 * c.count), Blocks(c.count));
        // Nothing past the blocks kept: the room of a smaller record.
        EXPECT_TRUE(std::all_of(out.record.Data + 16 * c.count, std::end(out.record.Data),
                                [](std::uint8_t b) { return b == 0xEE; }));
        EXPECT_TRUE(out.GuardIntact());
    }
}

TEST_P(FelicaCommandTest, SReadStatusFlagsLeaveTheRecordAlone) {
    sim().QueueReply(0x26, Cat({{0x27, 0x01, 0x02, 0x03}, Blocks(3)}));
    Guarded<TwSReadBuffer> out;
    EXPECT_EQ(TwSReadBlock(kIdm, kService, 3, &out.record), TW_ERR_CARD_STATUS + 0x0102);
    EXPECT_TRUE(out.Untouched());
}

TEST_P(FelicaCommandTest, SWriteSendsTheCountByteAndTheRecordsBlocks) {
    sim().QueueReply(0x28, {0x29, 0x00, 0x00});
    sim().QueueReply(0x28, {0x29, 0xA1, 0x06});
    TwSReadBuffer in{};
    in.Count = 2;
    const Bytes data = Blocks(2);
    std::memcpy(in.Data, data.data(), data.size());
    // The count byte (blockCount) and the data (Count) are not compared.
    EXPECT_EQ(TwSWriteBlock(kIdm, kService, 5, &in), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{46, 0x28}, kIdmBytes, {0x01, 0x0F, 0x09, 0x05}, data}));
    EXPECT_EQ(TwSWriteBlock(kIdm, kService, 2, &in), TW_ERR_CARD_STATUS + 0xA106);
    in.Count = 8;
    sim().ClearRecord();
    sim().QueueReply(0x28, {0x29, 0x00, 0x00});
    EXPECT_EQ(TwSWriteBlock(kIdm, kService, 8, &in), TW_OK);
    EXPECT_EQ(reader().OnlyCommand()[0], 142);
}

// ---- inquiry commands ----

struct SearchCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
    std::int32_t count;
    std::uint16_t code0, code1;
};

TEST_P(FelicaCommandTest, SearchServiceCode) {
    const SearchCase cases[] = {
        {"service code, length byte 4", {0x0B, 0x0F, 0x09}, TW_OK, 1, 0x090F, 0},
        {"length byte 5", {0x0B, 0x0F, 0x09, 0x44}, TW_OK, 1, 0x090F, 0},
        {"area code and end, length byte 6", {0x0B, 0x00, 0x10, 0xFF, 0x13}, TW_OK, 2, 0x1000,
         0x13FF},
        {"more than two", {0x0B, 0x00, 0x10, 0xFF, 0x13, 0x55, 0x66}, TW_OK, 2, 0x1000, 0x13FF},
        {"short", {0x0B, 0x0F}, TW_ERR_SHORT_REPLY, -1, 0, 0},
        {"failure", {0x7E}, TW_ERR_READER_FAILED, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0x0A, c.reply);
        Guarded<TwCodeList> out;
        EXPECT_EQ(TwSearchServiceCode(kIdm, 0x0102, &out.record), c.status);
        EXPECT_EQ(reader().OnlyCommand(), Cat({{12, 0x0A}, kIdmBytes, {0x02, 0x01}}));
        if (c.status != TW_OK) {
            EXPECT_TRUE(out.Untouched());
            continue;
        }
        TwCodeList expected{};
        expected.Count = c.count;
        expected.Code[0] = c.code0;
        expected.Code[1] = c.code1;
        EXPECT_EQ(std::memcmp(&out.record, &expected, sizeof expected), 0);
        EXPECT_TRUE(out.GuardIntact());
    }
}

TEST_P(FelicaCommandTest, RequestServiceRequestAndVersions) {
    TwCodeList nodes{};
    nodes.Count = 2;
    nodes.Code[0] = 0x1000;
    nodes.Code[1] = 0x090F;
    sim().QueueReply(0x02, {0x03, 0x02, 0x00, 0x00, 0x01, 0x02});
    Guarded<TwCodeList> versions;
    EXPECT_EQ(TwRequestService(kIdm, &nodes, &versions.record), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{15, 0x02}, kIdmBytes, {0x02, 0x00, 0x10, 0x0F, 0x09}}));
    EXPECT_EQ(versions.record.Count, 2);
    EXPECT_EQ(versions.record.Code[0], 0x0000);
    EXPECT_EQ(versions.record.Code[1], 0x0201);
    EXPECT_EQ(versions.record.Code[2], 0xEEEE);
}

TEST_P(FelicaCommandTest, RequestServiceTakesSevenNodes) {
    TwCodeList nodes{};
    nodes.Count = 7;
    for (int i = 0; i < 7; ++i) nodes.Code[i] = static_cast<std::uint16_t>(0x1100 + i);
    Bytes reply{0x03, 7};
    for (int i = 0; i < 7; ++i) reply.insert(reply.end(), {static_cast<std::uint8_t>(i), 0x00});
    sim().QueueReply(0x02, reply);
    TwCodeList versions{};
    EXPECT_EQ(TwRequestService(kIdm, &nodes, &versions), TW_OK);
    const Bytes sent = reader().OnlyCommand();
    EXPECT_EQ(sent.size(), 25u);
    EXPECT_EQ(sent[0], 25);
    EXPECT_EQ(sent[10], 7);
    EXPECT_EQ(Bytes(sent.end() - 2, sent.end()), (Bytes{0x06, 0x11}));
    EXPECT_EQ(versions.Count, 7);
    EXPECT_EQ(versions.Code[6], 6);

    for (std::int32_t count : {8, 9, -1}) {
        SCOPED_TRACE(count);
        sim().ClearRecord();
        nodes.Count = count;
        Guarded<TwCodeList> out;
        EXPECT_EQ(TwRequestService(kIdm, &nodes, &out.record), TW_ERR_TOO_MANY);
        EXPECT_TRUE(out.Untouched());
        EXPECT_TRUE(reader().Commands().empty());
    }
}

struct VersionBoundCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
    std::int32_t count;
};

TEST_P(FelicaCommandTest, RequestServiceVersionsAreBoundedByTheReplyAndTheRecord) {
    auto versionsReply = [](std::uint8_t count, int pairs) {
        Bytes reply{0x03, count};
        for (int j = 0; j < pairs; ++j) reply.insert(reply.end(), {static_cast<std::uint8_t>(j), 0xA0});
        return reply;
    };
    const VersionBoundCase cases[] = {
        {"count 255 with 20 versions", versionsReply(255, 20), TW_OK, 8},
        {"count 3 with one version", versionsReply(3, 1), TW_OK, 1},
        {"count 2 with one and a half", Cat({versionsReply(2, 1), {0x01}}), TW_OK, 1},
        // One node: the minimum length byte is 4, one byte less than a complete reply.
        {"minimum length", {0x03, 0x01, 0x00}, TW_OK, 0},
        {"short", {0x03, 0x01}, TW_ERR_SHORT_REPLY, -1},
    };
    TwCodeList nodes{};
    nodes.Count = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0x02, c.reply);
        Guarded<TwCodeList> versions;
        EXPECT_EQ(TwRequestService(kIdm, &nodes, &versions.record), c.status);
        if (c.status != TW_OK) {
            EXPECT_TRUE(versions.Untouched());
            continue;
        }
        EXPECT_EQ(versions.record.Count, c.count);
        for (int j = 0; j < c.count; ++j) EXPECT_EQ(versions.record.Code[j], 0xA000 + j);
        EXPECT_TRUE(versions.GuardIntact());
    }
}

TEST_P(FelicaCommandTest, RequestServiceWithNoNodes) {
    TwCodeList nodes{};
    sim().QueueReply(0x02, {0x03});
    Guarded<TwCodeList> versions;
    EXPECT_EQ(TwRequestService(kIdm, &nodes, &versions.record), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{11, 0x02}, kIdmBytes, {0x00}}));
    EXPECT_EQ(versions.record.Count, 0);
    EXPECT_TRUE(versions.GuardIntact());
}

TEST_P(FelicaCommandTest, RequestResponse) {
    sim().QueueReply(0x04, {0x05, 0x02});
    std::int32_t mode = -1;
    EXPECT_EQ(TwRequestResponse(kIdm, &mode), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{10, 0x04}, kIdmBytes}));
    EXPECT_EQ(mode, 2);

    for (const Bytes& reply : {Bytes{0x05}, Bytes{0x7F, 0x01}, Bytes{0x07, 0x01}}) {
        sim().QueueReply(0x04, reply);
        mode = -1;
        EXPECT_NE(TwRequestResponse(kIdm, &mode), TW_OK);
        EXPECT_EQ(mode, -1);
    }
}

TEST_P(FelicaCommandTest, NullRecordsAreRefusedBeforeSending) {
    TwBlockList list = List(0, 1);
    TwCodeList codes{};
    TwSReadBuffer buffer{};
    std::int32_t mode = 0;
    EXPECT_EQ(TwPlainReadBlock(nullptr, kService, &list), TW_ERR_PARAM);
    EXPECT_EQ(TwPlainReadBlock(kIdm, kService, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwPlainWriteBlock(kIdm, kService, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwSReadBlock(kIdm, kService, 3, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwSWriteBlock(nullptr, kService, 3, &buffer), TW_ERR_PARAM);
    EXPECT_EQ(TwSearchServiceCode(kIdm, 0, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwRequestService(kIdm, nullptr, &codes), TW_ERR_PARAM);
    EXPECT_EQ(TwRequestService(kIdm, &codes, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwRequestResponse(nullptr, &mode), TW_ERR_PARAM);
    EXPECT_EQ(TwRequestSystemCode(kIdm, nullptr), TW_ERR_PARAM);
    EXPECT_TRUE(reader().Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Transports, FelicaCommandTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
