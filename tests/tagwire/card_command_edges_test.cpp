// Edges shared by the FeliCa and Mifare command exports: the library not open, the Mifare card
// search without time-out and how it ends, and replies of the simulator's cards made too short
// or too long.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

#include "card_rig.h"
#include "reader_context.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

using namespace std::chrono_literals;
using tapwedge::sim::Fault;
using tapwedge::sim::MifareCard;

const Bytes kUid4{0x04, 0xA1, 0xB2, 0xC3};

// Every output any export may write, filled with 0xEE.
struct Outputs {
    std::uint8_t idm[8], pmm[8];
    std::uint16_t systemCode;
    TwCodeList codes;
    std::int32_t mode;
    TwBlockList blocks;
    TwSReadBuffer sblocks;
    TwMifCard card;
    std::uint8_t data[64];
    std::int32_t length;
};

struct ExportCase {
    const char* name;
    std::function<std::int32_t(Outputs&)> call;
};

// The 28 FeliCa and Mifare exports. Outputs keep their 0xEE filling (a block list of a
// negative count, for one): the library's state is checked before any argument.
std::vector<ExportCase> AllCardExports() {
    static const std::uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x5D, 0x6E, 0x7F, 0x80, 0x91};
    static const std::uint8_t key[6] = {};
    static const TwCodeList nodes{1, {0x090F}};
    static TwBlockList list{0, 1, {}};
    static TwSReadBuffer in{1, {}};
    return {
        {"TwFindCard", [](Outputs& o) { return TwFindCard(0x0003, o.idm, o.pmm); }},
        {"TwFindCardEx", [](Outputs& o) { return TwFindCardEx(0, 0x0003, o.idm, o.pmm); }},
        {"TwWaitFindCard", [](Outputs& o) { return TwWaitFindCard(0x0003, o.idm, o.pmm); }},
        {"TwGetSystemCode", [](Outputs& o) { return TwGetSystemCode(&o.systemCode, o.idm, o.pmm); }},
        {"TwRequestSystemCode", [](Outputs& o) { return TwRequestSystemCode(idm, &o.codes); }},
        {"TwSearchServiceCode", [](Outputs& o) { return TwSearchServiceCode(idm, 0, &o.codes); }},
        {"TwRequestService", [](Outputs& o) { return TwRequestService(idm, &nodes, &o.codes); }},
        {"TwRequestResponse", [](Outputs& o) { return TwRequestResponse(idm, &o.mode); }},
        {"TwCardAuthentication", [](Outputs&) { return TwCardAuthentication(idm, 1); }},
        {"TwCardAuthentication2", [](Outputs&) { return TwCardAuthentication2(idm, 1); }},
        {"TwReadBlock", [](Outputs& o) { return TwReadBlock(0, &o.blocks); }},
        {"TwWriteBlock", [](Outputs&) { return TwWriteBlock(0, &list); }},
        {"TwPlainReadBlock", [](Outputs& o) { return TwPlainReadBlock(idm, 0x090F, &o.blocks); }},
        {"TwPlainWriteBlock", [](Outputs&) { return TwPlainWriteBlock(idm, 0x090F, &list); }},
        {"TwSReadBlock", [](Outputs& o) { return TwSReadBlock(idm, 0x090F, 3, &o.sblocks); }},
        {"TwSWriteBlock", [](Outputs&) { return TwSWriteBlock(idm, 0x090F, 1, &in); }},
        {"MifFindCard", [](Outputs& o) { return MifFindCard(&o.card, 0); }},
        {"MifCardAuthentication", [](Outputs&) { return MifCardAuthentication(0, 0, 4); }},
        {"MifHalt", [](Outputs&) { return MifHalt(); }},
        {"MifRead", [](Outputs& o) { return MifRead(4, o.data); }},
        {"MifWrite", [](Outputs&) { return MifWrite(4, key); }},
        {"MifIncrement", [](Outputs&) { return MifIncrement(5, 1); }},
        {"MifDecrement", [](Outputs&) { return MifDecrement(5, 1); }},
        {"MifRestore", [](Outputs&) { return MifRestore(5); }},
        {"MifTransfer", [](Outputs&) { return MifTransfer(5); }},
        {"MifSetCardKey", [](Outputs&) { return MifSetCardKey(0, key, key); }},
        {"MifRead2", [](Outputs& o) { return MifRead2(4, &o.length, o.data); }},
        {"MifWrite2", [](Outputs&) { return MifWrite2(4, 6, key); }},
    };
}

class CardEdgeTest : public CardTest {};

TEST_P(CardEdgeTest, EveryExportNeedsTheOpenLibrary) {
    const std::vector<ExportCase> exports = AllCardExports();
    // A reader that would answer: cards of both kinds in the field.
    sim().AddCard(MifareCard::Classic(kUid4));
    sim().AddCard(tapwedge::sim::FelicaCard{});

    auto expectRefused = [&](const char* state) {
        SCOPED_TRACE(state);
        for (const auto& e : exports) {
            SCOPED_TRACE(e.name);
            Guarded<Outputs> out;
            EXPECT_EQ(e.call(out.record), TW_ERR_NOT_OPEN);
            EXPECT_TRUE(out.Untouched());
        }
        EXPECT_TRUE(reader().Commands().empty());
    };

    // An open or close in progress.
    OpenState.store(kOpenInTransition);
    expectRefused("in transition");
    OpenState.store(kOpenOpen);

    ASSERT_EQ(TwClose(), TW_OK);
    sim().ClearRecord();
    expectRefused("closed");

    std::int32_t locations[8] = {};
    TwUsbGetDeviceList(locations);
    ASSERT_EQ(OpenState.load(), kOpenEnumeration);
    expectRefused("enumeration only");
}

