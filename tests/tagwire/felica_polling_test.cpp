// FeliCa polling over the simulator: the request bytes of the four polling exports, the
// evaluation of the reply, and the polls without time-out.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "card_rig.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

using namespace std::chrono_literals;
using tapwedge::sim::Fault;

const Bytes kIdm{0x01, 0x2E, 0x4C, 0x5D, 0x6E, 0x7F, 0x80, 0x91};
const Bytes kPmm{0x03, 0x01, 0x4B, 0x02, 0x4F, 0x49, 0x93, 0xFF};
const Bytes kCardReply = Cat({{0x01}, kIdm, kPmm});

using Array8 = std::array<std::uint8_t, 8>;
Bytes B(const Array8& a) { return Bytes(a.begin(), a.end()); }
constexpr Array8 kUntouched{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};

using PollCall = std::function<std::int32_t(std::uint8_t* idm, std::uint8_t* pmm)>;

struct PollRequestCase {
    const char* name;
    PollCall call;
    Bytes request;  // [L][code][parameters]
};

class PollingTest : public CardTest {};

TEST_P(PollingTest, RequestBytesAndCardOfEachPoll) {
    std::uint16_t systemCode = 0;
    const PollRequestCase cases[] = {
        {"find 0003", [](auto* i, auto* p) { return TwFindCard(0x0003, i, p); },
         {7, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00}},
        {"find FE00", [](auto* i, auto* p) { return TwFindCard(0xFE00, i, p); },
         {7, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x00}},
        {"wait find 0003", [](auto* i, auto* p) { return TwWaitFindCard(0x0003, i, p); },
         {7, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01}},
        {"options 0x83", [](auto* i, auto* p) { return TwFindCardEx(0x83, 0x0003, i, p); },
         {8, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01, 0x01}},
        {"options 0x80", [](auto* i, auto* p) { return TwFindCardEx(0x80, 0x0003, i, p); },
         {8, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}},
        {"options 0x82", [](auto* i, auto* p) { return TwFindCardEx(0x82, 0x0003, i, p); },
         {8, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01}},
        {"options 0x01", [](auto* i, auto* p) { return TwFindCardEx(0x01, 0x0003, i, p); },
         {7, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01}},
        {"options 0x100", [](auto* i, auto* p) { return TwFindCardEx(0x100, 0x0003, i, p); },
         {7, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00}},
        {"system code", [&](auto* i, auto* p) { return TwGetSystemCode(&systemCode, i, p); },
         {7, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0x00, Cat({kCardReply, {0x12, 0x34}}));
        Array8 idm = kUntouched, pmm = kUntouched;
        EXPECT_EQ(c.call(idm.data(), pmm.data()), TW_OK);
        EXPECT_EQ(reader().OnlyCommand(), c.request);
        EXPECT_EQ(B(idm), kIdm);
        EXPECT_EQ(B(pmm), kPmm);
    }
    EXPECT_EQ(systemCode, 0x1234);
}

struct PollReplyCase {
    const char* name;
    Bytes reply;  // reply code and data
    std::int32_t status;
};

TEST_P(PollingTest, RefusedRepliesLeaveTheOutputsAlone) {
    const PollReplyCase cases[] = {
        {"no card", {0x7E}, TW_ERR_NO_CARD},
        {"no card with data", Cat({{0x7E}, kIdm, kPmm}), TW_ERR_NO_CARD},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED},
        {"one byte short", Cat({{0x01}, kIdm, Bytes(kPmm.begin(), kPmm.end() - 1)}),
         TW_ERR_SHORT_REPLY},
        {"wrong code", Cat({{0x0D}, kIdm, kPmm}), TW_ERR_BAD_REPLY},
        {"longer than the working buffer", Cat({kCardReply, Fill(15, 0x55)}), TW_ERR_BAD_REPLY},
        {"long no-card reply", Cat({{0x7E}, Fill(40, 0)}), TW_ERR_BAD_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0x00, c.reply);
        Array8 idm = kUntouched, pmm = kUntouched;
        EXPECT_EQ(TwFindCard(0x0003, idm.data(), pmm.data()), c.status);
        EXPECT_EQ(idm, kUntouched);
        EXPECT_EQ(pmm, kUntouched);
    }
}

TEST_P(PollingTest, ReplyFillingTheWorkingBufferIsAccepted) {
    // Length byte 32: the whole 32-byte working buffer.
    sim().QueueReply(0x00, Cat({kCardReply, Fill(14, 0x55)}));
    Array8 idm = kUntouched, pmm = kUntouched;
    EXPECT_EQ(TwFindCard(0x0003, idm.data(), pmm.data()), TW_OK);
    EXPECT_EQ(B(idm), kIdm);
    EXPECT_EQ(B(pmm), kPmm);
}

TEST_P(PollingTest, SystemCodeMustFollowThePmm) {
    for (const Bytes& tail : {Bytes{}, Bytes{0x12}}) {
        SCOPED_TRACE(tail.size());
        sim().QueueReply(0x00, Cat({kCardReply, tail}));
        std::uint16_t systemCode = 0xEEEE;
        Array8 idm = kUntouched, pmm = kUntouched;
        EXPECT_EQ(TwGetSystemCode(&systemCode, idm.data(), pmm.data()), TW_ERR_SHORT_REPLY);
        EXPECT_EQ(systemCode, 0xEEEE);
        EXPECT_EQ(idm, kUntouched);
        EXPECT_EQ(pmm, kUntouched);
    }
}

