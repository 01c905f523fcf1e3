// Mifare path of the card-read engine against the simulator's cards: expected UID sizes, the
// UID order, sector authentication with the second sector's key A, refused sector trailers,
// SLE55R pages and the halt.
#include <gtest/gtest.h>
#include <tagwire/tagwire.h>

#include <algorithm>

#include "engine_rig.h"

namespace engine_rig {
namespace {

using tapwedge::CARD_ERROR_FLAG;
using tapwedge::sim::MifareCard;

constexpr std::uint8_t kSearch = 0xC0, kAuth = 0xC2, kHalt = 0xC4, kRead = 0xC6, kPage = 0xDA,
                       kRfOff = 0x54;

// Kind words: in use, hex output code, Mifare; key type and UID size class as given.
constexpr std::uint16_t Kind(int keyType, int uidClass, bool data, bool pages = false) {
    return static_cast<std::uint16_t>(0x9240 | keyType << 4 | uidClass << 1 | (pages ? 0x08 : 0) |
                                      (data ? 0x01 : 0));
}
constexpr int kKeyA = 0, kKeyB = 1, kNoAuth = 2;

const Bytes kUid4{0x04, 0xA1, 0xB2, 0xC3};
const Bytes kUid7{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const Bytes kUid10{0x04, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9};

// A card whose every data byte tells its block and position.
MifareCard Card(Bytes uid, std::size_t blocks = 256, bool needsAuthentication = true) {
    MifareCard card = MifareCard::Classic(std::move(uid), blocks);
    for (std::size_t b = 1; b < blocks; ++b) {
        if (MifareCard::IsTrailer(b)) continue;
        for (std::size_t i = 0; i < 16; ++i) card.blocks[b][i] = static_cast<std::uint8_t>(b * 7 + i);
    }
    card.needs_authentication = needsAuthentication;
    return card;
}

Bytes BlockOf(const MifareCard& card, std::size_t block) {
    Bytes b(card.blocks[block].begin(), card.blocks[block].end());
    if (MifareCard::IsTrailer(block)) std::fill_n(b.begin(), 6, 0x00);  // key A never reads back
    return b;
}

Bytes Part(const Bytes& bytes, std::size_t start, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), start + length)));
}

Bytes Reversed(Bytes b) {
    std::reverse(b.begin(), b.end());
    return b;
}

class MifareRead : public EngineTest {};

struct UidSizeCase {
    Bytes uid;
    int uid_class;  // expected size of the entry; 0 = any
    bool accepted;
};

TEST_P(MifareRead, UidSizeAgainstTheExpectedSize) {
    const UidSizeCase cases[] = {
        {kUid4, 0, true},  {kUid7, 0, true},  {kUid10, 0, true},
        {kUid4, 1, true},  {kUid7, 1, false}, {kUid10, 1, false},
        {kUid4, 2, false}, {kUid7, 2, true},  {kUid10, 2, false},
        {kUid4, 3, false}, {kUid7, 3, false}, {kUid10, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.uid.size() << "-byte UID, class " << c.uid_class);
        sim().RemoveAllCards();
        const int handle = sim().AddCard(Card(c.uid, 64, false));
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(kNoAuth, c.uid_class, false)}});
        if (c.accepted) {
            EXPECT_EQ(Tick(), static_cast<std::int32_t>(c.uid.size()));
            EXPECT_EQ(Id(), c.uid);
            EXPECT_EQ(Codes(), (Bytes{kSearch, kHalt}));
        } else {
            EXPECT_EQ(Tick(), 0);
            EXPECT_EQ(Codes(), (Bytes{kSearch, kRfOff}));
            // Not reported while it stays: the field came back on, the card answers, and is known.
            EXPECT_EQ(Tick(), 0);
            EXPECT_EQ(Codes(), (Bytes{kSearch}));
            // Away for a tick, then back: judged again.
            sim().TakeAway(handle);
            EXPECT_LT(Tick(), 0);
            sim().PutBack(handle);
            EXPECT_EQ(Tick(), 0);
            EXPECT_EQ(Codes(), (Bytes{kSearch, kRfOff}));
        }
    }
}

TEST_P(MifareRead, ReversedUidOrderIsWhatIsReportedAndRecognised) {
    for (const Bytes& uid : {kUid4, kUid7, kUid10}) {
        SCOPED_TRACE(uid.size());
        sim().RemoveAllCards();
        // Not halted, so that the card answers the next search: the SLE55R page read.
        MifareCard card = MifareCard::Sle55r(uid, Bytes(64, 0x3C));
        const int handle = sim().AddCard(card);
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(kNoAuth, 0, true, true), .areas = {{0, 0, 4}, {}}}}, 0);
        EXPECT_EQ(Tick(), 4);
        EXPECT_EQ(Id(), Reversed(uid));
        EXPECT_EQ(Tick(), 0);  // the same card in its reversed form
        sim().TakeAway(handle);
        EXPECT_LT(Tick(), 0);
        sim().PutBack(handle);
        EXPECT_EQ(Tick(), 4);
        EXPECT_EQ(Id(), Reversed(uid));
    }
}

