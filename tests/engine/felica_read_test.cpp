// FeliCa path of the card-read engine against the simulator's cards: ID only, plain block areas,
// secured areas after card authentication, the SSFC read, failures that make the card be read
// again, the repeat suppression and the dispatcher over several entries.
#include <gtest/gtest.h>
#include <tagwire/tagwire.h>

#include "engine_rig.h"

namespace engine_rig {
namespace {

using tapwedge::CARD_ERROR_FLAG;
using tapwedge::sim::Block16;
using tapwedge::sim::FelicaCard;
using tapwedge::sim::FelicaService;
using tapwedge::sim::KeyEntry;

constexpr std::uint8_t kPoll = 0x00, kPlainRead = 0x06, kCardAuth = 0x10, kAuthRead = 0x14,
                       kSRead = 0x26, kRfOff = 0x54;

constexpr std::uint16_t kSystem = 0x0003;
constexpr std::uint16_t kPlain1 = 0x100B, kPlain2 = 0x1009;   // no card authentication
constexpr std::uint16_t kSecured = 0x1008;                    // card authentication
constexpr std::uint16_t kSsfcPlain = 0xFC0B, kSsfcSecured = 0xFC08;
constexpr std::int32_t kKeyId = 0x20;
const tapwedge::sim::Block8 kServiceKey{0x5A, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};

// Kind words as the dialog writes them: in use, hex output code, FeliCa.
constexpr std::uint16_t kIdOnly = 0x9200;
constexpr std::uint16_t kBlockArea = 0x9201;
constexpr std::uint16_t kSsfc = 0x9221;

// Block b of a service tagged t holds t, b, then 14 counting bytes: every byte tells where it was.
FelicaService Service(std::uint16_t code, std::size_t blocks, std::uint8_t tag) {
    FelicaService s;
    s.code = code;
    s.key = kServiceKey;
    for (std::size_t b = 0; b < blocks; ++b) {
        Block16 block{};
        block[0] = tag;
        block[1] = static_cast<std::uint8_t>(b);
        for (int i = 2; i < 16; ++i) block[i] = static_cast<std::uint8_t>(tag + 16 * b + i);
        s.blocks.push_back(block);
    }
    return s;
}

FelicaCard Card() {
    FelicaCard card;
    card.system_codes = {kSystem};
    card.services = {Service(kPlain1, 8, 0xA0), Service(kPlain2, 8, 0xB0), Service(kSecured, 8, 0xC0),
                     Service(kSsfcPlain, 3, 0xD0), Service(kSsfcSecured, 3, 0xE0)};
    return card;
}

std::vector<Bytes> BlocksOf(const FelicaCard& card, std::uint16_t code) {
    std::vector<Bytes> out;
    for (const auto& s : card.services)
        if (s.code == code)
            for (const auto& b : s.blocks) out.emplace_back(b.begin(), b.end());
    return out;
}

Bytes IdmOf(const FelicaCard& card) { return Bytes(card.idm.begin(), card.idm.end()); }

// The card's key store entry: the secured services with the key the card expects.
void RegisterCardKey(tapwedge::sim::ReaderSim& sim, std::int32_t keyId) {
    KeyEntry entry;
    entry.key_id = static_cast<std::uint32_t>(keyId);
    entry.list1 = {{kSecured, kServiceKey}, {kSsfcSecured, kServiceKey}};
    sim.AddKeyEntry(entry);
}

class FelicaRead : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        card_ = Card();
        handle_ = sim().AddCard(card_);
        RegisterCardKey(sim(), kKeyId);
    }
    FelicaCard card_;
    int handle_ = 0;
};

TEST_P(FelicaRead, IdOnlyReportsTheIdmAndSendsOnlyThePoll) {
    Decode({{.kind = kIdOnly, .system_code = 0xFFFF}});
    EXPECT_EQ(Tick(), 8);
    EXPECT_EQ(Id(), IdmOf(card_));
    EXPECT_EQ(data_.Length, 0);
    EXPECT_EQ(Codes(), Bytes{kPoll});
    EXPECT_EQ(engine_.MatchedEntry, 0);
}

// ---- plain and secured block areas ----

struct SegmentRead {
    std::uint16_t service;  // where the area lies on the card
    Area area;
    std::uint8_t blocks;    // blocks the read asks for
};

