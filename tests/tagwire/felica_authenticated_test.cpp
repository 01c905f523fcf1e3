// FeliCa commands that need the authenticated reader (card authentication, the authenticated
// block commands, request system code) over the simulator: request bytes, count limits and
// the evaluation of short, long and refused replies.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "card_rig.h"
#include "felica_block_data.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

using namespace std::chrono_literals;
using tapwedge::sim::Fault;


// The reader counts as authenticated (plain channel).
class AuthenticatedFelicaTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        ASSERT_EQ(TwSetAuthenticationStatus(), TW_OK);
    }
};

// ---- authenticated block commands ----

struct ElementCase {
    const char* name;
    std::int32_t serviceIndex, first, count;
    Bytes elements;
};

TEST_P(AuthenticatedFelicaTest, ReadBlockRequestBytes) {
    const ElementCase cases[] = {
        {"service 1, first 2, count 3", 1, 2, 3, {0x81, 0x02, 0x81, 0x03, 0x81, 0x04}},
        {"service 0, count 8", 0, 0, 8,
         {0x80, 0, 0x80, 1, 0x80, 2, 0x80, 3, 0x80, 4, 0x80, 5, 0x80, 6, 0x80, 7}},
        {"service 15", 15, 0xFF, 1, {0x8F, 0xFF}},
        {"service index 16 is OR-ed into byte 0", 16, 1, 1, {0x90, 0x01}},
        {"block above 255 is OR-ed into byte 0", 1, 0x1FF, 2, {0x81, 0xFF, 0x83, 0x00}},
        {"only the low 16 bits of the service index", 0x10002, 5, 1, {0x82, 0x05}},
        {"count 0", 3, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0x14, Cat({{0x15, 0x00, 0x00, static_cast<std::uint8_t>(c.count)},
                                    Blocks(c.count)}));
        TwBlockList list = List(c.first, c.count);
        EXPECT_EQ(TwReadBlock(c.serviceIndex, &list), TW_OK);
        const auto n = static_cast<std::uint8_t>(c.count);
        EXPECT_EQ(reader().OnlyCommand(),
                  Cat({{static_cast<std::uint8_t>(7 + 2 * n), 0x14, 0, 0, 0, 0, n}, c.elements}));
        EXPECT_EQ(Bytes(list.Data, list.Data + 16 * c.count), Blocks(c.count));
        if (c.count < 8) {
            EXPECT_EQ(list.Data[16 * c.count], 0xEE);
        }
    }
}

TEST_P(AuthenticatedFelicaTest, WriteBlockRequestBytes) {
    for (std::int32_t count : {3, 8}) {
        SCOPED_TRACE(count);
        sim().ClearRecord();
        sim().QueueReply(0x16, {0x17, 0x00, 0x00});
        TwBlockList list = List(2, count);
        const Bytes data = Blocks(count);
        std::memcpy(list.Data, data.data(), data.size());
        EXPECT_EQ(TwWriteBlock(1, &list), TW_OK);
        Bytes elements;
        for (int j = 0; j < count; ++j) elements.insert(elements.end(), {0x81, static_cast<std::uint8_t>(2 + j)});
        const auto n = static_cast<std::uint8_t>(count);
        const Bytes expected =
            Cat({{static_cast<std::uint8_t>(7 + 18 * n), 0x16, 0, 0, 0, 0, n}, elements, data});
        EXPECT_EQ(reader().OnlyCommand(), expected);
        EXPECT_EQ(expected[0], count == 8 ? 151 : 61);
    }
}

TEST_P(AuthenticatedFelicaTest, BlockCountsAboveEightOrNegativeAreRefusedBeforeSending) {
    for (std::int32_t count : {9, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        TwBlockList list = List(0, count);
        const TwBlockList before = list;
        EXPECT_EQ(TwReadBlock(0, &list), TW_ERR_TOO_MANY);
        EXPECT_EQ(TwWriteBlock(0, &list), TW_ERR_TOO_MANY);
        EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);
    }
    EXPECT_EQ(TwReadBlock(0, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwWriteBlock(0, nullptr), TW_ERR_PARAM);
    EXPECT_TRUE(reader().Commands().empty());
}

struct BlockReplyCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
};

