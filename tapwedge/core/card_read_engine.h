#pragma once
// The card-read engine: the three card entries decoded from the card-parameter image, and what
// the read paths and the text formatting take from them.
#include <cstdint>
#include <memory>

#include "core/card_records.h"

namespace tapwedge {

class Iso15693Helper;

// ORed into a reader library status that a read passes up, so that every such result is negative.
inline constexpr std::int32_t CARD_ERROR_FLAG = static_cast<std::int32_t>(0x80000000u);

// Bits of an entry's kind word.
inline constexpr std::uint16_t kKindInUse = 0x8000;
inline constexpr std::uint16_t kKindReadData = 0x0001;  // read the data segments, not only the ID
inline constexpr std::uint16_t kKindSsfc = 0x0020;      // FeliCa: one S read of three blocks

// Kind bits of a Mifare entry.
inline constexpr std::uint16_t kKindMifareUidSize = 0x0006;  // expected UID size class, 0 = any
inline constexpr std::uint16_t kKindMifarePages = 0x0008;    // with kKindReadData: SLE55R pages
inline constexpr std::uint16_t kKindMifareKeyType = 0x0030;  // 0 key A, 1 key B, 2 none

// Results of the read paths besides a byte count, 0 and a flagged library status.
inline constexpr std::int32_t kReadTrailerRefused = -1;      // Mifare: segment in a sector trailer
inline constexpr std::int32_t kReadIsoNoCard = -1;           // ISO15693: no one-card inventory
inline constexpr std::int32_t kReadIsoSegmentFailed = -2;    // ISO15693: a segment read failed
inline constexpr std::int32_t kReadCardAuthFailed = -4;      // FeliCa: card authentication failed

// Most data bytes a read delivers: two segments of at most 64 bytes.
inline constexpr int kMaxDataBytes = 2 * 64;
static_assert(sizeof(CardDataRecord::Bytes) >= kMaxDataBytes, "the data record holds a read");

enum class CardFamily { None, Felica, Mifare, Iso15693 };

// The in-use bit and the family bits are always judged together; family bits 0x80 name no family.
constexpr CardFamily FamilyOf(std::uint16_t kind) {
    switch (kind & 0x80C0) {
    case 0x8000: return CardFamily::Felica;
    case 0x8040: return CardFamily::Mifare;
    case 0x80C0: return CardFamily::Iso15693;
    default: return CardFamily::None;
    }
}

// 2 hexadecimal, 3 three decimal digits per byte, 4 one decimal number, anything else raw bytes.
constexpr int OutputCodeOf(std::uint16_t kind) { return (kind >> 8) & 7; }

// One card entry as the read paths use it.
struct DecodedEntry {
    std::uint16_t Kind = 0;
    std::uint16_t SystemCode = 0;         // FeliCa polling system code
    std::uint8_t Afi = 0;                 // ISO15693: application family identifier, 0 = none
    std::uint8_t BlockConfig = 0;         // ISO15693: block size and read command choice
    std::uint16_t ServiceCode = 0;        // FeliCa: service of segment 0 and of the S read
    std::uint16_t SecondServiceCode = 0;  // FeliCa plain read: service of segment 1, 0 = same
    std::int32_t KeyId = 0;               // card key ID of the FeliCa card authentication
    std::uint8_t Block[2] = {};           // per segment: first block (SSFC: block index 0..2)
    std::uint8_t Start[2] = {};           // per segment: offset inside the first block, 0..15
    std::uint8_t Length[2] = {};          // per segment: bytes, 0..64; 0 = no such segment
};

class CardReadEngine {
public:
    static constexpr int kImageSize = 244;                 // bytes of a card-parameter image
    static constexpr std::int32_t kUnsetKeyId = 0xF0F0F0;  // key ID before the first decode

    DecodedEntry Entries[3];
    std::unique_ptr<Iso15693Helper> Iso15693;  // request object of the ISO15693 path
    std::int32_t Width1 = 0;                   // fixed width of data area 1; 0 = no fixed widths
    std::int32_t Width2 = 0;                   // fixed width of data area 2
    std::uint8_t UidNormalOrder = 0;           // 0: Mifare and ISO15693 UIDs are reversed
    std::int32_t MatchedEntry = 0;             // entry of the last positive read result

