// Mifare path of the card-read engine: card search, expected UID size, repeat suppression,
// sector authentication, and the segments read as 16-byte blocks or as SLE55R pages.
#include <tagwire/tagwire.h>

#include <algorithm>
#include <cstring>

#include "core/card_read_engine.h"
#include "core/link_faults.h"
#include "core/text_format.h"

namespace tapwedge {
namespace {

constexpr int kMifareBlockSize = 16;
constexpr std::uint8_t kKeyA = 0;
constexpr std::uint8_t kNoAuthentication = 2;
constexpr std::uint8_t kPageReadCommand = 0xDA;  // pass-through page read of SLE55R cards
constexpr int kPageReplyData = 4;                // page data starts at reply byte 4

// UID bytes of a size class: 1 = 4, 2 = 7, 3 = 10; any other class is taken as 4 bytes.
std::int32_t UidBytesOf(std::int32_t sizeClass) {
    switch (sizeClass) {
    case 2: return 7;
    case 3: return 10;
    default: return 4;
    }
}

// Sector trailers: the last block of each 4-block sector below 0x80, of each 16-block sector
// from 0x80 on.
bool IsSectorTrailer(std::uint8_t block) {
    return block >= 0x80 ? (block & 0x0F) == 0x0F : (block & 0x03) == 0x03;
}

bool InDifferentSectors(std::uint8_t a, std::uint8_t b) {
    if ((a >= 0x80) != (b >= 0x80)) return true;
    const std::uint8_t mask = a >= 0x80 ? 0xF0 : 0xFC;
    return (a & mask) != (b & mask);
}

}  // namespace

std::int32_t CardReadEngine::ReadMifareCard(CardIdRecord& id, CardDataRecord& data,
                                            const DecodedEntry& entry) {
    data.Length = 0;
    id.Length = 0;

    TwMifCard card{};
    card.UidSize = 0;
    const std::int32_t r = Seen(MifFindCard(&card, 0));
    if (r != TW_OK) {
        // A search lost on the line says nothing about the card: it may still lie there.
        if (LinkFaultOf(r) == LinkFault::None) MifarePresent = false;
        return r | CARD_ERROR_FLAG;
    }

    const std::int32_t n = UidBytesOf(card.UidSize);
    std::uint8_t uid[10];
    std::memcpy(uid, card.Uid, sizeof uid);
    if (UidNormalOrder == 0) ReverseBytes(uid, n);  // every later step sees this order

    if (MifarePresent && n == LastMifareUidLength &&
        std::memcmp(uid, LastMifareUid, static_cast<std::size_t>(n)) == 0)
        return 0;
    MifarePresent = true;
    std::memcpy(LastMifareUid, uid, static_cast<std::size_t>(n));
    LastMifareUidLength = n;
    std::memcpy(id.Bytes, uid, static_cast<std::size_t>(n));
    id.Length = n;

    // From here on the card stays taken as present when the card or the reader refuses (a UID
    // of another size, a key that does not fit, a block it will not give): it is not read again
    // until a search finds no card. A read lost on the line is tried again on the next tick.
    static constexpr std::int32_t kExpectedBytes[4] = {4, 4, 7, 10};
    const int sizeClass = (entry.Kind & kKindMifareUidSize) >> 1;
    if (sizeClass != 0 && kExpectedBytes[sizeClass] != n) {
        Seen(TwTurnOff());
        return 0;
    }

    const std::uint8_t keyType = static_cast<std::uint8_t>((entry.Kind & kKindMifareKeyType) >> 4);
    if (keyType != kNoAuthentication) {
        const std::int32_t auth = Seen(MifCardAuthentication(keyType, 0, entry.Block[0]));
        if (auth != TW_OK) {
            if (LinkFaultOf(auth) != LinkFault::None) MifarePresent = false;
            Seen(TwTurnOff());
            return 0;
        }
    }

    const int faultsBefore = LinkFaultsMet;
    std::int32_t d = 0;
    switch (entry.Kind & (kKindReadData | kKindMifarePages)) {
    case kKindReadData:
        d = ReadMifareBlocks(data.Bytes, keyType != kNoAuthentication, entry);
        data.Length = std::max(d, 0);
        if (d <= 0 && LinkFaultsMet != faultsBefore) {
            // Not halted: the field goes off instead, which wakes the card for the next tick.
            MifarePresent = false;
            Seen(TwTurnOff());
            return d;
        }
        Seen(MifHalt());
        return d;
    case kKindReadData | kKindMifarePages:  // SLE55R: no halt
        d = ReadMifarePages(data.Bytes, entry);
        data.Length = std::max(d, 0);
        if (d <= 0 && LinkFaultsMet != faultsBefore) MifarePresent = false;
        return d;
    default:  // ID only
        Seen(MifHalt());
        return n;
    }
}

std::int32_t CardReadEngine::ReadMifareBlocks(std::uint8_t* dest, bool authenticated,
                                              const DecodedEntry& entry) {
    std::int32_t total = 0;
    for (int j = 0; j < 2 && entry.Length[j] != 0; ++j) {
        const std::uint8_t b = entry.Block[j];
        if (authenticated) {
            if (IsSectorTrailer(b)) return kReadTrailerRefused;  // keys are never read out
            // Key A, key number 0 whatever the entry's key type; a failure shows in the read.
            if (j == 1 && InDifferentSectors(entry.Block[0], b)) Seen(MifCardAuthentication(kKeyA, 0, b));
        }
        std::uint8_t block[kMifareBlockSize] = {};
        const std::int32_t r = Seen(MifRead(b, block));
        if (r != TW_OK) return r | CARD_ERROR_FLAG;
        // A segment reaching past the block yields the bytes inside it.
        const int count = std::min<int>(entry.Length[j], kMifareBlockSize - entry.Start[j]);
        std::memcpy(dest + total, block + entry.Start[j], static_cast<std::size_t>(count));
        total += count;
    }
    return total;
}

std::int32_t CardReadEngine::ReadMifarePages(std::uint8_t* dest, const DecodedEntry& entry) {
    std::int32_t total = 0;
    for (int j = 0; j < 2 && entry.Length[j] != 0; ++j) {
        const std::uint8_t request[3] = {3, kPageReadCommand, entry.Block[j]};
        std::uint8_t reply[256] = {};
        const std::int32_t r = Seen(TwThruCommand(reply, request));
        if (r != TW_OK) return r | CARD_ERROR_FLAG;
        if (entry.Start[j] + entry.Length[j] + kPageReplyData > reply[0]) return CARD_ERROR_FLAG;
        std::memcpy(dest + total, reply + kPageReplyData + entry.Start[j], entry.Length[j]);
        total += entry.Length[j];
    }
    return total;
}

}  // namespace tapwedge
