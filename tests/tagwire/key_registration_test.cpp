// Key registration, the key-ID list, clearing, and the change of the reader's keys and ID,
// against the reader simulator over USB and COM, plain and sealed.
#include <cstring>
#include <functional>

#include "link_layer.h"
#include "reader_session.h"

namespace {

using KeyRegistration = ReaderSession;
READER_SESSION_SUITE(KeyRegistration);

constexpr std::int32_t kUntouched = 0x5A5A5A5A;
const std::uint8_t kKey[8] = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8};

sim::Bytes Block(const std::uint8_t* b) { return sim::Bytes(b, b + 8); }

sim::Bytes Cat(std::initializer_list<sim::Bytes> parts) {
    sim::Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A card key list of `count` entries: code 0x1100 + i (+ 0x80 for the second list), key bytes
// made from both, all nonzero.
TwCardKeyList CardList(std::int32_t count, std::uint8_t tag) {
    TwCardKeyList list;
    std::memset(&list, 0xEE, sizeof list);
    list.Count = count;
    for (int i = 0; i < 8; ++i) {
        list.Entry[i].Code = static_cast<std::uint16_t>(0x1100 + tag + i);
        for (int k = 0; k < 8; ++k) list.Entry[i].Key[k] = static_cast<std::uint8_t>(tag + 16 * i + k + 1);
    }
    return list;
}

// [count][code lo, code hi, key] x count, as the request carries a list.
sim::Bytes ListBytes(const TwCardKeyList& list) {
    sim::Bytes out{static_cast<std::uint8_t>(list.Count)};
    for (int i = 0; i < list.Count; ++i) {
        out.push_back(static_cast<std::uint8_t>(list.Entry[i].Code & 0xFF));
        out.push_back(static_cast<std::uint8_t>(list.Entry[i].Code >> 8));
        out.insert(out.end(), list.Entry[i].Key, list.Entry[i].Key + 8);
    }
    return out;
}

TwServiceKeyRecord ServiceRecord(std::int32_t count1, std::int32_t count2) {
    TwServiceKeyRecord record;
    std::memset(&record, 0xEE, sizeof record);
    record.Count1 = count1;
    record.Count2 = count2;
    for (int i = 0; i < 8; ++i) {
        record.Codes1[i] = static_cast<std::uint16_t>(0x2000 + i);
        record.Codes2[i] = static_cast<std::uint16_t>(0x3080 + i);
    }
    for (int k = 0; k < 8; ++k) {
        record.FirstKey[k] = static_cast<std::uint8_t>(0xF1 + k);
        record.SecondKey[k] = static_cast<std::uint8_t>(0x51 + k);
    }
    return record;
}

sim::Bytes CodeBytes(std::int32_t count, const std::uint16_t* codes) {
    sim::Bytes out{static_cast<std::uint8_t>(count)};
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(codes[i] & 0xFF));
        out.push_back(static_cast<std::uint8_t>(codes[i] >> 8));
    }
    return out;
}

sim::Bytes Request(std::uint8_t code, std::initializer_list<sim::Bytes> parts) {
    sim::Bytes out{0, code};
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    out[0] = static_cast<std::uint8_t>(out.size());
    return out;
}

using CardKeyExport = std::int32_t (*)(std::int32_t*, const std::uint8_t*, const TwCardKeyList*,
                                       const TwCardKeyList*);
using ServiceKeyExport = std::int32_t (*)(std::int32_t*, const TwServiceKeyRecord*);