// ---- the Mifare card search without time-out ----

struct EndCase {
    const char* name;
    std::int32_t wait;
    Bytes request;
    bool readerWaits;  // the reader keeps the search open (else: it never answers)
    std::function<void(tapwedge::sim::ReaderSim&, std::int32_t& inner)> end;  // inside the wait
    std::int32_t status;
    std::int32_t inner;  // result of a command started inside the wait
};

TEST_P(CardEdgeTest, SearchWithoutTimeoutAndHowItEnds) {
    const EndCase cases[] = {
        {"wait 1 ended by TwCancel", 1, {4, 0xC0, 0x00, 0x01}, true,
         [](auto&, std::int32_t& inner) { inner = TwCancel(); }, TW_ERR_CANCELLED, TW_OK},
        {"wait 0x100: wait byte 0, no time-out", 0x100, {4, 0xC0, 0x00, 0x00}, false,
         [](auto&, std::int32_t& inner) { inner = TwCancel(); }, TW_ERR_CANCELLED, TW_OK},
        {"ended by a command with the busy check", 1, {4, 0xC0, 0x00, 0x01}, true,
         [](auto&, std::int32_t& inner) {
             TwMifCard other{};
             inner = MifFindCard(&other, 0);
         },
         TW_ERR_CANCELLED, TW_ERR_NO_CARD},
        {"a card arrives", 1, {4, 0xC0, 0x00, 0x01}, true,
         [](auto& sim, std::int32_t& inner) {
             sim.AddCard(MifareCard::Classic(kUid4));
             inner = TW_OK;
         },
         TW_OK, TW_OK},
    };
    JumpClock clock;
    ReaderContext* context = ContextPtr.load();
    ASSERT_NE(context, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        sim().ClearRecord();
        if (!c.readerWaits) sim().InjectFault({.command = 0xC0, .no_reply = true});
        context->Timeout = 1500;  // the time-out in force before the call
        std::int32_t inner = -1;
        WaitScript script(sim());
        // An hour passes: no time-out ends the search.
        script.Then(150ms, [] { JumpClock::Jump(3'600'000); })
            .Then(200ms, [&] { c.end(sim(), inner); });
        Guarded<TwMifCard> card;
        {
            ScriptedPump pump([&] { script.Step(); });
            EXPECT_EQ(MifFindCard(&card.record, c.wait), c.status);
        }
        EXPECT_EQ(script.Done(), 2u);
        EXPECT_EQ(inner, c.inner);
        EXPECT_EQ(reader().Commands().front(), c.request);
        EXPECT_EQ(context->Timeout, 1500);
        if (c.status == TW_OK) {
            EXPECT_EQ(card.record.UidSize, 1);
            EXPECT_EQ(Bytes(card.record.Uid, card.record.Uid + 4), kUid4);
            EXPECT_TRUE(card.GuardIntact());
        } else {
            EXPECT_TRUE(card.Untouched());
        }
    }
    context->Timeout = kDefaultTimeout;
}

TEST_P(CardEdgeTest, SearchWithoutWaitTimesOut) {
    JumpClock clock;
    ReaderContext* context = ContextPtr.load();
    sim().InjectFault({.command = 0xC0, .no_reply = true});
    WaitScript script(sim());
    script.Then(150ms, [] { JumpClock::Jump(3'600'000); });
    Guarded<TwMifCard> card;
    {
        ScriptedPump pump([&] { script.Step(); });
        EXPECT_EQ(MifFindCard(&card.record, 0), TW_ERR_TIMEOUT);
    }
    EXPECT_TRUE(card.Untouched());
    EXPECT_EQ(context->Timeout, kDefaultTimeout);
}

// ---- the cards' own replies, cut short or lengthened ----

struct ReplyCase {
    const char* name;
    Fault fault;
    std::function<std::int32_t(Outputs&)> call;
    std::int32_t status;
    // Outputs on success: data bytes copied (the rest stays 0xEE), the search's record.
    std::size_t dataBytes = 0;
    bool found = false;
};

