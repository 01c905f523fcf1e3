#pragma once
// The 244-byte card-parameter image held (encrypted) by a "*.set" file: three card entries, two
// output widths and optionally the reader keys. Plain bytes with a fixed layout; multi-byte
// fields are read and written through accessors that keep each field's byte order.
#include <cstddef>
#include <cstdint>

#include "tagwire/tagwire.h"

namespace tapwedge {

// Card kind of an entry as the reader classifies it: Kind AND 0x80C0.
enum class CardKind {
    None,      // not in use, or kind bits 0x80
    Felica,    // 0x8000
    Mifare,    // 0x8040
    Iso15693,  // 0x80C0
};

inline constexpr std::uint16_t kKindClassMask = 0x80C0;

// Output codes of Kind bits 8..10.
inline constexpr int kOutputHex = 2;
inline constexpr int kOutputDecimalBytes = 3;
inline constexpr int kOutputDecimalNumber = 4;

// One read area: five bytes from entry offset 24 + 5n.
struct CardArea {
    std::uint8_t Block;
    std::uint8_t Start;   // low 4 bits used by the reader
    std::uint8_t Length;  // taken modulo 65 by the reader; 0 = no area
    std::uint8_t Extra[2];  // area 0: SecondServiceCode (little-endian); area 1: no meaning

    int ReaderStart() const { return Start & 0x0F; }
    int ReaderLength() const { return Length % 65; }
};

// One card entry, 34 bytes.
struct CardEntry {
    std::uint8_t KindBytes[2];      // 0: Kind, big-endian
    std::uint8_t KindSpecific[6];   // 2: SystemCode (BE) / Afi, -, BlockConfig; 6: ServiceCode (LE)
    std::uint8_t MifareKey[6];      // 8: key A or B in the order typed
    std::uint8_t Reserved[10];      // 14
    CardArea Areas[2];              // 24, 29

    std::uint16_t Kind() const { return ReadBigEndian(KindBytes); }
    void SetKind(std::uint16_t kind) { WriteBigEndian(KindBytes, kind); }
    std::uint8_t KindHigh() const { return KindBytes[0]; }
    std::uint8_t KindLow() const { return KindBytes[1]; }

    // FeliCa (every kind but ISO15693): system code, big-endian at offset 2.
    std::uint16_t SystemCode() const { return ReadBigEndian(KindSpecific); }
    void SetSystemCode(std::uint16_t code) { WriteBigEndian(KindSpecific, code); }
    // ISO15693: offsets 2, 3 and 4.
    std::uint8_t Afi() const { return KindSpecific[0]; }
    std::uint8_t IsoByte3() const { return KindSpecific[1]; }
    std::uint8_t BlockConfig() const { return KindSpecific[2]; }
    // FeliCa: service code of area 1 and the S read, little-endian at offset 6.
    std::uint16_t ServiceCode() const { return ReadLittleEndian(KindSpecific + 4); }
    void SetServiceCode(std::uint16_t code) { WriteLittleEndian(KindSpecific + 4, code); }
    // FeliCa: service code of area 2 for plain reads, little-endian at offset 27; 0 = ServiceCode.
    std::uint16_t SecondServiceCode() const { return ReadLittleEndian(Areas[0].Extra); }
    void SetSecondServiceCode(std::uint16_t code) { WriteLittleEndian(Areas[0].Extra, code); }

    CardKind Classify() const;
    bool InUse() const { return (KindBytes[0] & 0x80) != 0; }
    int OutputCode() const { return KindBytes[0] & 0x07; }
    bool ReadsData() const { return (KindBytes[1] & 0x01) != 0; }       // "Block Area"
    bool FelicaSsfc() const { return (KindBytes[1] & 0x20) != 0; }
    int MifareUidSize() const { return (KindBytes[1] & 0x06) >> 1; }    // 0 any, 1: 4, 2: 7, 3: 10
    bool MifareSle55r() const { return (KindBytes[1] & 0x08) != 0; }
    int MifareAuthKey() const { return (KindBytes[1] & 0x30) >> 4; }    // 0 key A, 1 key B, 2 none

    static std::uint16_t ReadBigEndian(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
    }
    static std::uint16_t ReadLittleEndian(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[1] << 8 | p[0]);
    }
    static void WriteBigEndian(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v >> 8);
        p[1] = static_cast<std::uint8_t>(v);
    }
    static void WriteLittleEndian(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
};

inline constexpr std::size_t kCardEntryCount = 3;

// The image, 244 bytes; zero-initialised by CardParamImage{}.
struct CardParamImage {
    std::uint8_t Flags;              // 0: bit 7 temporary change; bits 0..6 carried
    CardEntry Entries[kCardEntryCount];  // 1, 35, 69
    std::uint8_t Spare[70];          // 103: carried unchanged
    std::uint8_t Width1;             // 173: fixed width of area 1; 0 = no fixed widths
    std::uint8_t Width2;             // 174: fixed width of area 2
    std::uint8_t ReaderKeysPresent;  // 175: nonzero = ReaderKeys hold the reader keys
    TwAuthKeys ReaderKeys;           // 176..207: Id, Kar, Kbr, Kcr
    std::uint8_t Tail[36];           // 208: carried unchanged

    static constexpr std::uint8_t kTemporaryChange = 0x80;

    std::uint8_t* Data() { return reinterpret_cast<std::uint8_t*>(this); }
    const std::uint8_t* Data() const { return reinterpret_cast<const std::uint8_t*>(this); }

    bool HasReaderKeys() const { return ReaderKeysPresent != 0; }
    // Stores the keys and marks them present, as the communication settings path does.
    void SetReaderKeys(const TwAuthKeys& keys) {
        ReaderKeys = keys;
        ReaderKeysPresent = 1;
    }
};

inline constexpr std::size_t kCardParamImageSize = 244;
inline constexpr std::size_t kCardEntrySize = 34;
inline constexpr std::size_t kWidth1Offset = 173;
inline constexpr std::size_t kWidth2Offset = 174;
inline constexpr std::size_t kReaderKeysPresentOffset = 175;
inline constexpr std::size_t kReaderKeysOffset = 176;

static_assert(sizeof(CardArea) == 5);
static_assert(sizeof(CardEntry) == kCardEntrySize);
static_assert(offsetof(CardEntry, MifareKey) == 8 && offsetof(CardEntry, Areas) == 24);
static_assert(sizeof(CardParamImage) == kCardParamImageSize);
static_assert(offsetof(CardParamImage, Entries) == 1);
static_assert(offsetof(CardParamImage, Spare) == 103);
static_assert(offsetof(CardParamImage, Width1) == kWidth1Offset);
static_assert(offsetof(CardParamImage, Width2) == kWidth2Offset);
static_assert(offsetof(CardParamImage, ReaderKeysPresent) == kReaderKeysPresentOffset);
static_assert(offsetof(CardParamImage, ReaderKeys) == kReaderKeysOffset);
static_assert(offsetof(CardParamImage, Tail) == 208);

// Entry i of an image held as raw bytes starts at 1 + 34 i.
inline constexpr std::size_t EntryOffset(std::size_t i) { return 1 + kCardEntrySize * i; }

}  // namespace tapwedge
