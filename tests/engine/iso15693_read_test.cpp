// ISO15693 path of the card-read engine against the simulator's vicinity cards: the inventory
// with and without AFI, ReadMultipleBlocks and ReadSingleBlock segments, the option flag's
// security byte, stay quiet and the quiet card.
#include <gtest/gtest.h>
#include <tagwire/tagwire.h>

#include <algorithm>

#include "engine_rig.h"

namespace engine_rig {
namespace {

using tapwedge::CARD_ERROR_FLAG;
using tapwedge::sim::Iso15693Card;

constexpr std::uint8_t kPassThrough = 0x4C;
constexpr std::uint16_t kIdOnly = 0x92C0;
constexpr std::uint16_t kBlockArea = 0x92C1;

// Block b holds 0xB0 + b, then counting bytes.
Iso15693Card Card(std::size_t blockSize = 4, std::uint8_t afi = 0) {
    Iso15693Card card;
    card.afi = afi;
    card.block_size = blockSize;
    for (std::size_t b = 0; b < 16; ++b) {
        Bytes block(blockSize);
        block[0] = static_cast<std::uint8_t>(0xB0 + b);
        for (std::size_t i = 1; i < blockSize; ++i) block[i] = static_cast<std::uint8_t>(b * 16 + i);
        card.blocks.push_back(block);
        card.security.push_back(static_cast<std::uint8_t>(0x5E));
    }
    return card;
}

Bytes UidOf(const Iso15693Card& card) { return Bytes(card.uid.begin(), card.uid.end()); }

class Iso15693Read : public EngineTest {
protected:
    // The pass-through requests of the last tick, whole.
    std::vector<Bytes> Requests() { return CommandsOf(kPassThrough); }
    // Their ISO 15693-3 frames.
    std::vector<Bytes> Frames() {
        std::vector<Bytes> frames;
        for (const Bytes& r : Requests()) frames.emplace_back(r.begin() + 4, r.end());
        return frames;
    }
    static Bytes StayQuiet(const Iso15693Card& card) { return card_rig::Cat({{0x22, 0x02}, UidOf(card)}); }
};

struct InventoryCase {
    const char* name;
    std::uint8_t entry_afi, card_afi;
    Bytes request;  // the whole pass-through request
    bool answered;
};

TEST_P(Iso15693Read, InventoryRequestWithAndWithoutAfi) {
    const InventoryCase cases[] = {
        {"no AFI", 0x00, 0x07, {0x07, 0x4C, 0x00, 0x03, 0x26, 0x01, 0x00}, true},
        {"AFI 07", 0x07, 0x07, {0x08, 0x4C, 0x00, 0x04, 0x36, 0x01, 0x07, 0x00}, true},
        {"AFI of another family", 0x30, 0x07, {0x08, 0x4C, 0x00, 0x04, 0x36, 0x01, 0x30, 0x00}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        const Iso15693Card card = Card(4, c.card_afi);
        sim().AddCard(card);
        engine_.IsoPresent = false;
        Decode({{.kind = kIdOnly, .afi = c.entry_afi}});
        const std::int32_t result = Tick();
        const auto requests = Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests[0], c.request);
        if (c.answered) {
            EXPECT_EQ(result, 8);
            EXPECT_EQ(Id(), UidOf(card));
            EXPECT_EQ(engine_.InventoryData[0], card.dsfid);
        } else {
            EXPECT_EQ(result, tapwedge::kReadIsoNoCard);
            EXPECT_EQ(requests.size(), 1u);
            EXPECT_EQ(id_.Length, 0);
        }
    }
}

TEST_P(Iso15693Read, IdOnlySendsStayQuietAndTheQuietCardIsNotSeenAgain) {
    for (std::uint8_t order : {1, 0}) {
        SCOPED_TRACE(int{order});
        sim().RemoveAllCards();
        const Iso15693Card card = Card();
        const int handle = sim().AddCard(card);
        engine_.IsoPresent = false;
        Decode({{.kind = kIdOnly}}, order);
        Bytes uid = UidOf(card);
        if (order == 0) std::reverse(uid.begin(), uid.end());

        EXPECT_EQ(Tick(), 8);
        EXPECT_EQ(Id(), uid);
        EXPECT_EQ(data_.Length, 0);
        const auto frames = Frames();
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[1], StayQuiet(card));  // addressed to the card's own byte order
        EXPECT_EQ(Bytes(engine_.LastIsoUid, engine_.LastIsoUid + 8), UidOf(card));

        // Quiet, the card answers no inventory: nothing is reported and the flag goes.
        for (int tick = 0; tick < 2; ++tick) {
            EXPECT_EQ(Tick(), tapwedge::kReadIsoNoCard);
            EXPECT_FALSE(engine_.IsoPresent);
            EXPECT_EQ(Frames().size(), 1u);
        }
        // Taken away and put back, it answers and is reported again.
        sim().TakeAway(handle);
        sim().PutBack(handle);
        EXPECT_EQ(Tick(), 8);
        EXPECT_EQ(Id(), uid);
    }
}

struct SegmentCase {
    const char* name;
    std::uint8_t block_config;
    std::size_t block_size;
    Area areas[2];
    std::vector<Bytes> reads;  // the read frames, in order
};

TEST_P(Iso15693Read, SegmentsByMultipleAndSingleBlockReads) {
    const SegmentCase cases[] = {
        {"multiple blocks: start 2, length 6 from block 1", 0x00, 4, {{1, 2, 6}, {}},
         {{0x02, 0x23, 0x01, 0x01}}},
        {"multiple blocks ending on a block boundary", 0x00, 4, {{3, 0, 8}, {}},
         {{0x02, 0x23, 0x03, 0x01}}},
        {"multiple blocks: the start reaches into the next blocks", 0x00, 4, {{0, 9, 2}, {}},
         {{0x02, 0x23, 0x00, 0x02}}},
        {"single blocks: start 0, length 10 from block 5", 0x80, 4, {{5, 0, 10}, {}},
         {{0x02, 0x20, 0x05}, {0x02, 0x20, 0x06}, {0x02, 0x20, 0x07}}},
        {"single blocks with the option flag skip the security byte", 0x40, 4, {{2, 1, 6}, {}},
         {{0x42, 0x20, 0x02}, {0x42, 0x20, 0x03}}},
        {"8-byte blocks, two segments", 0x01, 8, {{1, 4, 4}, {2, 0, 12}},
         {{0x02, 0x23, 0x01, 0x00}, {0x02, 0x23, 0x02, 0x01}}},
        {"8-byte single blocks with the option flag", 0x41, 8, {{6, 7, 3}, {}},
         {{0x42, 0x20, 0x06}, {0x42, 0x20, 0x07}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        const Iso15693Card card = Card(c.block_size);
        sim().AddCard(card);
        engine_.IsoPresent = false;
        Decode({{.kind = kBlockArea, .block_config = c.block_config, .areas = {c.areas[0], c.areas[1]}}});
        Bytes expected;
        for (const Area& a : c.areas) {
            const Bytes part = Slice(card.blocks, a.block, a.start, a.length);
            expected.insert(expected.end(), part.begin(), part.end());
        }
        EXPECT_EQ(Tick(), static_cast<std::int32_t>(expected.size()));
        EXPECT_EQ(Data(), expected);
        EXPECT_EQ(Id(), UidOf(card));
        std::vector<Bytes> frames = Frames();
        ASSERT_EQ(frames.size(), c.reads.size() + 2);  // inventory, reads, stay quiet
        EXPECT_EQ(frames.back(), StayQuiet(card));
        EXPECT_EQ(std::vector<Bytes>(frames.begin() + 1, frames.end() - 1), c.reads);
    }
}

TEST_P(Iso15693Read, FailedSegmentReadStillSendsStayQuiet) {
    struct Case {
        const char* name;
        std::uint8_t block_config;
        Area areas[2];
    } cases[] = {
        {"block beyond the card", 0x00, {{15, 0, 8}, {}}},
        {"second segment beyond the card", 0x80, {{0, 0, 4}, {20, 0, 4}}},
        {"single block start beyond the block", 0x80, {{0, 6, 2}, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().RemoveAllCards();
        const Iso15693Card card = Card();
        sim().AddCard(card);
        engine_.IsoPresent = false;
        Decode({{.kind = kBlockArea, .block_config = c.block_config, .areas = {c.areas[0], c.areas[1]}}});
        EXPECT_EQ(Tick(), tapwedge::kReadIsoSegmentFailed);
        EXPECT_EQ(data_.Length, 0);
        EXPECT_EQ(Frames().back(), StayQuiet(card));
        EXPECT_TRUE(engine_.IsoPresent);
        EXPECT_EQ(Tick(), tapwedge::kReadIsoNoCard);  // quiet now
    }
}

TEST_P(Iso15693Read, ReaderStatusOfThePassThroughIsPassedUp) {
    Decode({{.kind = kIdOnly}});
    sim().AddCard(Card());
    sim().QueueReply(kPassThrough, {0x4D, 0x01, 0x23, 0x00});
    EXPECT_EQ(Tick(), static_cast<std::int32_t>(0x0123 | CARD_ERROR_FLAG));
    EXPECT_FALSE(engine_.IsoPresent);
    sim().QueueReply(kPassThrough, {0x4D, 0x00});  // shorter than a pass-through reply
    EXPECT_EQ(Tick(), tapwedge::kReadIsoNoCard);
    EXPECT_EQ(Tick(), 8);
}

INSTANTIATE_TEST_SUITE_P(Usb, Iso15693Read, testing::Values(Transport::Usb), card_rig::TransportName);

}  // namespace
}  // namespace engine_rig
