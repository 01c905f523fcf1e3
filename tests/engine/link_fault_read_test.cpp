// The card-read engine when the line or the sealed session fails in the middle of a read, as it
// does in the fault soak: a card on the reader is reported exactly once, a read lost on the line
// is made again on the next tick, and every fault that needs the polling loop's judgement (a
// reconnection after a bad MAC) reaches it, also from calls whose results a path drops and past
// the results of later entries.
#include <gtest/gtest.h>
#include <tagwire/tagwire.h>

#include "engine_rig.h"

namespace engine_rig {
namespace {

using tapwedge::CARD_ERROR_FLAG;
using tapwedge::sim::Fault;

constexpr std::uint8_t kPoll = 0x00, kPlainRead = 0x06, kMifSearch = 0xC0, kMifHalt = 0xC4, kMifRead = 0xC6,
                       kPassThrough = 0x4C, kRfOff = 0x54;

constexpr std::int32_t Flagged(std::int32_t status) { return status | CARD_ERROR_FLAG; }

// One card of each family with an entry that reads a data area from it.
struct Family {
    const char* name;
    EntrySpec entry;
    std::int32_t bytes;          // data bytes of a read
    std::uint8_t search, read;   // codes of the search and of the data read
    int read_index;              // the data read is the n-th command of its code in a tick
};

const Family kFamilies[] = {
    {"FeliCa", {.kind = 0x9201, .system_code = 0xFFFF, .service_code = 0x100B, .areas = {{0, 0, 8}, {}}}, 8,
     kPoll, kPlainRead, 0},
    {"Mifare", {.kind = 0x9241, .areas = {{4, 0, 6}, {}}}, 6, kMifSearch, kMifRead, 0},
    {"ISO15693", {.kind = 0x92C1, .areas = {{1, 0, 4}, {}}}, 4, kPassThrough, kPassThrough, 1},
};

struct FaultCase {
    const char* name;
    Fault fault;
    std::int32_t status;
    bool session;  // the polling loop connects anew, with a new authentication
};

const FaultCase kFaults[] = {
    {"NACK", {.ack = Fault::Ack::Nack}, TW_ERR_NACK, false},
    {"bad MAC", {.bad_mac = true}, TW_ERR_MAC, true},
    {"wrong counter", {.wrong_counter = true}, TW_ERR_SEQUENCE, true},
};

class LinkFaultRead : public EngineTest {
protected:
    LinkFaultRead() : EngineTest(0) {}  // the encrypted channel

    void PutCard(const Family& f) {
        sim().RemoveAllCards();
        Tick();  // the field empty for a tick: no card is taken as present any more
        if (f.search == kPoll) {
            tapwedge::sim::FelicaCard card;
            tapwedge::sim::FelicaService service;
            service.code = 0x100B;
            service.blocks.assign(2, tapwedge::sim::Block16{});
            card.services = {service};
            sim().AddCard(card);
        } else if (f.search == kMifSearch) {
            sim().AddCard(tapwedge::sim::MifareCard::Classic({0x04, 0x01, 0x02, 0x03}));
        } else {
            tapwedge::sim::Iso15693Card card;
            card.blocks.assign(4, Bytes(4, 0x11));
            sim().AddCard(card);
        }
    }
    // The fault on the n-th command of that code in the next tick.
    void FaultOn(std::uint8_t code, int index, Fault fault) {
        for (int i = 0; i < index; ++i) sim().InjectFault({.command = code});
        fault.command = code;
        sim().InjectFault(fault);
    }
    void Reconnect(const FaultCase& c) {
        if (c.session) Authenticate();
    }
};

TEST_P(LinkFaultRead, ACardWhoseSearchFailsOnTheLineIsNotReportedAgain) {
    for (const Family& f : kFamilies) {
        for (const FaultCase& c : kFaults) {
            SCOPED_TRACE(testing::Message() << f.name << ", " << c.name);
            PutCard(f);
            Decode({f.entry});
            ASSERT_EQ(Tick(), f.bytes);
            FaultOn(f.search, 0, c.fault);
            EXPECT_EQ(Tick(), Flagged(c.status));
            Reconnect(c);
            EXPECT_LE(Tick(), 0);
            EXPECT_LE(Tick(), 0);
        }
    }
}

TEST_P(LinkFaultRead, ACardWhoseReadFailsOnTheLineIsReadOnTheNextTick) {
    for (const Family& f : kFamilies) {
        for (const FaultCase& c : kFaults) {
            SCOPED_TRACE(testing::Message() << f.name << ", " << c.name);
            PutCard(f);
            Decode({f.entry});
            FaultOn(f.read, f.read_index, c.fault);
            EXPECT_EQ(Tick(), Flagged(c.status));
            const Bytes codes = Codes();
            ASSERT_FALSE(codes.empty());
            // Mifare: not halted, the field off; ISO15693: not told to stay quiet.
            if (f.search == kMifSearch) {
                EXPECT_EQ(codes.back(), kRfOff);
            }
            if (f.search == kPassThrough) {
                EXPECT_EQ(CommandsOf(kPassThrough).size(), 2u);
            }
            Reconnect(c);
            EXPECT_EQ(Tick(), f.bytes);
            EXPECT_LE(Tick(), 0);
        }
    }
}

TEST_P(LinkFaultRead, ASessionLostInACallWhoseResultIsDroppedReachesThePollingLoop) {
    struct Case {
        const char* name;
        int family;
        std::uint8_t code;
        int index;
    } cases[] = {
        {"Mifare halt", 1, kMifHalt, 0},
        {"ISO15693 stay quiet", 2, kPassThrough, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Family& f = kFamilies[c.family];
        PutCard(f);
        Decode({f.entry});
        FaultOn(c.code, c.index, {.bad_mac = true});
        EXPECT_EQ(Tick(), f.bytes);  // the card was read: it is reported
        EXPECT_EQ(Tick(), Flagged(TW_ERR_MAC));
        EXPECT_TRUE(Codes().empty());  // nothing more on the broken session
        Authenticate();
        EXPECT_LE(Tick(), 0);
    }
}

TEST_P(LinkFaultRead, AnEarlierEntrysSessionFaultIsNotHiddenByALaterEntry) {
    sim().RemoveAllCards();
    Decode({kFamilies[0].entry, kFamilies[1].entry, kFamilies[2].entry});
    EXPECT_EQ(Tick(), tapwedge::kReadIsoNoCard);  // no card: the last entry has the word
    FaultOn(kPoll, 0, {.bad_mac = true});
    // The library is plain and unauthenticated now: the ISO15693 entry fails on its own (-1).
    EXPECT_EQ(Tick(), Flagged(TW_ERR_MAC));
}

INSTANTIATE_TEST_SUITE_P(Usb, LinkFaultRead, testing::Values(Transport::Usb), card_rig::TransportName);

}  // namespace
}  // namespace engine_rig
