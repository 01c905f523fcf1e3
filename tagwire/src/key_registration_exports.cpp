// Key registration in the reader (card keys, service keys, permanent or temporary), the list of
// registered key IDs, their clearing, and the change of the reader's own keys and ID.
#include <cstring>

#include "export_context.h"
#include "tagwire/tagwire.h"

namespace {

constexpr std::uint8_t kRegisterKeys = 0x18;
constexpr std::uint8_t kListKeyIds = 0x1A;
constexpr std::uint8_t kClearKeyIds = 0x1C;
constexpr std::uint8_t kChangeKeys = 0x76;
constexpr std::uint8_t kChangeId = 0x78;
constexpr std::int32_t kMaxListCount = 8;
constexpr int kKeyIdSlots = 4;  // the list record has five; the reader reports at most four

bool CountInRange(std::int32_t count) { return count >= 0 && count <= kMaxListCount; }

// The checks of the registration exports, in their order: open, busy, parameters, authenticated.
std::int32_t BeginRegistration(ExportClaim& context, bool parametersGood) {
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (!parametersGood) return TW_ERR_PARAM;
    if (!context->Authenticated.load()) return TW_ERR_NOT_AUTHENTICATED;
    return TW_OK;
}

// Sends the registration built in the shared buffer; the reply's status decides, and the key
// ID (big-endian, reply data bytes 1..4) is handed out either way. Key ID bytes a short reply
// does not carry count as 0.
std::int32_t Register(ReaderContext& context, std::int32_t* keyId) {
    std::uint8_t* buffer = TwCommandBuffer;
    std::int32_t status = Transceive(context, buffer, buffer);
    if (status == TW_OK) status = CheckResponse(buffer, kRegisterKeys + 1, 3);
    if (status != TW_OK) return status;
    std::uint32_t id = 0;
    for (int k = 3; k <= 6; ++k) id = id << 8 | ReplyByteOrZero(buffer, k);
    *keyId = static_cast<std::int32_t>(id);
    return ReaderStatus(buffer[2]);
}

std::int32_t SetCardKeys(std::uint8_t kind, std::int32_t* keyId, const std::uint8_t key[8],
                         const TwCardKeyList* list1, const TwCardKeyList* list2) {
    const bool good = keyId != nullptr && key != nullptr && list1 != nullptr &&
                      list2 != nullptr && CountInRange(list1->Count) && CountInRange(list2->Count);
    ExportClaim context;
    const std::int32_t status = BeginRegistration(context, good);
    if (status != TW_OK) return status;

    std::uint8_t* buffer = TwCommandBuffer;
    int at = 1;
    buffer[at++] = kRegisterKeys;
    buffer[at++] = kind;
    std::memcpy(buffer + at, key, 8);
    at += 8;
    for (const TwCardKeyList* list : {list1, list2}) {
        buffer[at++] = static_cast<std::uint8_t>(list->Count);
        for (std::int32_t i = 0; i < list->Count; ++i) {
            PutU16Le(list->Entry[i].Code, buffer + at);
            std::memcpy(buffer + at + 2, list->Entry[i].Key, 8);
            at += 10;
        }
    }
    buffer[0] = static_cast<std::uint8_t>(at);  // 13 + 10 (a + b)
    return Register(*context, keyId);
}

std::int32_t SetServiceKeys(std::uint8_t kind, std::int32_t* keyId,
                            const TwServiceKeyRecord* record) {
    const bool good = keyId != nullptr && record != nullptr && CountInRange(record->Count1) &&
                      CountInRange(record->Count2);
    ExportClaim context;
    const std::int32_t status = BeginRegistration(context, good);
    if (status != TW_OK) return status;

    std::uint8_t* buffer = TwCommandBuffer;
    int at = 1;
    buffer[at++] = kRegisterKeys;
    buffer[at++] = kind;
    const std::pair<std::int32_t, const std::uint16_t*> lists[] = {
        {record->Count1, record->Codes1}, {record->Count2, record->Codes2}};
    for (const auto& [count, codes] : lists) {
        buffer[at++] = static_cast<std::uint8_t>(count);
        for (std::int32_t i = 0; i < count; ++i, at += 2) PutU16Le(codes[i], buffer + at);
    }
    std::memcpy(buffer + at, record->SecondKey, 8);
    std::memcpy(buffer + at + 8, record->FirstKey, 8);
    at += 16;
    buffer[0] = static_cast<std::uint8_t>(at);  // 21 + 2 (a + b)
    return Register(*context, keyId);
}

// Reads one code list of a key-ID reply at `at`; false when its count is above 8 or the reply
// ends before the list does.
bool ReadCodeList(const std::uint8_t* reply, int& at, TwCodeList& list) {
    const int length = reply[0];
    if (at >= length || reply[at] > kMaxListCount) return false;
    const int count = reply[at++];
    if (at + 2 * count > length) return false;
    list.Count = count;
    for (int i = 0; i < count; ++i, at += 2) list.Code[i] = GetU16Le(reply + at);
    return true;
}

// A request without parameters through the guarded exchange that needs the authenticated reader.
std::int32_t GuardedRequest(ReaderContext& context, const std::uint8_t* request, int length) {
    std::uint8_t* buffer = TwCommandBuffer;
    std::memcpy(buffer, request, static_cast<std::size_t>(length));
    return GuardedTransceive(context, buffer, buffer, 1);
}

}  // namespace