struct BlockAreaCase {
    const char* name;
    std::uint16_t service_code, second_service;
    Area areas[2];
    std::vector<SegmentRead> reads;  // in order; empty: no block read at all
    std::uint8_t read_code;          // kPlainRead or kAuthRead
};

TEST_P(FelicaRead, BlockAreasAreCutFromTheBlocksRead) {
    const BlockAreaCase cases[] = {
        {"one plain area inside one block", kPlain1, 0, {{1, 3, 10}, {}},
         {{kPlain1, {1, 3, 10}, 1}}, kPlainRead},
        {"one plain area ending on a block boundary", kPlain1, 0, {{2, 0, 32}, {}},
         {{kPlain1, {2, 0, 32}, 2}}, kPlainRead},
        {"two areas in two services, the second over five blocks", kPlain1, kPlain2,
         {{0, 2, 20}, {1, 15, 64}},
         {{kPlain1, {0, 2, 20}, 2}, {kPlain2, {1, 15, 64}, 5}}, kPlainRead},
        {"second service 0: both areas from the first service", kPlain1, 0,
         {{0, 0, 4}, {3, 8, 8}},
         {{kPlain1, {0, 0, 4}, 1}, {kPlain1, {3, 8, 8}, 1}}, kPlainRead},
        {"secured: both areas from the authenticated service", kSecured, kPlain2,
         {{0, 5, 16}, {2, 0, 3}},
         {{kSecured, {0, 5, 16}, 2}, {kSecured, {2, 0, 3}, 1}}, kAuthRead},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine_.FelicaPresent = false;  // a fresh card each case
        Decode({{.kind = kBlockArea, .system_code = kSystem, .service_code = c.service_code,
                 .second_service = c.second_service, .areas = {c.areas[0], c.areas[1]}}},
               1, kKeyId);
        Bytes expected;
        for (const auto& r : c.reads) {
            const Bytes part = Slice(BlocksOf(card_, r.service), r.area.block, r.area.start, r.area.length);
            expected.insert(expected.end(), part.begin(), part.end());
        }
        EXPECT_EQ(Tick(), static_cast<std::int32_t>(expected.size()));
        EXPECT_EQ(Data(), expected);
        EXPECT_EQ(Id(), IdmOf(card_));

        const auto reads = CommandsOf(c.read_code);
        ASSERT_EQ(reads.size(), c.reads.size());
        for (std::size_t j = 0; j < reads.size(); ++j) {
            if (c.read_code == kPlainRead) {
                // [L][06][IDm][1][service LE][n][elements]
                ASSERT_GE(reads[j].size(), 14u);
                EXPECT_EQ(reads[j][11] | reads[j][12] << 8, c.reads[j].service);
                EXPECT_EQ(reads[j][13], c.reads[j].blocks);
                EXPECT_EQ(reads[j][15], c.reads[j].area.block);  // first element's block
            } else {
                // [L][14][00 00 00 00][n][elements], service index 0
                ASSERT_GE(reads[j].size(), 9u);
                EXPECT_EQ(reads[j][6], c.reads[j].blocks);
                EXPECT_EQ(reads[j][7], 0x80);
                EXPECT_EQ(reads[j][8], c.reads[j].area.block);
            }
        }
        EXPECT_EQ(CommandsOf(kCardAuth).size(), c.read_code == kAuthRead ? 1u : 0u);
        EXPECT_TRUE(CommandsOf(kRfOff).empty());
        // The card stays: not reported again.
        EXPECT_EQ(Tick(), 0);
        EXPECT_EQ(Codes(), Bytes{kPoll});
    }
}

TEST_P(FelicaRead, ZeroLengthFirstAreaStopsTheReadAndNeverReportsTheCard) {
    for (std::uint16_t service : {kPlain1, kSecured}) {
        SCOPED_TRACE(service);
        Decode({{.kind = kBlockArea, .system_code = kSystem, .service_code = service,
                 .areas = {{1, 0, 0}, {2, 0, 8}}}},
               1, kKeyId);
        for (int tick = 0; tick < 2; ++tick) {
            EXPECT_EQ(Tick(), 0);
            EXPECT_TRUE(CommandsOf(kPlainRead).empty());
            EXPECT_TRUE(CommandsOf(kAuthRead).empty());
            EXPECT_EQ(CommandsOf(kPoll).size(), 1u);
        }
    }
}

// ---- SSFC ----