TEST_P(KeyRegistration, CardKeyRequestsAndTheStoredEntry) {
    struct Case {
        const char* name;
        CardKeyExport call;
        std::uint8_t kind;
        std::int32_t count1, count2;
        std::size_t length;
    } cases[] = {
        {"two lists of 8", TwSetCardKey, 0x00, 8, 8, 173},
        {"no lists", TwSetCardKey, 0x00, 0, 0, 13},
        {"temporary", TwSetCardKeyTmp, 0x10, 1, 0, 23},
        {"second temporary", TwSetCardKey2Tmp, 0x12, 0, 3, 43},
    };
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << ChannelName(channel) << ": " << c.name);
            Authenticate(channel);
            sim_.SetNextKeyId(0x81020304);
            const TwCardKeyList list1 = CardList(c.count1, 0x00);
            const TwCardKeyList list2 = CardList(c.count2, 0x80);
            std::int32_t keyId = kUntouched;
            ASSERT_EQ(c.call(&keyId, kKey, &list1, &list2), TW_OK);
            const sim::Bytes expected =
                Request(0x18, {{c.kind}, Block(kKey), ListBytes(list1), ListBytes(list2)});
            EXPECT_EQ(expected.size(), c.length);
            EXPECT_EQ(LastCommand().sealed, channel == Channel::Sealed);
            EXPECT_TRUE(SentAs(LastCommand(), expected));
            EXPECT_EQ(static_cast<std::uint32_t>(keyId), 0x81020304u);
            const auto store = sim_.KeyStore();
            ASSERT_FALSE(store.empty());
            EXPECT_EQ(store.back().kind, c.kind);
            EXPECT_EQ(store.back().list1.size(), static_cast<std::size_t>(c.count1));
            EXPECT_EQ(store.back().list2.size(), static_cast<std::size_t>(c.count2));
            ASSERT_EQ(TwClearCardKeyID(), TW_OK);
        }
    }
}

TEST_P(KeyRegistration, ServiceKeyRequestsSendTheSecondKeyFirst) {
    struct Case {
        const char* name;
        ServiceKeyExport call;
        std::uint8_t kind;
        std::int32_t count1, count2;
        std::size_t length;
    } cases[] = {
        {"two lists of 8", TwSetServiceKey, 0x01, 8, 8, 53},
        {"no lists", TwSetServiceKey, 0x01, 0, 0, 21},
        {"temporary", TwSetServiceKeyTmp, 0x11, 2, 1, 27},
    };
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << ChannelName(channel) << ": " << c.name);
            Authenticate(channel);
            const TwServiceKeyRecord record = ServiceRecord(c.count1, c.count2);
            std::int32_t keyId = kUntouched;
            ASSERT_EQ(c.call(&keyId, &record), TW_OK);
            const sim::Bytes expected =
                Request(0x18, {{c.kind}, CodeBytes(c.count1, record.Codes1),
                               CodeBytes(c.count2, record.Codes2), Block(record.SecondKey),
                               Block(record.FirstKey)});
            EXPECT_EQ(expected.size(), c.length);
            EXPECT_TRUE(SentAs(LastCommand(), expected));
            const auto store = sim_.KeyStore();
            ASSERT_FALSE(store.empty());
            EXPECT_EQ(keyId, static_cast<std::int32_t>(store.back().key_id));
            EXPECT_EQ(store.back().first_key[0], record.FirstKey[0]);
            ASSERT_EQ(TwClearCardKeyID(), TW_OK);
        }
    }
}

// Every registration export judges its reply alike: the status decides, the key ID is handed out
// from every good reply, nothing from a bad one.
TEST_P(KeyRegistration, RegistrationRepliesGiveStatusAndKeyId) {
    struct Case {
        const char* name;
        sim::Bytes reply;
        std::int32_t result;
        std::int32_t keyId;
    } cases[] = {
        {"status 3 still gives the key ID", {0x19, 3, 0x00, 0x00, 0x01, 0x02},
         TW_ERR_READER_STATUS + 3, 258},
        {"big-endian ID", {0x19, 0, 0xFF, 0xFF, 0xFF, 0xFE}, TW_OK, -2},
        {"status only: ID bytes missing count as 0", {0x19, 0}, TW_OK, 0},
        {"status 255", {0x19, 0xFF, 0, 0, 0, 7}, TW_ERR_READER_STATUS + 0xFF, 7},
        {"code only", {0x19}, TW_ERR_SHORT_REPLY, kUntouched},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED, kUntouched},
        {"failed", {0x7E}, TW_ERR_READER_FAILED, kUntouched},
        {"other code", {0x1B, 0, 0, 0, 1, 2}, TW_ERR_BAD_REPLY, kUntouched},
    };
    const TwCardKeyList list = CardList(2, 0);
    const TwServiceKeyRecord record = ServiceRecord(2, 2);
    const std::function<std::int32_t(std::int32_t*)> exports[] = {
        [&](std::int32_t* id) { return TwSetCardKey(id, kKey, &list, &list); },
        [&](std::int32_t* id) { return TwSetCardKeyTmp(id, kKey, &list, &list); },
        [&](std::int32_t* id) { return TwSetCardKey2Tmp(id, kKey, &list, &list); },
        [&](std::int32_t* id) { return TwSetServiceKey(id, &record); },
        [&](std::int32_t* id) { return TwSetServiceKeyTmp(id, &record); },
    };
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        Authenticate(channel);
        for (const auto& c : cases) {
            for (std::size_t e = 0; e < std::size(exports); ++e) {
                SCOPED_TRACE(testing::Message() << ChannelName(channel) << ": " << c.name
                                                << ", export " << e);
                sim_.QueueReply(0x18, c.reply);
                std::int32_t keyId = kUntouched;
                EXPECT_EQ(exports[e](&keyId), c.result);
                EXPECT_EQ(keyId, c.keyId);
            }
        }
        EXPECT_TRUE(sim_.KeyStore().empty());
    }
}