struct TwoSectorCase {
    std::uint8_t first, second;
    bool second_authentication;
};

TEST_P(MifareRead, SecondSegmentInAnotherSectorIsAuthenticatedWithKeyA) {
    const TwoSectorCase cases[] = {
        {4, 9, true},      {4, 6, false},     {0x80, 0x85, false}, {0x80, 0x90, true},
        {0x7C, 0x80, true}, {0x90, 0x70, true}, {0x81, 0x8E, false},
    };
    const MifareCard card = Card(kUid4);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "blocks " << int{c.first} << ", " << int{c.second});
        sim().RemoveAllCards();
        sim().AddCard(card);
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(kKeyB, 0, true), .areas = {{c.first, 2, 5}, {c.second, 0, 16}}}});
        const Bytes expected =
            card_rig::Cat({Part(BlockOf(card, c.first), 2, 5), BlockOf(card, c.second)});
        EXPECT_EQ(Tick(), 21);
        EXPECT_EQ(Data(), expected);
        const auto auths = CommandsOf(kAuth);
        ASSERT_EQ(auths.size(), c.second_authentication ? 2u : 1u);
        EXPECT_EQ(auths[0], (Bytes{5, kAuth, kKeyB, 0, c.first}));
        if (c.second_authentication) {
            EXPECT_EQ(auths[1], (Bytes{5, kAuth, kKeyA, 0, c.second}));
        }
        const Bytes codes = Codes();
        EXPECT_EQ(codes.back(), kHalt);
    }
}

struct TrailerCase {
    std::uint8_t first, second;  // second 0 length when 0
    int key_type;
    bool refused;
};

TEST_P(MifareRead, SectorTrailersAreRefusedWithAuthenticationAndReadWithout) {
    const TrailerCase cases[] = {
        {3, 0, kKeyA, true},    {7, 0, kKeyA, true},    {0x8F, 0, kKeyB, true}, {0xFF, 0, kKeyA, true},
        {4, 7, kKeyA, true},  // a trailer as second segment drops the first one's bytes
        {3, 0, kNoAuth, false}, {7, 0, kNoAuth, false}, {0x8F, 0, kNoAuth, false},
        {0xFF, 0, kNoAuth, false}, {4, 7, kNoAuth, false},
        {2, 0, kKeyA, false},   {0x8E, 0, kKeyA, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "blocks " << int{c.first} << ", " << int{c.second}
                                        << " key type " << c.key_type);
        sim().RemoveAllCards();
        const MifareCard card = Card(kUid4, 256, c.key_type != kNoAuth);
        sim().AddCard(card);
        engine_.MifarePresent = false;
        const std::uint8_t secondLength = c.second != 0 ? 16 : 0;
        Decode({{.kind = Kind(c.key_type, 0, true),
                 .areas = {{c.first, 0, 16}, {c.second, 0, secondLength}}}});
        const std::int32_t result = Tick();
        const Bytes codes = Codes();
        EXPECT_EQ(codes.back(), kHalt);
        if (c.refused) {
            EXPECT_EQ(result, tapwedge::kReadTrailerRefused);
            EXPECT_EQ(data_.Length, 0);
            for (const Bytes& read : CommandsOf(kRead)) {
                EXPECT_FALSE(MifareCard::IsTrailer(read[2]));
            }
        } else {
            Bytes expected = BlockOf(card, c.first);
            if (c.second != 0) {
                const Bytes second = BlockOf(card, c.second);
                expected.insert(expected.end(), second.begin(), second.end());
            }
            EXPECT_EQ(result, static_cast<std::int32_t>(expected.size()));
            EXPECT_EQ(Data(), expected);
            EXPECT_EQ(CommandsOf(kAuth).size(), c.key_type == kNoAuth ? 0u : 1u);
        }
    }
}

