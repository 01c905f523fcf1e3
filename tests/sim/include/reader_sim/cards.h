#pragma once
// Cards that tests put into the simulated reader's field. Every field is plain data: a test
// builds a card, hands it to ReaderSim::AddCard, and later reads it back to check writes.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "reader_sim/frames.h"
#include "reader_sim/sealed_channel.h"

namespace tapwedge::sim {

using Block16 = std::array<std::uint8_t, 16>;

// --- FeliCa ---
struct FelicaService {
    // Attribute bit 0 set: no card authentication needed (plain); clear: secured.
    // Bit 1 set: read-only.
    std::uint16_t code = 0x000B;
    std::vector<Block16> blocks{};
    Block8 key{};                 // secured: the key a reader key entry must carry for this code
    std::uint16_t key_version = 0;
    bool Plain() const { return (code & 0x01) != 0; }
    bool ReadOnly() const { return (code & 0x02) != 0; }
};

struct FelicaArea {
    std::uint16_t code = 0x0000;
    std::uint16_t end_code = 0xFFFE;
    std::uint16_t key_version = 0;
};

struct FelicaCard {
    Block8 idm{0x01, 0x2E, 0x4C, 0x00, 0x11, 0x22, 0x33, 0x44};
    Block8 pmm{0x03, 0x32, 0x42, 0x82, 0x82, 0x47, 0xAA, 0xFF};
    std::vector<std::uint16_t> system_codes{0x0003};
    std::vector<FelicaArea> areas{FelicaArea{}};
    std::vector<FelicaService> services{};
    std::uint8_t mode = 0;                // the answer to request response
    std::optional<Block8> system_key{};   // when set, card-key entries must carry it as their key
};

// --- Mifare (and SLE55R, found the same way) ---
struct MifareCard {
    Bytes uid{0x04, 0xA1, 0xB2, 0xC3};          // 4, 7 or 10 bytes
    std::array<std::uint8_t, 3> info{0x00, 0x04, 0x08};  // reported before the UID
    // Blocks 0..127 form sectors of 4 blocks, blocks 128..255 sectors of 16; the last block of
    // each sector is its trailer: key A (bytes 0..5), access bits, key B (bytes 10..15).
    std::vector<Block16> blocks{};
    bool needs_authentication = true;  // false: blocks read without sector authentication
    // SLE55R memory, read through command 0xDA from a page on (empty: not an SLE55R).
    Bytes pages{};
    std::size_t page_size = 8;
    std::size_t page_read = 32;  // bytes a page read returns (fewer at the end of memory)

    // A card of 64 blocks (1K) or 256 blocks (4K) with transport keys FF FF FF FF FF FF.
    static MifareCard Classic(Bytes uid, std::size_t block_count = 64);
    static MifareCard Sle55r(Bytes uid, Bytes pages);
    static bool IsTrailer(std::size_t block) { return block < 128 ? (block & 3) == 3 : (block & 15) == 15; }
    static std::size_t SectorOf(std::size_t block) { return block < 128 ? block / 4 : 32 + (block - 128) / 16; }
    static std::size_t TrailerOf(std::size_t block) { return block < 128 ? (block | 3) : (block | 15); }
};

// A value block as the card keeps it: value, its complement, value, then the address bytes.
Block16 MifareValueBlock(std::int32_t value, std::uint8_t address);

// --- ISO15693 ---
struct Iso15693Card {
    Block8 uid{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x04, 0xE0};  // as the card sends it, LSB first
    std::uint8_t dsfid = 0x00;
    std::uint8_t afi = 0x00;
    std::size_t block_size = 4;      // 4 or 8
    std::vector<Bytes> blocks{};     // each block_size bytes
    std::vector<std::uint8_t> security{};  // block security status bytes (0 when missing)
};

}  // namespace tapwedge::sim