// Parameter, authentication and busy refusals come before anything is sent and write nothing.
TEST_P(KeyRegistration, RefusalsBeforeSending) {
    const TwCardKeyList good = CardList(8, 0);
    const TwCardKeyList nine = CardList(9, 0);
    const TwCardKeyList negative = CardList(-1, 0);
    const TwServiceKeyRecord goodRecord = ServiceRecord(8, 8);
    const TwServiceKeyRecord nine1 = ServiceRecord(9, 0);
    const TwServiceKeyRecord nine2 = ServiceRecord(0, 9);
    std::int32_t keyId = kUntouched;
    TwCardKeyIdList idList;
    std::memset(&idList, 0xEE, sizeof idList);
    const TwCardKeyIdList idListBefore = idList;
    struct Case {
        const char* name;
        std::function<std::int32_t()> call;
        std::int32_t unauthenticated;  // result on a reader that is not authenticated
        bool busyChecked;              // TW_ERR_BUSY during another exchange
    } cases[] = {
        {"card keys, list 1 of 9", [&] { return TwSetCardKey(&keyId, kKey, &nine, &good); },
         TW_ERR_PARAM, true},
        {"card keys, list 2 of 9", [&] { return TwSetCardKeyTmp(&keyId, kKey, &good, &nine); },
         TW_ERR_PARAM, true},
        {"card keys, count -1", [&] { return TwSetCardKey2Tmp(&keyId, kKey, &negative, &good); },
         TW_ERR_PARAM, true},
        {"service keys, Count1 9", [&] { return TwSetServiceKey(&keyId, &nine1); }, TW_ERR_PARAM,
         true},
        {"service keys, Count2 9", [&] { return TwSetServiceKeyTmp(&keyId, &nine2); },
         TW_ERR_PARAM, true},
        {"card keys", [&] { return TwSetCardKey(&keyId, kKey, &good, &good); },
         TW_ERR_NOT_AUTHENTICATED, true},
        {"temporary card keys", [&] { return TwSetCardKeyTmp(&keyId, kKey, &good, &good); },
         TW_ERR_NOT_AUTHENTICATED, true},
        {"second temporary card keys",
         [&] { return TwSetCardKey2Tmp(&keyId, kKey, &good, &good); }, TW_ERR_NOT_AUTHENTICATED,
         true},
        {"service keys", [&] { return TwSetServiceKey(&keyId, &goodRecord); },
         TW_ERR_NOT_AUTHENTICATED, true},
        {"temporary service keys", [&] { return TwSetServiceKeyTmp(&keyId, &goodRecord); },
         TW_ERR_NOT_AUTHENTICATED, true},
        {"clear", [] { return TwClearCardKeyID(); }, TW_ERR_FAILED, true},
        {"change keys", [] { return TwChangeKey(kKey, kKey, kKey); }, TW_ERR_FAILED, true},
        {"list", [&] { return TwGetCardKeyID(&idList); }, TW_OK, true},
        {"change ID", [] { return TwChangeID(kKey, kKey); }, TW_OK, true},
    };
    const auto before = sim_.GetReaderKeys();
    for (const auto& c : cases) {
        if (c.unauthenticated == TW_OK) continue;  // these two need no authentication
        SCOPED_TRACE(c.name);
        sim_.ClearRecord();
        EXPECT_EQ(c.call(), c.unauthenticated);
        EXPECT_EQ(CommandCount(), 0u);
    }

    // During another exchange (a message handler inside its wait) every one of them is busy,
    // whatever its parameters, and the running exchange goes on.
    Authenticate(Channel::Plain);
    sim_.InjectFault({.command = 0x54, .reply_delay_ms = 100});
    std::vector<std::int32_t> results;
    platform::SetMessagePump([&] {
        if (!results.empty() || CommandCount() == 0) return;
        for (const auto& c : cases) results.push_back(c.call());
    });
    EXPECT_EQ(TwTurnOff(), TW_OK);
    platform::SetMessagePump(nullptr);
    ASSERT_EQ(results.size(), std::size(cases));
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(results[i], TW_ERR_BUSY);
    }
    EXPECT_EQ(CommandCount(), 1u);

    EXPECT_EQ(keyId, kUntouched);
    EXPECT_EQ(std::memcmp(&idList, &idListBefore, sizeof idList), 0);
    EXPECT_TRUE(sim_.KeyStore().empty());
    EXPECT_EQ(sim_.GetReaderKeys(), before);

    // A closed library refuses them all.
    TwClose();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), TW_ERR_NOT_OPEN);
    }
}