struct SsfcCase {
    const char* name;
    std::uint16_t service;
    std::int32_t reader_type;
    Area areas[2];
    bool reads;  // the S read is made
    std::size_t clipped_to = 64;  // the second area's bytes inside the three blocks
};

TEST_P(FelicaRead, SsfcReadsOnEditionTwoOrAfterCardAuthentication) {
    const SsfcCase cases[] = {
        {"plain service, edition 2", kSsfcPlain, kEdition2, {{1, 0, 14}, {2, 0, 10}}, true},
        {"plain service, edition 1", kSsfcPlain, kEdition1, {{1, 0, 14}, {2, 0, 10}}, false},
        {"plain service, no edition read", kSsfcPlain, kNotDetected, {{1, 0, 14}, {2, 0, 10}}, false},
        {"secured service, edition 1", kSsfcSecured, kEdition1, {{1, 0, 15}, {2, 0, 10}}, true},
        {"secured service, edition 2", kSsfcSecured, kEdition2, {{1, 0, 14}, {2, 0, 10}}, true},
        {"both areas also when the first is empty", kSsfcPlain, kEdition2, {{0, 0, 0}, {0, 4, 6}}, true},
        {"an area past the three blocks yields the bytes inside", kSsfcPlain, kEdition2,
         {{0, 0, 2}, {2, 8, 14}}, true, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine_.FelicaPresent = false;
        Decode({{.kind = kSsfc, .system_code = kSystem, .service_code = c.service,
                 .areas = {c.areas[0], c.areas[1]}}},
               1, kKeyId);
        const auto blocks = BlocksOf(card_, c.service);
        Bytes expected = Slice(blocks, c.areas[0].block, c.areas[0].start, c.areas[0].length);
        Bytes second = Slice(blocks, c.areas[1].block, c.areas[1].start, c.areas[1].length);
        second.resize(std::min(second.size(), c.clipped_to));
        expected.insert(expected.end(), second.begin(), second.end());

        const std::int32_t first = Tick(c.reader_type);
        const bool secured = c.service == kSsfcSecured;
        EXPECT_EQ(CommandsOf(kCardAuth).size(), secured ? 1u : 0u);
        const auto sReads = CommandsOf(kSRead);
        ASSERT_EQ(sReads.size(), c.reads ? 1u : 0u);
        if (c.reads) {
            // [L][26][IDm][1][service LE][3]
            ASSERT_GE(sReads[0].size(), 14u);
            EXPECT_EQ(sReads[0][11] | sReads[0][12] << 8, c.service);
            EXPECT_EQ(sReads[0][13], 3);
            EXPECT_EQ(first, static_cast<std::int32_t>(expected.size()));
            EXPECT_EQ(Data(), expected);
            EXPECT_EQ(Tick(c.reader_type), 0);  // reported once
        } else {
            // Nothing to report, on every tick.
            EXPECT_EQ(first, 0);
            EXPECT_EQ(Tick(c.reader_type), 0);
            EXPECT_TRUE(CommandsOf(kSRead).empty());
            EXPECT_EQ(Codes(), Bytes{kPoll});
        }
    }
}

// ---- failures: the card is read again on the next tick ----

TEST_P(FelicaRead, FailedCardAuthenticationTurnsTheFieldOffAndReadsAgainNextTick) {
    constexpr std::int32_t kLaterKeyId = 0x21;  // not yet in the reader's key store
    Decode({{.kind = kBlockArea, .system_code = kSystem, .service_code = kSecured,
             .areas = {{0, 0, 16}, {}}}},
           1, kLaterKeyId);
    for (int tick = 0; tick < 2; ++tick) {
        EXPECT_EQ(Tick(), tapwedge::kReadCardAuthFailed);
        EXPECT_EQ(Codes(), (Bytes{kPoll, kCardAuth, kRfOff}));
        EXPECT_EQ(data_.Length, 0);
    }
    RegisterCardKey(sim(), kLaterKeyId);
    EXPECT_EQ(Tick(), 16);
    EXPECT_EQ(Data(), Slice(BlocksOf(card_, kSecured), 0, 0, 16));
}

struct ReadFailureCase {
    const char* name;
    std::uint16_t kind, service;
    std::uint8_t code;  // the read that fails
    Bytes reply;        // its reply
    std::int32_t result;
};

TEST_P(FelicaRead, FailedBlockReadsReportNothingAndReadAgainNextTick) {
    const ReadFailureCase cases[] = {
        {"plain read refused by the card", kBlockArea, kPlain1, kPlainRead, {0x07, 0x01, 0xA8}, 0},
        {"plain read, reader failure", kBlockArea, kPlain1, kPlainRead, {0x7E}, 0},
        {"secured read refused by the card", kBlockArea, kSecured, kAuthRead, {0x15, 0x01, 0xA8}, 0},
        {"S read refused by the card", kSsfc, kSsfcPlain, kSRead, {0x27, 0x01, 0xA6},
         static_cast<std::int32_t>(TW_ERR_CARD_STATUS + 0x01A6) | CARD_ERROR_FLAG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine_.FelicaPresent = false;
        Decode({{.kind = c.kind, .system_code = kSystem, .service_code = c.service,
                 .areas = {{1, 2, 12}, {}}}},
               1, kKeyId);
        sim().QueueReply(c.code, c.reply);
        EXPECT_EQ(Tick(kEdition2), c.result);
        EXPECT_EQ(data_.Length, 0);
        EXPECT_EQ(CommandsOf(c.code).size(), 1u);
        // The next tick reads the card again, and this time it answers.
        const Bytes expected = Slice(BlocksOf(card_, c.service), 1, 2, 12);
        EXPECT_EQ(Tick(kEdition2), 12);
        EXPECT_EQ(Data(), expected);
        EXPECT_EQ(Tick(kEdition2), 0);
    }
}

// ---- repeat suppression and several entries ----

TEST_P(FelicaRead, ACardIsReportedOnceAndAgainAfterOneTickAway) {
    Decode({{.kind = kIdOnly, .system_code = kSystem}});
    EXPECT_EQ(Tick(), 8);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(Tick(), 0);
    sim().TakeAway(handle_);
    EXPECT_EQ(Tick(), static_cast<std::int32_t>(TW_ERR_NO_CARD | CARD_ERROR_FLAG));
    sim().PutBack(handle_);
    EXPECT_EQ(Tick(), 8);
    EXPECT_EQ(Id(), IdmOf(card_));
    EXPECT_EQ(Tick(), 0);
}

TEST_P(FelicaRead, AnotherCardIsReportedAtOnce) {
    Decode({{.kind = kIdOnly, .system_code = kSystem}});
    EXPECT_EQ(Tick(), 8);
    sim().TakeAway(handle_);
    FelicaCard other = Card();
    other.idm[7] ^= 0x01;
    sim().AddCard(other);
    EXPECT_EQ(Tick(), 8);
    EXPECT_EQ(Id(), IdmOf(other));
}

TEST_P(FelicaRead, OnlyTheSecondEntryMatchingIsReportedOnEveryTick) {
    // The first entry's failed polling clears the present flag before the second polls.
    Decode({{.kind = kIdOnly, .system_code = 0x8008}, {.kind = kIdOnly, .system_code = kSystem}});
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_EQ(Tick(), 8);
        EXPECT_EQ(engine_.MatchedEntry, 1);
        EXPECT_EQ(Id(), IdmOf(card_));
        EXPECT_EQ(Codes(), (Bytes{kPoll, kPoll}));
    }
}

TEST_P(FelicaRead, TheLastEntryInUseHasTheWord) {
    // Entry 0 (Mifare) finds no card, entry 1 is not in use (kind bits 0x80), entry 2 reads.
    Decode({{.kind = 0x9240}, {.kind = 0x9280, .system_code = kSystem},
            {.kind = kIdOnly, .system_code = kSystem}});
    EXPECT_EQ(Tick(), 8);
    EXPECT_EQ(engine_.MatchedEntry, 2);
    EXPECT_EQ(Codes(), (Bytes{0xC0, kPoll}));
    // Entry 0's error is replaced by entry 2's "same card".
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(engine_.MatchedEntry, 0);
    // With the FeliCa entry first, its "same card" is replaced by entry 2's error.
    Decode({{.kind = kIdOnly, .system_code = kSystem}, {}, {.kind = 0x9240}});
    EXPECT_EQ(Tick(), static_cast<std::int32_t>(TW_ERR_NO_CARD | CARD_ERROR_FLAG));
}

TEST_P(FelicaRead, NoEntryInUseSendsNothing) {
    Decode({});
    EXPECT_EQ(Tick(), 0);
    EXPECT_TRUE(reader().Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Usb, FelicaRead, testing::Values(Transport::Usb), card_rig::TransportName);

}  // namespace
}  // namespace engine_rig
