// Mifare commands over the simulator's cards: the card search and its record, sector
// authentication with keys A and B, block and value operations, halt, the reader's key slots,
// the card status forms, and the bounds of the copies out of a reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include "card_rig.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

using tapwedge::sim::Block16;
using tapwedge::sim::MifareCard;
using tapwedge::sim::MifareValueBlock;

const Bytes kUid4{0x04, 0xA1, 0xB2, 0xC3};
const Bytes kUid7{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const Bytes kUid10{0x08, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9};
const Bytes kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
const Bytes kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};

Bytes Record(const TwMifCard& card) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&card);
    return Bytes(p, p + sizeof card);
}

// The record as the search should leave it: size class, information, the UID's bytes, and
// 0xEE (the caller's former contents) behind them.
Bytes ExpectedRecord(std::int32_t sizeClass, const Bytes& info, const Bytes& uid) {
    TwMifCard card;
    std::memset(&card, 0xEE, sizeof card);
    card.UidSize = sizeClass;
    std::memcpy(card.Info, info.data(), 3);
    std::copy_n(uid.begin(), std::min<std::size_t>(uid.size(), sizeof card.Uid), card.Uid);
    return Record(card);
}

Block16 Block(std::uint8_t first) {
    Block16 b;
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

Bytes B(const Block16& b) { return Bytes(b.begin(), b.end()); }

class MifareTest : public CardTest {
protected:
    // A 1K card whose sector 1 (blocks 4..7) has the keys A0.. and B0.., block 4 plain data,
    // blocks 5 and 6 value blocks (100 and 0).
    int AddClassic(const Bytes& uid) {
        MifareCard card = MifareCard::Classic(uid);
        std::copy(kKeyA.begin(), kKeyA.end(), card.blocks[7].begin());
        std::copy(kKeyB.begin(), kKeyB.end(), card.blocks[7].begin() + 10);
        card.blocks[4] = Block(0x40);
        card.blocks[5] = MifareValueBlock(100, 5);
        card.blocks[6] = MifareValueBlock(0, 6);
        return sim().AddCard(card);
    }

    // Selects the card (any UID) and opens sector 1 with key A from reader slot 1.
    void OpenSectorOne() {
        TwMifCard card{};
        ASSERT_EQ(MifFindCard(&card, 0), TW_OK);
        ASSERT_EQ(MifSetCardKey(1, kKeyA.data(), kKeyB.data()), TW_OK);
        ASSERT_EQ(MifCardAuthentication(0, 1, 4), TW_OK);
        sim().ClearRecord();
    }
};

// ---- the card search ----

struct SearchRequestCase {
    const char* name;
    std::int32_t uidSize;
    std::int32_t wait;
    Bytes request;
};

TEST_P(MifareTest, SearchRequestBytes) {
    const SearchRequestCase cases[] = {
        {"any card", 0, 0, {4, 0xC0, 0x00, 0x00}},
        {"four-byte UID", 1, 0, {8, 0xC0, 0x04, 0x11, 0x22, 0x33, 0x44, 0x00}},
        {"seven-byte UID", 2, 0, {11, 0xC0, 0x07, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00}},
        {"ten-byte UID", 3, 0,
         {14, 0xC0, 0x0A, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x00}},
        {"size class 5 is sent as any", 5, 0, {4, 0xC0, 0x00, 0x00}},
        {"negative size class is sent as any", -1, 0, {4, 0xC0, 0x00, 0x00}},
        {"wait byte", 0, 1, {4, 0xC0, 0x00, 0x01}},
        {"only the low byte of wait", 1, 0x1FF, {8, 0xC0, 0x04, 0x11, 0x22, 0x33, 0x44, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0xC0, Cat({{0xC1, 0x00, 0x04, 0x08, 0x04}, kUid4}));
        TwMifCard card;
        const Bytes uid{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
        card.UidSize = c.uidSize;
        std::memcpy(card.Uid, uid.data(), uid.size());
        EXPECT_EQ(MifFindCard(&card, c.wait), TW_OK);
        EXPECT_EQ(reader().OnlyCommand(), c.request);
    }
}

struct FieldSearchCase {
    const char* name;
    std::int32_t uidSize;
    Bytes uid;           // looked for
    Bytes info, found;   // of the card found
    std::int32_t sizeClass;
};

TEST_P(MifareTest, SearchReportsTheCardsOfEachUidSize) {
    const Bytes info4{0x00, 0x04, 0x08}, info7{0x00, 0x44, 0x18}, info10{0x01, 0x48, 0x20};
    MifareCard c4 = MifareCard::Classic(kUid4);
    MifareCard c7 = MifareCard::Classic(kUid7, 256);
    MifareCard c10 = MifareCard::Classic(kUid10);
    std::copy(info4.begin(), info4.end(), c4.info.begin());
    std::copy(info7.begin(), info7.end(), c7.info.begin());
    std::copy(info10.begin(), info10.end(), c10.info.begin());
    sim().AddCard(c4);
    sim().AddCard(c7);
    sim().AddCard(c10);

    const FieldSearchCase cases[] = {
        {"any: the first card", 0, {}, info4, kUid4, 1},
        {"four-byte UID", 1, kUid4, info4, kUid4, 1},
        {"seven-byte UID", 2, kUid7, info7, kUid7, 2},
        {"ten-byte UID", 3, kUid10, info10, kUid10, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Guarded<TwMifCard> card;
        card.record.UidSize = c.uidSize;
        std::copy(c.uid.begin(), c.uid.end(), card.record.Uid);
        ASSERT_EQ(MifFindCard(&card.record, 0), TW_OK);
        EXPECT_EQ(Record(card.record), ExpectedRecord(c.sizeClass, c.info, c.found));
        EXPECT_TRUE(card.GuardIntact());
    }

    // A UID that is not in the field.
    Guarded<TwMifCard> card;
    card.record.UidSize = 1;
    std::memcpy(card.record.Uid, kUid7.data(), 4);
    const Guarded<TwMifCard> before = card;
    EXPECT_EQ(MifFindCard(&card.record, 0), TW_ERR_NO_CARD);
    EXPECT_EQ(std::memcmp(&card, &before, sizeof card), 0);
}

struct SearchReplyCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
    Bytes record;  // empty: untouched
};

TEST_P(MifareTest, SearchRecordIsBoundedByTheReplyAndTheRecord) {
    const Bytes info{0x00, 0x04, 0x08};
    const Bytes uid15{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
                      0x1C, 0x1D, 0x1E};
    const SearchReplyCase cases[] = {
        {"seven-byte UID keeps Uid 7..9", Cat({{0xC1}, info, {7}, kUid7}), TW_OK,
         ExpectedRecord(2, info, kUid7)},
        {"UID length 15: ten bytes kept", Cat({{0xC1}, info, {15}, uid15}), TW_OK,
         ExpectedRecord(0, info, uid15)},
        {"length byte 0x17: seven bytes, no size class", Cat({{0xC1}, info, {0x17}, kUid7}), TW_OK,
         ExpectedRecord(0, info, kUid7)},
        {"UID cut short by the reply", Cat({{0xC1}, info, {7}, kUid4}), TW_OK,
         ExpectedRecord(2, info, kUid4)},
        {"UID length 0", Cat({{0xC1}, info, {0}, {0x55}}), TW_OK, ExpectedRecord(0, info, {})},
        {"reply filling the working buffer", Cat({{0xC1}, info, {10}, kUid10, Fill(16, 0x55)}),
         TW_OK, ExpectedRecord(3, info, kUid10)},
        {"longer than the working buffer", Cat({{0xC1}, info, {10}, kUid10, Fill(17, 0x55)}),
         TW_ERR_BAD_REPLY, {}},
        {"no card", {0x7E}, TW_ERR_NO_CARD, {}},
        {"long no-card reply", Cat({{0x7E}, Fill(40, 0)}), TW_ERR_BAD_REPLY, {}},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED, {}},
        {"no UID byte", Cat({{0xC1}, info, {4}}), TW_ERR_SHORT_REPLY, {}},
        {"wrong code", Cat({{0xC3}, info, {4}, kUid4}), TW_ERR_BAD_REPLY, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0xC0, c.reply);
        Guarded<TwMifCard> card;
        EXPECT_EQ(MifFindCard(&card.record, 0), c.status);
        if (c.record.empty()) {
            EXPECT_TRUE(card.Untouched());
        } else {
            EXPECT_EQ(Record(card.record), c.record);
            EXPECT_TRUE(card.GuardIntact());
        }
    }
}

// ---- authentication and the reader's key slots ----

struct AuthCase {
    const char* name;
    std::uint8_t keyType, keyNumber, block;
    std::int32_t status;      // of the authentication
    std::int32_t readStatus;  // of reading `block` afterwards
};

TEST_P(MifareTest, SectorAuthenticationWithKeysAAndB) {
    AddClassic(kUid4);
    TwMifCard card{};
    ASSERT_EQ(MifFindCard(&card, 0), TW_OK);
    // Slot 0 keeps the transport keys FF..FF of sector 0; slot 1 gets those of sector 1.
    ASSERT_EQ(MifSetCardKey(1, kKeyA.data(), kKeyB.data()), TW_OK);
    const std::int32_t failed = TW_ERR_CARD_STATUS + 0x02;
    const std::int32_t closed = TW_ERR_CARD_STATUS + 0x0003;
    const AuthCase cases[] = {
        {"key A, transport keys", 0, 0, 1, TW_OK, TW_OK},
        {"key B, transport keys", 1, 0, 2, TW_OK, TW_OK},
        {"key A of slot 1", 0, 1, 4, TW_OK, TW_OK},
        {"key B of slot 1", 1, 1, 6, TW_OK, TW_OK},
        {"wrong key A", 0, 0, 5, failed, closed},
        {"wrong key B", 1, 0, 4, failed, closed},
        {"slot 1 on sector 0", 1, 1, 1, failed, closed},
        {"key type 3 is sent unchanged", 3, 1, 4, failed, closed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        EXPECT_EQ(MifCardAuthentication(c.keyType, c.keyNumber, c.block), c.status);
        EXPECT_EQ(reader().OnlyCommand(), (Bytes{5, 0xC2, c.keyType, c.keyNumber, c.block}));
        std::array<std::uint8_t, 16> data;
        data.fill(0xEE);
        EXPECT_EQ(MifRead(c.block, data.data()), c.readStatus);
        if (c.readStatus != TW_OK) {
            EXPECT_EQ(data, (std::array<std::uint8_t, 16>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                                          0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                                          0xEE, 0xEE, 0xEE, 0xEE}));
        }
    }
}

TEST_P(MifareTest, SetCardKeySendsTheSlotAndBothKeys) {
    EXPECT_EQ(MifSetCardKey(2, kKeyA.data(), kKeyB.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{15, 0xD2, 0x02}, kKeyA, kKeyB}));
    EXPECT_EQ(MifSetCardKey(1, nullptr, kKeyB.data()), TW_ERR_PARAM);
    EXPECT_EQ(MifSetCardKey(1, kKeyA.data(), nullptr), TW_ERR_PARAM);
    EXPECT_EQ(reader().Commands().size(), 1u);
}

// ---- blocks ----

TEST_P(MifareTest, ReadAndWriteBlocks) {
    const int handle = AddClassic(kUid4);
    OpenSectorOne();
    const Block16 data = Block(0x90);
    EXPECT_EQ(MifWrite(5, data.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{19, 0xC8, 0x05}, B(data)}));
    EXPECT_EQ(sim().Mifare(handle)->blocks[5], data);

    sim().ClearRecord();
    Guarded<Block16> read;
    EXPECT_EQ(MifRead(5, read.record.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), (Bytes{3, 0xC6, 0x05}));
    EXPECT_EQ(read.record, data);
    EXPECT_TRUE(read.GuardIntact());

    // The trailer reads back without key A.
    EXPECT_EQ(MifRead(7, read.record.data()), TW_OK);
    EXPECT_EQ(B(read.record), Cat({Fill(6, 0), {0xFF, 0x07, 0x80, 0x69}, kKeyB}));

    // Another sector is closed; nothing is read or written there.
    Guarded<Block16> closed;
    EXPECT_EQ(MifRead(8, closed.record.data()), TW_ERR_CARD_STATUS + 0x0003);
    EXPECT_TRUE(closed.Untouched());
    EXPECT_EQ(MifWrite(8, data.data()), TW_ERR_CARD_STATUS + 0x0003);
    EXPECT_EQ(sim().Mifare(handle)->blocks[8], Block16{});
    EXPECT_EQ(MifRead(5, nullptr), TW_ERR_PARAM);
    EXPECT_EQ(MifWrite(5, nullptr), TW_ERR_PARAM);
}