// ---- the key-ID list ----

sim::KeyEntry ServiceEntry(std::uint32_t id, std::vector<std::uint16_t> codes1,
                           std::vector<std::uint16_t> codes2) {
    sim::KeyEntry entry;
    entry.key_id = id;
    entry.kind = 0x01;
    entry.codes1 = std::move(codes1);
    entry.codes2 = std::move(codes2);
    return entry;
}

void ExpectSlot(const TwCardKeyIdList& list, int slot, std::int32_t id,
                const std::vector<std::uint16_t>& codes1, const std::vector<std::uint16_t>& codes2) {
    SCOPED_TRACE(testing::Message() << "slot " << slot);
    EXPECT_EQ(list.KeyId[slot], id);
    const std::pair<const TwCodeList*, const std::vector<std::uint16_t>*> lists[] = {
        {&list.CodeList1[slot], &codes1}, {&list.CodeList2[slot], &codes2}};
    for (const auto& [got, want] : lists) {
        ASSERT_EQ(got->Count, static_cast<std::int32_t>(want->size()));
        for (int i = 0; i < got->Count; ++i)
            EXPECT_EQ(got->Code[i], (*want)[static_cast<std::size_t>(i)]) << i;
        // An empty slot is cleared whole; a filled one keeps what lies beyond its codes.
        if (id == 0) {
            for (std::uint16_t code : got->Code) EXPECT_EQ(code, 0);
        }
    }
}

bool SlotUntouched(const TwCardKeyIdList& list, int slot) {
    TwCardKeyIdList fresh;
    std::memset(&fresh, 0xEE, sizeof fresh);
    return list.KeyId[slot] == fresh.KeyId[slot] &&
           std::memcmp(&list.CodeList1[slot], &fresh.CodeList1[slot], sizeof(TwCodeList)) == 0 &&
           std::memcmp(&list.CodeList2[slot], &fresh.CodeList2[slot], sizeof(TwCodeList)) == 0;
}