TEST_P(AuthenticatedFelicaTest, ReadBlockRefusalsLeaveTheDataAlone) {
    const BlockReplyCase cases[] = {
        {"status flags A1 06", Cat({{0x15, 0xA1, 0x06, 0x02}, Blocks(2)}), TW_ERR_CARD_STATUS + 0xA106},
        {"reader failure", {0x7E}, TW_ERR_READER_FAILED},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED},
        {"no status flags", {0x15, 0x00}, TW_ERR_SHORT_REPLY},
        {"status only", {0x15, 0x00, 0x00}, TW_ERR_SHORT_REPLY},
        {"one block of two", Cat({{0x15, 0x00, 0x00, 0x02}, Blocks(1)}), TW_ERR_SHORT_REPLY},
        {"one byte short", Cat({{0x15, 0x00, 0x00, 0x02}, Bytes(31, 0x10)}), TW_ERR_SHORT_REPLY},
        {"reply of the plain read", Cat({{0x07, 0x00, 0x00, 0x02}, Blocks(2)}), TW_ERR_BAD_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0x14, c.reply);
        TwBlockList list = List(0, 2);
        const TwBlockList before = list;
        EXPECT_EQ(TwReadBlock(1, &list), c.status);
        EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);
    }
    // A longer reply than asked: the two blocks, nothing more.
    sim().QueueReply(0x14, Cat({{0x15, 0x00, 0x00, 0x05}, Blocks(5)}));
    TwBlockList list = List(0, 2);
    EXPECT_EQ(TwReadBlock(1, &list), TW_OK);
    EXPECT_EQ(Bytes(list.Data, list.Data + 32), Blocks(2));
    EXPECT_EQ(list.Data[32], 0xEE);
}

TEST_P(AuthenticatedFelicaTest, WriteBlockReportsTheStatusFlags) {
    sim().QueueReply(0x16, {0x17, 0x01, 0x02});
    sim().QueueReply(0x16, {0x17, 0x00});
    TwBlockList list = List(0, 1);
    EXPECT_EQ(TwWriteBlock(0, &list), TW_ERR_CARD_STATUS + 0x0102);
    EXPECT_EQ(TwWriteBlock(0, &list), TW_ERR_SHORT_REPLY);
}

// ---- card authentication ----

struct CardAuthCase {
    const char* name;
    Bytes replyData;  // after the reply code
    std::uint8_t code;  // reply code; 0: the expected one
    std::int32_t status;
};

TEST_P(AuthenticatedFelicaTest, CardAuthenticationJudgesTheReplyCodeAlone) {
    using Export = std::int32_t (*)(const std::uint8_t*, std::int32_t);
    const struct {
        const char* name;
        Export call;
        std::uint8_t command;
    } exports[] = {{"TwCardAuthentication", TwCardAuthentication, 0x10},
                   {"TwCardAuthentication2", TwCardAuthentication2, 0x12}};
    const CardAuthCase cases[] = {
        {"accepted", {0x00}, 0, TW_OK},
        {"any third byte", {0x55}, 0, TW_OK},
        {"reply filling the working buffer", Fill(30, 0x55), 0, TW_OK},
        {"longer than the working buffer", Fill(31, 0x55), 0, TW_ERR_BAD_REPLY},
        {"far longer", Fill(200, 0x55), 0, TW_ERR_BAD_REPLY},
        {"code only", {}, 0, TW_ERR_SHORT_REPLY},
        {"card refused", {}, 0x7E, TW_ERR_READER_FAILED},
        {"rejected", {0x00}, 0x7F, TW_ERR_READER_REJECTED},
        {"the other authentication's reply", {0x00}, 0x15, TW_ERR_BAD_REPLY},
    };
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            sim().ClearRecord();
            const auto expected = static_cast<std::uint8_t>(e.command + 1);
            sim().QueueReply(e.command, Cat({{c.code == 0 ? expected : c.code}, c.replyData}));
            EXPECT_EQ(e.call(kIdm, 0x01020304), c.status);
            EXPECT_EQ(reader().OnlyCommand(),
                      Cat({{14, e.command}, kIdmBytes, {0x01, 0x02, 0x03, 0x04}}));
        }
        sim().ClearRecord();
        sim().QueueReply(e.command, {static_cast<std::uint8_t>(e.command + 1), 0x00});
        EXPECT_EQ(e.call(kIdm, -2), TW_OK);
        EXPECT_EQ(reader().OnlyCommand(), Cat({{14, e.command}, kIdmBytes, {0xFF, 0xFF, 0xFF, 0xFE}}));
        EXPECT_EQ(e.call(nullptr, 1), TW_ERR_PARAM);
    }
}