TEST_P(PollingTest, LinkFailuresPassThrough) {
    sim().InjectFault({.ack = Fault::Ack::Nack});
    Array8 idm = kUntouched, pmm = kUntouched;
    EXPECT_EQ(TwFindCard(0x0003, idm.data(), pmm.data()), TW_ERR_NACK);
    EXPECT_EQ(idm, kUntouched);
}

TEST_P(PollingTest, NullOutputsAreRefusedBeforeSending) {
    std::uint8_t idm[8], pmm[8];
    std::uint16_t code = 0;
    EXPECT_EQ(TwFindCard(0x0003, nullptr, pmm), TW_ERR_PARAM);
    EXPECT_EQ(TwFindCardEx(0, 0x0003, idm, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwWaitFindCard(0x0003, nullptr, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(TwGetSystemCode(nullptr, idm, pmm), TW_ERR_PARAM);
    EXPECT_EQ(TwGetSystemCode(&code, idm, nullptr), TW_ERR_PARAM);
    EXPECT_TRUE(reader().Commands().empty());
}

// ---- polls without time-out ----

// Whether the response time-out is back at 2000 ms: a poll answered by an ACK alone is still
// waiting 1.1 s after the send (a time-out of 1000 ms would have ended it) and has timed out
// after 2.1 s.
void ExpectDefaultTimeout(tapwedge::sim::ReaderSim& sim) {
    sim.InjectFault({.no_reply = true});
    WaitScript script(sim);
    script.Then(150ms, [] { JumpClock::Jump(1100); }).Then(300ms, [] { JumpClock::Jump(1000); });
    ScriptedPump pump([&] { script.Step(); });
    std::uint8_t idm[8], pmm[8];
    EXPECT_EQ(TwFindCard(0x0003, idm, pmm), TW_ERR_TIMEOUT);
    EXPECT_EQ(script.Done(), 2u) << "the poll ended after the first step";
}

struct BusyEndCase {
    const char* name;
    PollCall call;
};

TEST_P(PollingTest, PollWithoutTimeoutEndsWhenACommandWithTheBusyCheckStarts) {
    const BusyEndCase cases[] = {
        {"wait find", [](auto* i, auto* p) { return TwWaitFindCard(0x0003, i, p); }},
        {"options 0x83", [](auto* i, auto* p) { return TwFindCardEx(0x83, 0x0003, i, p); }},
        {"options 0x80", [](auto* i, auto* p) { return TwFindCardEx(0x80, 0x0003, i, p); }},
    };
    JumpClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The reader acknowledges the poll and waits; the second poll finds the card.
        sim().InjectFault({.no_reply = true});
        sim().SetReply(0x00, kCardReply);
        std::int32_t inner = -1;
        Array8 innerIdm = kUntouched, innerPmm = kUntouched;
        WaitScript script(sim());
        script.Then(150ms, [] { JumpClock::Jump(3'600'000); })
            .Then(200ms, [&] { inner = TwFindCard(0x0003, innerIdm.data(), innerPmm.data()); });
        Array8 idm = kUntouched, pmm = kUntouched;
        {
            ScriptedPump pump([&] { script.Step(); });
            EXPECT_EQ(c.call(idm.data(), pmm.data()), TW_ERR_CANCELLED);
        }
        EXPECT_EQ(script.Done(), 2u);
        EXPECT_EQ(inner, TW_OK);
        EXPECT_EQ(B(innerIdm), kIdm);
        EXPECT_EQ(idm, kUntouched);
        sim().ClearReply(0x00);
        ExpectDefaultTimeout(sim());
    }
}

TEST_P(PollingTest, PollsWithTimeoutEndAfterIt) {
    std::uint16_t code = 0;
    const BusyEndCase cases[] = {
        {"find", [](auto* i, auto* p) { return TwFindCard(0x0003, i, p); }},
        {"options 0x100", [](auto* i, auto* p) { return TwFindCardEx(0x100, 0x0003, i, p); }},
        {"system code", [&](auto* i, auto* p) { return TwGetSystemCode(&code, i, p); }},
    };
    JumpClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().InjectFault({.no_reply = true});
        WaitScript script(sim());
        script.Then(150ms, [] { JumpClock::Jump(3'600'000); });
        ScriptedPump pump([&] { script.Step(); });
        Array8 idm = kUntouched, pmm = kUntouched;
        EXPECT_EQ(c.call(idm.data(), pmm.data()), TW_ERR_TIMEOUT);
        EXPECT_EQ(idm, kUntouched);
    }
}

TEST_P(PollingTest, BusyWhileAnotherExchangeWaits) {
    sim().SetReplyLatency(300ms);
    sim().QueueReply(0x00, kCardReply);
    std::int32_t inner = -1;
    WaitScript script(sim());
    script.Then(50ms, [&] {
        std::uint8_t i[8], p[8];
        inner = TwFindCard(0x0003, i, p);
    });
    ScriptedPump pump([&] { script.Step(); });
    std::uint8_t idm[8], pmm[8];
    EXPECT_EQ(TwFindCard(0x0003, idm, pmm), TW_OK);
    EXPECT_EQ(inner, TW_ERR_BUSY);
    EXPECT_EQ(reader().Commands().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Transports, PollingTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