TEST_P(KeyRegistration, KeyIdListFromTheReadersStore) {
    const std::vector<std::uint16_t> eight = {1, 2, 3, 4, 5, 6, 7, 0xFFEE};
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        SCOPED_TRACE(ChannelName(channel));
        Authenticate(channel);
        for (std::size_t entries : {0u, 1u, 4u}) {
            SCOPED_TRACE(testing::Message() << entries << " entries");
            ASSERT_EQ(TwClearCardKeyID(), TW_OK);
            const std::vector<sim::KeyEntry> store = {
                ServiceEntry(0x01020304, {0x090F}, {}), ServiceEntry(0xFFFFFFFF, eight, eight),
                ServiceEntry(258, {}, {0x1234, 0x5678}), ServiceEntry(7, {0xABCD}, {0x0102})};
            for (std::size_t i = 0; i < entries; ++i) sim_.AddKeyEntry(store[i]);
            TwCardKeyIdList list;
            std::memset(&list, 0xEE, sizeof list);
            ASSERT_EQ(TwGetCardKeyID(&list), TW_OK);
            EXPECT_TRUE(SentAs(LastCommand(), {2, 0x1A}));
            for (int slot = 0; slot < 4; ++slot) {
                if (static_cast<std::size_t>(slot) < entries) {
                    const auto& e = store[static_cast<std::size_t>(slot)];
                    ExpectSlot(list, slot, static_cast<std::int32_t>(e.key_id), e.codes1, e.codes2);
                } else {
                    ExpectSlot(list, slot, 0, {}, {});
                }
            }
            EXPECT_TRUE(SlotUntouched(list, 4)) << "slot 4 is never written";
        }
    }
}

TEST_P(KeyRegistration, KeyIdListRefusesImpossibleReplies) {
    const sim::Bytes firstEntry = {0x00, 0x00, 0x01, 0x02, 1, 0x0F, 0x09, 0};
    struct Case {
        const char* name;
        sim::Bytes reply;
        std::int32_t result;
        bool firstFilled;   // slot 0 holds the first entry
        int untouchedFrom;  // slots from here on stay as they were
    } cases[] = {
        {"count 5", {0x1B, 5}, TW_ERR_BAD_REPLY, false, 0},
        {"first code list of 9", {0x1B, 1, 0, 0, 1, 2, 9}, TW_ERR_BAD_REPLY, false, 1},
        {"second entry's second list of 9", Cat({{0x1B, 2}, firstEntry, {0, 0, 0, 9, 0, 9}}),
         TW_ERR_BAD_REPLY, true, 2},
        {"entries announced but not there", Cat({{0x1B, 3}, firstEntry}), TW_ERR_BAD_REPLY, true,
         1},
        {"codes announced but not there", {0x1B, 1, 0, 0, 1, 2, 2, 0x0F}, TW_ERR_BAD_REPLY, false,
         1},
        {"code only", {0x1B}, TW_ERR_SHORT_REPLY, false, 0},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED, false, 0},
        {"other code", {0x19, 0}, TW_ERR_BAD_REPLY, false, 0},
    };
    // Plain only: a sealed reply carries the seal's zero padding, which reads as further
    // empty entries.
    Authenticate(Channel::Plain);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.QueueReply(0x1A, c.reply);
        TwCardKeyIdList list;
        std::memset(&list, 0xEE, sizeof list);
        EXPECT_EQ(TwGetCardKeyID(&list), c.result);
        if (c.firstFilled) ExpectSlot(list, 0, 258, {0x090F}, {});
        for (int slot = c.untouchedFrom; slot < 5; ++slot) EXPECT_TRUE(SlotUntouched(list, slot)) << slot;
    }
}

// ---- clearing, the reader's keys and ID ----

// A status byte that a short reply does not carry counts as 0, never a byte left in the
// library's buffer from an earlier exchange.
struct ShortReplyCase {
    const char* name;
    sim::Bytes reply;
    std::int32_t result;
};