struct ReadCase {
    const char* name;
    Bytes reply;
    std::int32_t status;
};

TEST_P(MifareTest, ReadTakesSixteenBytesOfAWholeBlock) {
    const Block16 data = Block(0x30);
    const ReadCase cases[] = {
        {"a block", Cat({{0xC7, 0x00, 0x00}, B(data)}), TW_OK},
        {"more than a block", Cat({{0xC7, 0x00, 0x00}, B(data), Fill(40, 0x77)}), TW_OK},
        {"one byte short", Cat({{0xC7, 0x00, 0x00}, Bytes(data.begin(), data.end() - 1)}),
         TW_ERR_SHORT_REPLY},
        {"status only", {0xC7, 0x00, 0x00}, TW_ERR_SHORT_REPLY},
        {"status 01 02", Cat({{0xC7, 0x01, 0x02}, B(data)}), TW_ERR_CARD_STATUS + 0x0102},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(0xC6, c.reply);
        Guarded<Block16> read;
        EXPECT_EQ(MifRead(4, read.record.data()), c.status);
        if (c.status == TW_OK) {
            EXPECT_EQ(read.record, data);
            EXPECT_TRUE(read.GuardIntact());
        } else {
            EXPECT_TRUE(read.Untouched());
        }
    }
}

TEST_P(MifareTest, ReadAndWriteWithLength) {
    const int handle = AddClassic(kUid4);
    OpenSectorOne();
    const Bytes five{0x51, 0x52, 0x53, 0x54, 0x55};
    EXPECT_EQ(MifWrite2(5, 5, five.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{9, 0xD8, 0x05, 0x05}, five}));
    Block16 written = MifareValueBlock(100, 5);
    std::copy(five.begin(), five.end(), written.begin());
    EXPECT_EQ(sim().Mifare(handle)->blocks[5], written);

    sim().ClearRecord();
    const Block16 full = Block(0xA0);
    EXPECT_EQ(MifWrite2(6, 16, full.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), Cat({{20, 0xD8, 0x06, 0x10}, B(full)}));
    EXPECT_EQ(sim().Mifare(handle)->blocks[6], full);

    // Twenty bytes from block 5 on: block 5 and the start of block 6.
    sim().ClearRecord();
    Guarded<std::array<std::uint8_t, 32>> read;
    std::int32_t length = 20;
    EXPECT_EQ(MifRead2(5, &length, read.record.data()), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), (Bytes{4, 0xD6, 0x05, 0x14}));
    EXPECT_EQ(length, 20);
    EXPECT_EQ(Bytes(read.record.begin(), read.record.begin() + 20),
              Cat({B(sim().Mifare(handle)->blocks[5]), Bytes(full.begin(), full.begin() + 4)}));
    EXPECT_EQ(read.record[20], 0xEE);
}

