// Mifare card search: finds a card (of a UID size, or one UID) and reports its UID.
#include <algorithm>
#include <cstring>

#include "card_command_support.h"

namespace {

constexpr std::uint8_t kSearchCommand = 0xC0;
constexpr std::uint8_t kSearchReply = 0xC1;
constexpr std::uint8_t kNoCardReply = 0x7E;
// Length byte, code, three card information bytes, UID length and the UID's first byte.
constexpr int kSearchMinimum = 7;
constexpr std::size_t kUidAt = 6;
constexpr std::size_t kUidCapacity = sizeof(TwMifCard::Uid);

// UID lengths of the size classes 1, 2 and 3.
std::size_t UidLength(std::int32_t sizeClass) {
    switch (sizeClass) {
        case 1: return 4;
        case 2: return 7;
        case 3: return 10;
        default: return 0;
    }
}

std::int32_t SizeClass(std::uint8_t uidLength) {
    switch (uidLength) {
        case 4: return 1;
        case 7: return 2;
        case 10: return 3;
        default: return 0;
    }
}

}  // namespace

extern "C" {

TAGWIRE_EXPORT std::int32_t MifFindCard(TwMifCard* card, std::int32_t wait) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (card == nullptr) return TW_ERR_PARAM;

    const std::size_t n = UidLength(card->UidSize);
    WorkBuffer buffer{};
    buffer[0] = static_cast<std::uint8_t>(n + 4);
    buffer[1] = kSearchCommand;
    buffer[2] = static_cast<std::uint8_t>(n);
    std::memcpy(buffer + 3, card->Uid, n);
    buffer[n + 3] = LowByte(wait);

    std::int32_t status;
    {
        // A search with the wait option lasts until a card comes (or it is cancelled).
        SavedTimeout saved(*context);
        if (wait != 0) context->Timeout = kTimeoutNoEnd;
        status = Transceive(*context, buffer, buffer);
    }
    if (status != TW_OK) return status;
    if (!ReplyFits(buffer, kSmallBufferSize)) return TW_ERR_BAD_REPLY;
    if (buffer[1] == kNoCardReply) return TW_ERR_NO_CARD;
    status = CheckResponse(buffer, kSearchReply, kSearchMinimum);
    if (status != TW_OK) return status;

    // The UID as far as the reply holds it and the record takes it; bytes beyond keep theirs.
    const std::size_t uidBytes =
        std::min<std::size_t>({static_cast<std::size_t>(buffer[5] & 0x0F), kUidCapacity,
                               buffer[0] - kUidAt});
    std::memcpy(card->Info, buffer + 2, sizeof card->Info);
    std::memcpy(card->Uid, buffer + kUidAt, uidBytes);
    card->UidSize = SizeClass(buffer[5]);
    return TW_OK;
}

}  // extern "C"