TEST_P(KeyRegistration, ClearKeyIds) {
    const ShortReplyCase cases[] = {
        {"status 0", {0x1D, 0}, TW_OK},
        {"status 5", {0x1D, 5}, TW_ERR_READER_STATUS + 5},
        {"no status byte", {0x1D}, TW_OK},
        {"rejected", {0x7F}, TW_ERR_READER_REJECTED},
        {"other code", {0x1B, 0}, TW_ERR_BAD_REPLY},
    };
    Authenticate(Channel::Plain);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.QueueReply(0x1C, c.reply);
        TwCommandBuffer[2] = 0x33;  // what an earlier reply could have left
        TwCommandBuffer[3] = 0x33;
        EXPECT_EQ(TwClearCardKeyID(), c.result);
    }
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        SCOPED_TRACE(ChannelName(channel));
        Authenticate(channel);
        sim_.AddKeyEntry(ServiceEntry(9, {1}, {}));
        sim_.SetCommandStatus(0x1C, 4);
        EXPECT_EQ(TwClearCardKeyID(), TW_ERR_READER_STATUS + 4);
        EXPECT_EQ(sim_.KeyStore().size(), 1u);
        sim_.SetCommandStatus(0x1C, 0);
        EXPECT_EQ(TwClearCardKeyID(), TW_OK);
        EXPECT_TRUE(sim_.KeyStore().empty());
        EXPECT_TRUE(SentAs(LastCommand(), {2, 0x1C}));
    }
}

TEST_P(KeyRegistration, ChangeKeys) {
    const std::uint8_t k1[8] = {1, 1, 1, 1, 1, 1, 1, 0x11};
    const std::uint8_t k2[8] = {2, 2, 2, 2, 2, 2, 2, 0x22};
    const std::uint8_t k3[8] = {3, 3, 3, 3, 3, 3, 3, 0x33};
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        SCOPED_TRACE(ChannelName(channel));
        sim_.SetReaderKeys(sim::ReaderKeys{});
        Authenticate(channel);
        sim_.SetCommandStatus(0x76, 4);
        EXPECT_EQ(TwChangeKey(k1, k2, k3), TW_ERR_READER_STATUS + 4);
        EXPECT_EQ(sim_.GetReaderKeys(), sim::ReaderKeys{});
        sim_.SetCommandStatus(0x76, 0);
        EXPECT_EQ(TwChangeKey(k1, k2, k3), TW_OK);
        EXPECT_TRUE(SentAs(LastCommand(), Request(0x76, {Block(k1), Block(k2), Block(k3)})));
        EXPECT_EQ(sim_.GetReaderKeys().kar[7], 0x11);
        EXPECT_EQ(sim_.GetReaderKeys().kcr[7], 0x33);
        sim_.QueueReply(0x76, {0x77});
        EXPECT_EQ(TwChangeKey(k1, k2, k3), TW_ERR_SHORT_REPLY);
    }
}

TEST_P(KeyRegistration, ChangeIdJudgesTheRefusalByte) {
    const std::uint8_t next[8] = {'N', 'E', 'W', 'I', 'D', '0', '0', '2'};
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        SCOPED_TRACE(ChannelName(channel));
        sim_.SetReaderKeys(sim::ReaderKeys{});
        Authenticate(channel);
        const sim::ReaderKeys keys = sim_.GetReaderKeys();
        std::uint8_t wrong[8];
        std::copy(keys.id.begin(), keys.id.end(), wrong);
        wrong[0] ^= 1;
        EXPECT_EQ(TwChangeID(wrong, next), TW_ERR_CHANGE_ID);
        EXPECT_EQ(sim_.GetReaderKeys().id, keys.id);
        EXPECT_EQ(TwChangeID(keys.id.data(), next), TW_OK);
        EXPECT_TRUE(SentAs(LastCommand(), Request(0x78, {sim::Bytes(keys.id.begin(), keys.id.end()),
                                                         Block(next)})));
        EXPECT_EQ(sim_.GetReaderKeys().id[0], 'N');
    }

    const ShortReplyCase cases[] = {
        {"refusal 1", {0x79, 0, 1}, TW_ERR_CHANGE_ID},
        {"status byte is not judged", {0x79, 7, 0}, TW_OK},
        {"no refusal byte", {0x79, 0}, TW_OK},
        {"code only", {0x79}, TW_ERR_SHORT_REPLY},
        {"failed", {0x7E}, TW_ERR_READER_FAILED},
    };
    Authenticate(Channel::Plain);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.QueueReply(0x78, c.reply);
        // (Byte 3 of the library's buffer still holds the request's 'E' when the reply is short.)
        EXPECT_EQ(TwChangeID(next, next), c.result);
    }
}

}  // namespace