    CardReadEngine();
    ~CardReadEngine();
    CardReadEngine(const CardReadEngine&) = delete;
    CardReadEngine& operator=(const CardReadEngine&) = delete;

    // Decodes the three entries and the widths of a card-parameter image (kImageSize bytes).
    // Returns 0.
    int DecodeCardParams(const std::uint8_t* image, std::uint8_t uidOrder, std::int32_t keyId);

    void SetUidNormalOrder(std::uint8_t value);

    // Tries the entries in order; the first positive result wins and sets MatchedEntry. Returns
    // > 0 (data bytes, or the ID length of an ID-only entry), 0 (nothing to report), or < 0
    // (a library status ORed with CARD_ERROR_FLAG, or -1, -2, -4).
    // A fault of the line or the session (link_faults.h) met by any call of the read, also by one
    // whose result a path drops (halt, stay quiet, field off, a failed block read), is what a
    // read without a card returns, whatever the later entries gave; a session fault met by a
    // read that reported a card is returned by the next read, which sends nothing. So the
    // polling loop sees every fault it must act on.
    std::int32_t ReadCard(CardIdRecord& id, CardDataRecord& data, std::int32_t readerType);

    // FeliCa path of one entry and its three ways of reading the segments. The segment readers
    // write at most kMaxDataBytes into dest.
    std::int32_t ReadFelicaCard(CardIdRecord& id, CardDataRecord& data, std::int32_t readerType,
                                const DecodedEntry& entry);
    std::int32_t ReadPlainSegments(std::uint8_t* dest, const std::uint8_t* idm,
                                   const DecodedEntry& entry);
    std::int32_t ReadAuthSegments(std::uint8_t* dest, const std::uint8_t* idm,
                                  const DecodedEntry& entry);
    std::int32_t ReadSSegments(std::uint8_t* dest, const std::uint8_t* idm,
                               const DecodedEntry& entry);

    // Mifare path: block segments (MifRead) or SLE55R pages (pass-through 0xDA).
    std::int32_t ReadMifareCard(CardIdRecord& id, CardDataRecord& data, const DecodedEntry& entry);
    std::int32_t ReadMifareBlocks(std::uint8_t* dest, bool authenticated, const DecodedEntry& entry);
    std::int32_t ReadMifarePages(std::uint8_t* dest, const DecodedEntry& entry);

    // ISO15693 path: inventory, segments by ReadSingleBlock or ReadMultipleBlock, stay quiet.
    // The UID argument of the segment readers is not used: the reads are not addressed.
    std::int32_t ReadIso15693Card(CardIdRecord& id, CardDataRecord& data,
                                  const DecodedEntry& entry);
    std::int32_t ReadIso15693Segments(std::uint8_t* dest, const std::uint8_t* uid,
                                      const DecodedEntry& entry);
    std::int32_t ReadIso15693Segment(std::uint8_t* dest, const std::uint8_t* uid,
                                     const DecodedEntry& entry, int segment);

    // Repeat suppression, one set per family shared by all its entries: a card is reported
    // once while it stays on the reader. A search the reader answers without a card clears the
    // present flag; one that fails on the line (a link fault) does not, since the card may well
    // still lie there. A read of a card that fails on the line clears it, so that the next tick
    // reads the card again.
    std::uint8_t LastIdm[8] = {};
    bool FelicaPresent = false;
    std::uint8_t PmmBuffer[8] = {};  // PMm of every polling; not used further

    std::uint8_t LastMifareUid[10] = {};  // in delivered byte order
    std::int32_t LastMifareUidLength = 0;
    bool MifarePresent = false;

    std::uint8_t InventoryData[9] = {};  // DSFID and UID of the last inventory reply
    std::uint8_t LastIsoUid[8] = {};     // in the order the card sends it
    bool IsoPresent = false;

    // Link faults (link_faults.h): the gravest of the current read (a session fault over an
    // exchange fault, the first of equals), how many were met in all, and a session fault left
    // for the next read to return.
    std::int32_t ReadFault = 0;
    std::int32_t LinkFaultsMet = 0;
    std::int32_t PendingFault = 0;
    // Notes a library status of the read; returns it.
    std::int32_t Seen(std::int32_t status);
};

}  // namespace tapwedge