TEST_P(MifareRead, HaltFollowsBlockReadsAlsoWhenTheyFail) {
    struct Case {
        const char* name;
        int key_type;
        bool needs_authentication;
        std::uint8_t block;
        std::int32_t result;
    } cases[] = {
        {"read", kKeyA, true, 5, 16},
        {"sector not authenticated", kNoAuth, true, 5,
         static_cast<std::int32_t>((TW_ERR_CARD_STATUS + 0x03) | CARD_ERROR_FLAG)},
        {"block out of range", kNoAuth, false, 0x50,
         static_cast<std::int32_t>((TW_ERR_CARD_STATUS + 0x04) | CARD_ERROR_FLAG)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        sim().AddCard(Card(kUid7, 64, c.needs_authentication));
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(c.key_type, 2, true), .areas = {{c.block, 0, 16}, {}}}});
        EXPECT_EQ(Tick(), c.result);
        const Bytes codes = Codes();
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.back(), kHalt);
        EXPECT_EQ(CommandsOf(kRead).size(), 1u);
        EXPECT_EQ(Id(), kUid7);
        EXPECT_EQ(data_.Length, c.result > 0 ? c.result : 0);
    }
}

TEST_P(MifareRead, FailedSectorAuthenticationTurnsTheFieldOffAndKeepsTheCard) {
    MifareCard card = Card(kUid4, 64);
    card.blocks[7][10] ^= 0x01;  // key B of sector 1 is not the reader's
    const int handle = sim().AddCard(card);
    Decode({{.kind = Kind(kKeyB, 1, true), .areas = {{4, 0, 16}, {}}}});
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(Codes(), (Bytes{kSearch, kAuth, kRfOff}));
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(Codes(), (Bytes{kSearch}));
    sim().TakeAway(handle);
    EXPECT_LT(Tick(), 0);
}

TEST_P(MifareRead, Sle55rPagesAreReadWithoutHalt) {
    Bytes memory(64);
    for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint8_t>(0x40 + i);
    const MifareCard card = MifareCard::Sle55r(kUid7, memory);  // 8-byte pages, 32 bytes a read
    struct Case {
        const char* name;
        Area areas[2];
        std::int32_t result;
    } cases[] = {
        {"one page segment", {{1, 3, 9}, {}}, 9},
        {"two segments", {{0, 0, 16}, {3, 15, 12}}, 28},
        {"a reply too short for the segment", {{6, 2, 15}, {}}, CARD_ERROR_FLAG},
        // The pass-through reports no status: the refusal is a reply without data.
        {"a page beyond the memory", {{0, 0, 4}, {9, 0, 4}}, CARD_ERROR_FLAG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        sim().AddCard(card);
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(kNoAuth, 2, true, true), .areas = {c.areas[0], c.areas[1]}}});
        EXPECT_EQ(Tick(), c.result);
        const auto pages = CommandsOf(kPage);
        ASSERT_FALSE(pages.empty());
        EXPECT_EQ(pages[0], (Bytes{3, kPage, c.areas[0].block}));
        EXPECT_TRUE(CommandsOf(kHalt).empty());
        EXPECT_TRUE(CommandsOf(kAuth).empty());
        if (c.result > 0) {
            Bytes expected;
            for (const Area& a : c.areas) {
                if (a.length == 0) break;
                const Bytes part = Part(memory, a.block * 8u + a.start, a.length);
                expected.insert(expected.end(), part.begin(), part.end());
            }
            EXPECT_EQ(Data(), expected);
            EXPECT_EQ(pages.size(), c.areas[1].length != 0 ? 2u : 1u);
        }
        // Not halted: the card answers the next search and is known.
        EXPECT_EQ(Tick(), 0);
        EXPECT_EQ(Codes(), (Bytes{kSearch}));
    }
}

TEST_P(MifareRead, AnotherCardIsReportedAtOnceAlsoWhenItsUidStartsLikeTheLast) {
    // Between two ticks the 7-byte card gives way to a 4-byte card with the same first bytes.
    const Bytes shorter(kUid7.begin(), kUid7.begin() + 4);
    for (std::uint8_t order : {1, 0}) {
        SCOPED_TRACE(int{order});
        sim().RemoveAllCards();
        engine_.MifarePresent = false;
        Decode({{.kind = Kind(kNoAuth, 0, true, true), .areas = {{0, 0, 4}, {}}}}, order);
        const int first = sim().AddCard(MifareCard::Sle55r(kUid7, Bytes(32, 0x11)));
        EXPECT_EQ(Tick(), 4);
        sim().TakeAway(first);
        // Reversed, the 4-byte UID is the last four of the 7-byte one.
        const Bytes next = order == 1 ? shorter : Reversed(Part(Reversed(kUid7), 0, 4));
        sim().AddCard(MifareCard::Sle55r(next, Bytes(32, 0x22)));
        EXPECT_EQ(Tick(), 4);
        EXPECT_EQ(Data(), Bytes(4, 0x22));
    }
}

INSTANTIATE_TEST_SUITE_P(Usb, MifareRead, testing::Values(Transport::Usb), card_rig::TransportName);

}  // namespace
}  // namespace engine_rig