TEST_P(AuthenticatedFelicaTest, CardAuthenticationTimesOut) {
    JumpClock clock;
    sim().InjectFault({.command = 0x10, .no_reply = true});
    WaitScript script(sim());
    script.Then(150ms, [] { JumpClock::Jump(2500); });
    ScriptedPump pump([&] { script.Step(); });
    EXPECT_EQ(TwCardAuthentication(kIdm, 1), TW_ERR_TIMEOUT);
    EXPECT_EQ(script.Done(), 1u);
}

// ---- request system code ----

struct SystemCodeCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
    std::vector<std::uint16_t> codes;  // the record's entries afterwards (the rest untouched)
};

TEST_P(AuthenticatedFelicaTest, RequestSystemCodeIsBoundedByTheReply) {
    const SystemCodeCase cases[] = {
        {"two codes", {0x0D, 0x02, 0x00, 0x03, 0xFE, 0x00}, TW_OK, {0x0003, 0xFE00}},
        {"count 9 is taken as 1", {0x0D, 0x09, 0x00, 0x03, 0xFE, 0x00}, TW_OK, {0x0003}},
        {"count 7, two held", {0x0D, 0x07, 0x00, 0x03, 0xFE, 0x00}, TW_OK, {0x0003, 0xFE00}},
        {"count 2, one and a half held", {0x0D, 0x02, 0x00, 0x03, 0xFE}, TW_OK, {0x0003}},
        {"count without codes", {0x0D, 0x01}, TW_OK, {}},
        {"code only", {0x0D}, TW_OK, {}},
        {"rejected", {0x7F, 0x01, 0x00, 0x03}, TW_ERR_READER_REJECTED, {}},
        {"wrong code", {0x0B, 0x01, 0x00, 0x03}, TW_ERR_BAD_REPLY, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0x0C, c.reply);
        Guarded<TwCodeList> out;
        EXPECT_EQ(TwRequestSystemCode(kIdm, &out.record), c.status);
        EXPECT_EQ(reader().OnlyCommand(), Cat({{10, 0x0C}, kIdmBytes}));
        if (c.status != TW_OK) {
            EXPECT_TRUE(out.Untouched());
            continue;
        }
        EXPECT_EQ(out.record.Count, static_cast<std::int32_t>(c.codes.size()));
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_EQ(out.record.Code[i], i < c.codes.size() ? c.codes[i] : 0xEEEE) << i;
        EXPECT_TRUE(out.GuardIntact());
    }
}

// ---- over the encrypted channel ----

TEST_P(AuthenticatedFelicaTest, CardAuthenticationOverTheEncryptedChannel) {
    const TwAuthKeys keys = AuthKeysOf(sim());
    ASSERT_EQ(TwAuthentication(&keys, 0), TW_OK);
    ASSERT_TRUE(sim().Session().encrypted);

    sim().QueueReply(0x10, {0x11, 0x00});
    sim().QueueReply(0x10, Cat({{0x11}, Fill(40, 0x55)}));
    sim().ClearRecord();
    EXPECT_EQ(TwCardAuthentication(kIdm, 0x01020304), TW_OK);
    const auto sent = sim().Commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].sealed);
    const Bytes expected = Cat({{14, 0x10}, kIdmBytes, {0x01, 0x02, 0x03, 0x04}});
    ASSERT_GE(sent[0].command.size(), expected.size());
    EXPECT_EQ(Bytes(sent[0].command.begin() + 1, sent[0].command.begin() + 14),
              Bytes(expected.begin() + 1, expected.end()));
    EXPECT_EQ(TwCardAuthentication(kIdm, 0x01020304), TW_ERR_BAD_REPLY);
}

INSTANTIATE_TEST_SUITE_P(Transports, AuthenticatedFelicaTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