TEST_P(MifareTest, WriteWithLengthFoldsTheCountIntoOneToSixteen) {
    AddClassic(kUid4);
    OpenSectorOne();
    Bytes data(32);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x60 + i);
    const struct {
        std::int32_t length;
        std::uint8_t sent;
    } cases[] = {{0, 16}, {1, 1}, {16, 16}, {17, 1}, {32, 16}, {-1, 15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        sim().ClearRecord();
        EXPECT_EQ(MifWrite2(5, c.length, data.data()), TW_OK);
        EXPECT_EQ(reader().OnlyCommand(),
                  Cat({{static_cast<std::uint8_t>(c.sent + 4), 0xD8, 0x05, c.sent},
                       Bytes(data.begin(), data.begin() + c.sent)}));
    }
    sim().ClearRecord();
    EXPECT_EQ(MifWrite2(5, 1, nullptr), TW_ERR_PARAM);
    EXPECT_TRUE(reader().Commands().empty());
}

struct Read2Case {
    const char* name;
    std::int32_t requested;
    Bytes reply;
    std::int32_t status;
    std::int32_t kept;  // bytes copied, and *length afterwards
    std::uint8_t sentLength;
};

TEST_P(MifareTest, ReadWithLengthIsBoundedByTheRequestAndTheReply) {
    auto reply = [](std::uint8_t count, std::size_t bytes) {
        Bytes r{0xD7, 0x00, 0x00, count};
        for (std::size_t i = 0; i < bytes; ++i) r.push_back(static_cast<std::uint8_t>(0x60 + i));
        return r;
    };
    const Read2Case cases[] = {
        {"as asked", 20, reply(20, 20), TW_OK, 20, 20},
        {"fewer than asked", 20, reply(5, 5), TW_OK, 5, 20},
        {"more than asked", 20, reply(40, 40), TW_OK, 20, 20},
        {"count beyond the reply", 20, reply(20, 10), TW_OK, 10, 20},
        {"count 255, two bytes", 20, reply(255, 2), TW_OK, 2, 20},
        {"count 0", 20, reply(0, 16), TW_OK, 0, 20},
        {"only the low byte is asked for", 0x114, reply(40, 40), TW_OK, 0x14, 0x14},
        {"nothing asked, nothing kept", 0, reply(16, 16), TW_OK, 0, 0},
        {"minimum length", 20, reply(20, 2), TW_OK, 2, 20},
        {"below the minimum", 20, reply(20, 1), TW_ERR_SHORT_REPLY, -1, 20},
        {"status 01 02", 20, Cat({{0xD7, 0x01, 0x02, 0x05}, Fill(5, 0x60)}),
         TW_ERR_CARD_STATUS + 0x0102, -1, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        sim().QueueReply(0xD6, c.reply);
        Guarded<std::array<std::uint8_t, 20>> data;
        std::int32_t length = c.requested;
        EXPECT_EQ(MifRead2(9, &length, data.record.data()), c.status);
        EXPECT_EQ(reader().OnlyCommand(), (Bytes{4, 0xD6, 0x09, c.sentLength}));
        if (c.status != TW_OK) {
            EXPECT_EQ(length, c.requested);
            EXPECT_TRUE(data.Untouched());
            continue;
        }
        EXPECT_EQ(length, c.kept);
        for (std::int32_t i = 0; i < 20; ++i)
            EXPECT_EQ(data.record[i], i < c.kept ? 0x60 + i : 0xEE) << i;
        EXPECT_TRUE(data.GuardIntact());
    }
    std::int32_t length = -1;
    std::uint8_t buffer[16];
    EXPECT_EQ(MifRead2(9, &length, buffer), TW_ERR_TOO_MANY);
    EXPECT_EQ(MifRead2(9, nullptr, buffer), TW_ERR_PARAM);
}

// ---- value blocks ----

struct ValueRequestCase {
    const char* name;
    std::function<std::int32_t()> call;
    Bytes request;
};

TEST_P(MifareTest, ValueCommandRequestBytes) {
    const ValueRequestCase cases[] = {
        {"increment 01020304", [] { return MifIncrement(4, 0x01020304); },
         {7, 0xCA, 0x04, 0x04, 0x03, 0x02, 0x01}},
        {"decrement -2", [] { return MifDecrement(9, -2); }, {7, 0xCC, 0x09, 0xFE, 0xFF, 0xFF, 0xFF}},
        {"increment INT32_MIN", [] { return MifIncrement(255, INT32_MIN); },
         {7, 0xCA, 0xFF, 0x00, 0x00, 0x00, 0x80}},
        {"restore: the low byte of the block", [] { return MifRestore(0x105); }, {3, 0xCE, 0x05}},
        {"transfer -1", [] { return MifTransfer(-1); }, {3, 0xD0, 0xFF}},
        {"halt", [] { return MifHalt(); }, {2, 0xC4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().ClearRecord();
        const std::uint8_t code = c.request[1];
        const auto reply = static_cast<std::uint8_t>(code + 1);
        sim().QueueReply(code, code == 0xC4 ? Bytes{reply, 0x00} : Bytes{reply, 0x00, 0x00});
        EXPECT_EQ(c.call(), TW_OK);
        EXPECT_EQ(reader().OnlyCommand(), c.request);
    }
}

TEST_P(MifareTest, ValueOperationsGoThroughTheTransferBuffer) {
    const int handle = AddClassic(kUid4);
    OpenSectorOne();
    auto block = [&](std::size_t b) { return sim().Mifare(handle)->blocks[b]; };

    EXPECT_EQ(MifIncrement(5, 7), TW_OK);
    EXPECT_EQ(block(5), MifareValueBlock(100, 5)) << "not stored before the transfer";
    EXPECT_EQ(MifTransfer(5), TW_OK);
    EXPECT_EQ(block(5), MifareValueBlock(107, 5));

    EXPECT_EQ(MifDecrement(5, 0x01020304), TW_OK);
    EXPECT_EQ(MifTransfer(6), TW_OK);
    EXPECT_EQ(block(6), MifareValueBlock(107 - 0x01020304, 6));

    EXPECT_EQ(MifRestore(0x105), TW_OK);
    EXPECT_EQ(MifTransfer(6), TW_OK);
    EXPECT_EQ(block(6), MifareValueBlock(107, 6));

    // Block 4 holds data, not a value; a transfer needs a value held.
    const std::int32_t notValue = TW_ERR_CARD_STATUS + 0x0005;
    EXPECT_EQ(MifIncrement(4, 1), notValue);
    EXPECT_EQ(MifRestore(4), notValue);
    EXPECT_EQ(MifTransfer(6), notValue);
    EXPECT_EQ(block(4), Block(0x40));
}

// ---- halt ----

TEST_P(MifareTest, HaltedCardIsNoLongerFound) {
    const int handle = AddClassic(kUid4);
    TwMifCard card{};
    ASSERT_EQ(MifFindCard(&card, 0), TW_OK);
    sim().ClearRecord();
    EXPECT_EQ(MifHalt(), TW_OK);
    EXPECT_EQ(reader().OnlyCommand(), (Bytes{2, 0xC4}));
    std::uint8_t data[16];
    EXPECT_EQ(MifRead(1, data), TW_ERR_CARD_STATUS + 0x0001);
    EXPECT_EQ(MifHalt(), TW_ERR_CARD_STATUS + 0x01);

    Guarded<TwMifCard> again;
    EXPECT_EQ(MifFindCard(&again.record, 0), TW_ERR_NO_CARD);
    EXPECT_TRUE(again.Untouched());
    // Out of the field and back: the card answers again.
    sim().TakeAway(handle);
    sim().PutBack(handle);
    EXPECT_EQ(MifFindCard(&again.record, 0), TW_OK);
    EXPECT_EQ(Record(again.record), ExpectedRecord(1, {0x00, 0x04, 0x08}, kUid4));
}

// ---- card status forms ----

struct StatusCase {
    const char* name;
    std::uint8_t command;
    Bytes reply;
    std::function<std::int32_t()> call;
    std::int32_t status;
};

TEST_P(MifareTest, CardStatusForms) {
    static std::uint8_t data[32];
    static std::int32_t length;
    const std::uint8_t key[6] = {};
    const auto authenticate = [] { return MifCardAuthentication(0, 0, 4); };
    const auto setKey = [&] { return MifSetCardKey(0, key, key); };
    const auto read2 = [] {
        length = 4;
        return MifRead2(4, &length, data);
    };
    const StatusCase cases[] = {
        // One byte: reply byte 2.
        {"authentication 05", 0xC2, {0xC3, 0x05}, authenticate, TW_ERR_CARD_STATUS + 0x05},
        {"authentication: byte 3 not read", 0xC2, {0xC3, 0x00, 0x02}, authenticate, TW_OK},
        {"authentication 01 02", 0xC2, {0xC3, 0x01, 0x02}, authenticate, TW_ERR_CARD_STATUS + 0x01},
        {"authentication without status", 0xC2, {0xC3}, authenticate, TW_ERR_SHORT_REPLY},
        {"halt FF", 0xC4, {0xC5, 0xFF}, [] { return MifHalt(); }, TW_ERR_CARD_STATUS + 0xFF},
        // One byte shifted: reply byte 2 times 256.
        {"set card key 05", 0xD2, {0xD3, 0x05}, setKey, TW_ERR_CARD_STATUS + 0x0500},
        {"set card key 01 02", 0xD2, {0xD3, 0x01, 0x02}, setKey, TW_ERR_CARD_STATUS + 0x0100},
        {"set card key 00 02", 0xD2, {0xD3, 0x00, 0x02}, setKey, TW_OK},
        {"set card key without status", 0xD2, {0xD3}, setKey, TW_ERR_SHORT_REPLY},
        // Two bytes, big-endian.
        {"read 01 02", 0xC6, Cat({{0xC7, 0x01, 0x02}, Fill(16, 0)}), [] { return MifRead(4, data); },
         TW_ERR_CARD_STATUS + 0x0102},
        {"write A1 06", 0xC8, {0xC9, 0xA1, 0x06}, [] { return MifWrite(4, data); },
         TW_ERR_CARD_STATUS + 0xA106},
        {"write, one status byte", 0xC8, {0xC9, 0x00}, [] { return MifWrite(4, data); },
         TW_ERR_SHORT_REPLY},
        {"increment 00 05", 0xCA, {0xCB, 0x00, 0x05}, [] { return MifIncrement(4, 1); },
         TW_ERR_CARD_STATUS + 0x0005},
        {"decrement 05 00", 0xCC, {0xCD, 0x05, 0x00}, [] { return MifDecrement(4, 1); },
         TW_ERR_CARD_STATUS + 0x0500},
        {"restore FF FF", 0xCE, {0xCF, 0xFF, 0xFF}, [] { return MifRestore(4); },
         TW_ERR_CARD_STATUS + 0xFFFF},
        {"transfer 01 02", 0xD0, {0xD1, 0x01, 0x02}, [] { return MifTransfer(4); },
         TW_ERR_CARD_STATUS + 0x0102},
        {"read with length 01 02", 0xD6, {0xD7, 0x01, 0x02, 0x04, 0, 0, 0, 0}, read2,
         TW_ERR_CARD_STATUS + 0x0102},
        {"write with length 00 01", 0xD8, {0xD9, 0x00, 0x01}, [] { return MifWrite2(4, 4, data); },
         TW_ERR_CARD_STATUS + 0x0001},
        // The reader's own answers.
        {"reader failure", 0xC8, {0x7E}, [] { return MifWrite(4, data); }, TW_ERR_READER_FAILED},
        {"halt rejected", 0xC4, {0x7F}, [] { return MifHalt(); }, TW_ERR_READER_REJECTED},
        {"wrong reply code", 0xD0, {0xCF, 0x00, 0x00}, [] { return MifTransfer(4); }, TW_ERR_BAD_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim().QueueReply(c.command, c.reply);
        EXPECT_EQ(c.call(), c.status);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, MifareTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