extern "C" {

int32_t TwSetCardKey(int32_t* keyId, const uint8_t key[8], const TwCardKeyList* list1,
                     const TwCardKeyList* list2) {
    return SetCardKeys(0x00, keyId, key, list1, list2);
}

int32_t TwSetCardKeyTmp(int32_t* keyId, const uint8_t key[8], const TwCardKeyList* list1,
                        const TwCardKeyList* list2) {
    return SetCardKeys(0x10, keyId, key, list1, list2);
}

int32_t TwSetCardKey2Tmp(int32_t* keyId, const uint8_t key[8], const TwCardKeyList* list1,
                         const TwCardKeyList* list2) {
    return SetCardKeys(0x12, keyId, key, list1, list2);
}

int32_t TwSetServiceKey(int32_t* keyId, const TwServiceKeyRecord* record) {
    return SetServiceKeys(0x01, keyId, record);
}

int32_t TwSetServiceKeyTmp(int32_t* keyId, const TwServiceKeyRecord* record) {
    return SetServiceKeys(0x11, keyId, record);
}

int32_t TwGetCardKeyID(TwCardKeyIdList* list) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (list == nullptr) return TW_ERR_PARAM;

    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 2;
    buffer[1] = kListKeyIds;
    std::int32_t status = Transceive(*context, buffer, buffer);
    if (status == TW_OK) status = CheckResponse(buffer, kListKeyIds + 1, 3);
    if (status != TW_OK) return status;

    const int entries = buffer[2];
    if (entries > kKeyIdSlots) return TW_ERR_BAD_REPLY;
    int at = 3;
    for (int j = 0; j < entries; ++j) {
        // An entry that runs past the reply is as impossible as a count above 8: entries
        // already read stay, the rest is left as it was.
        if (at + 4 > buffer[0]) return TW_ERR_BAD_REPLY;
        list->KeyId[j] = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(buffer[at]) << 24 | buffer[at + 1] << 16 |
            buffer[at + 2] << 8 | buffer[at + 3]);
        at += 4;
        if (!ReadCodeList(buffer, at, list->CodeList1[j])) return TW_ERR_BAD_REPLY;
        if (!ReadCodeList(buffer, at, list->CodeList2[j])) return TW_ERR_BAD_REPLY;
    }
    for (int j = entries; j < kKeyIdSlots; ++j) {
        list->KeyId[j] = 0;
        list->CodeList1[j] = TwCodeList{};
        list->CodeList2[j] = TwCodeList{};
    }
    return TW_OK;
}

int32_t TwClearCardKeyID(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    const std::uint8_t request[] = {2, kClearKeyIds};
    std::int32_t status = GuardedRequest(*context, request, sizeof request);
    if (status == TW_OK) status = CheckResponse(TwCommandBuffer, kClearKeyIds + 1, 2);
    if (status != TW_OK) return status;
    return ReaderStatus(ReplyByteOrZero(TwCommandBuffer, 2));  // no status byte: 0
}

int32_t TwChangeKey(const uint8_t key1[8], const uint8_t key2[8], const uint8_t key3[8]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (key1 == nullptr || key2 == nullptr || key3 == nullptr) return TW_ERR_PARAM;
    std::uint8_t request[26] = {26, kChangeKeys};
    std::memcpy(request + 2, key1, 8);
    std::memcpy(request + 10, key2, 8);
    std::memcpy(request + 18, key3, 8);
    std::int32_t status = GuardedRequest(*context, request, sizeof request);
    if (status == TW_OK) status = CheckResponse(TwCommandBuffer, kChangeKeys + 1, 3);
    if (status != TW_OK) return status;
    return ReaderStatus(TwCommandBuffer[2]);
}

int32_t TwChangeID(const uint8_t first[8], const uint8_t second[8]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (first == nullptr || second == nullptr) return TW_ERR_PARAM;
    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 18;
    buffer[1] = kChangeId;
    std::memcpy(buffer + 2, first, 8);
    std::memcpy(buffer + 10, second, 8);
    std::int32_t status = Transceive(*context, buffer, buffer);
    if (status == TW_OK) status = CheckResponse(buffer, kChangeId + 1, 3);
    if (status != TW_OK) return status;
    // The refusal byte at record position 3; a reply of length 3 carries none: 0.
    return ReplyByteOrZero(buffer, 3) != 0 ? TW_ERR_CHANGE_ID : TW_OK;
}

}  // extern "C"