TEST_P(CardEdgeTest, MifareRepliesCutShortOrLengthened) {
    auto find = [](Outputs& o) { return MifFindCard(&o.card, 0); };
    auto read = [](Outputs& o) { return MifRead(4, o.data); };
    auto read2 = [](Outputs& o) {
        std::int32_t length = 20;
        const std::int32_t status = MifRead2(4, &length, o.data);
        if (status == TW_OK) o.length = length;
        return status;
    };
    static const std::uint8_t bytes[16] = {0x11, 0x22, 0x33};
    const ReplyCase cases[] = {
        {"search, card information only", {.command = 0xC0, .reply_drop = 5}, find,
         TW_ERR_SHORT_REPLY},
        {"search, 30 bytes", {.command = 0xC0, .reply_append = Fill(20, 0x55)}, find, TW_OK, 0,
         true},
        {"search, beyond the working buffer", {.command = 0xC0, .reply_append = Fill(23, 0x55)},
         find, TW_ERR_BAD_REPLY},
        {"search, far beyond", {.command = 0xC0, .reply_append = Fill(200, 0x55)}, find,
         TW_ERR_BAD_REPLY},
        {"authentication without status", {.command = 0xC2, .reply_drop = 1},
         [](Outputs&) { return MifCardAuthentication(0, 0, 4); }, TW_ERR_SHORT_REPLY},
        {"authentication, lengthened", {.command = 0xC2, .reply_append = Fill(200, 0x55)},
         [](Outputs&) { return MifCardAuthentication(0, 0, 4); }, TW_OK},
        {"halt without status", {.command = 0xC4, .reply_drop = 1}, [](Outputs&) { return MifHalt(); },
         TW_ERR_SHORT_REPLY},
        {"read, one byte short", {.command = 0xC6, .reply_drop = 1}, read, TW_ERR_SHORT_REPLY},
        {"read, status only", {.command = 0xC6, .reply_drop = 16}, read, TW_ERR_SHORT_REPLY},
        {"read, lengthened", {.command = 0xC6, .reply_append = Fill(200, 0x55)}, read, TW_OK, 16},
        {"read, not acknowledged", {.command = 0xC6, .ack = Fault::Ack::Nack}, read, TW_ERR_NACK},
        {"write, one status byte", {.command = 0xC8, .reply_drop = 1},
         [](Outputs&) { return MifWrite(6, bytes); }, TW_ERR_SHORT_REPLY},
        {"increment, one status byte", {.command = 0xCA, .reply_drop = 1},
         [](Outputs&) { return MifIncrement(5, 1); }, TW_ERR_SHORT_REPLY},
        {"decrement, one status byte", {.command = 0xCC, .reply_drop = 1},
         [](Outputs&) { return MifDecrement(5, 1); }, TW_ERR_SHORT_REPLY},
        {"restore, one status byte", {.command = 0xCE, .reply_drop = 1},
         [](Outputs&) { return MifRestore(5); }, TW_ERR_SHORT_REPLY},
        {"transfer, lengthened", {.command = 0xD0, .reply_append = Fill(100, 0x55)},
         [](Outputs&) { return MifTransfer(5); }, TW_ERR_CARD_STATUS + 0x0005},
        {"set card key without status", {.command = 0xD2, .reply_drop = 1},
         [](Outputs&) { return MifSetCardKey(2, bytes, bytes); }, TW_ERR_SHORT_REPLY},
        {"read with length below the minimum", {.command = 0xD6, .reply_drop = 19}, read2,
         TW_ERR_SHORT_REPLY},
        {"read with length, part of the bytes", {.command = 0xD6, .reply_drop = 12}, read2, TW_OK, 8},
        {"read with length, lengthened", {.command = 0xD6, .reply_append = Fill(100, 0x55)}, read2,
         TW_OK, 20},
        {"write with length, one status byte", {.command = 0xD8, .reply_drop = 1},
         [](Outputs&) { return MifWrite2(6, 3, bytes); }, TW_ERR_SHORT_REPLY},
    };
    // Blocks 4 and 5 hold 40 41 .. 5F (the writes go to block 6).
    MifareCard classic = MifareCard::Classic(kUid4);
    for (std::size_t i = 0; i < 16; ++i) classic.blocks[4][i] = static_cast<std::uint8_t>(0x40 + i);
    for (std::size_t i = 0; i < 16; ++i) classic.blocks[5][i] = static_cast<std::uint8_t>(0x50 + i);
    const int handle = sim().AddCard(classic);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The card selected (woken from a halt), sector 1 open.
        sim().TakeAway(handle);
        sim().PutBack(handle);
        TwMifCard card{};
        ASSERT_EQ(MifFindCard(&card, 0), TW_OK);
        ASSERT_EQ(MifCardAuthentication(0, 0, 4), TW_OK);
        sim().InjectFault(c.fault);
        Guarded<Outputs> out;
        EXPECT_EQ(c.call(out.record), c.status);
        if (c.status != TW_OK) {
            EXPECT_TRUE(out.Untouched());
            continue;
        }
        EXPECT_TRUE(out.GuardIntact());
        if (c.found) {
            EXPECT_EQ(out.record.card.UidSize, 1);
            EXPECT_EQ(Bytes(out.record.card.Uid, out.record.card.Uid + 4), kUid4);
        }
        for (std::size_t i = 0; i < sizeof out.record.data; ++i)
            EXPECT_EQ(out.record.data[i], i < c.dataBytes ? 0x40 + i : 0xEE) << i;
        if (c.dataBytes != 0 && c.dataBytes != 16) {
            EXPECT_EQ(out.record.length, static_cast<std::int32_t>(c.dataBytes));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, CardEdgeTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
