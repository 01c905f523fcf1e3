#pragma once
// Request object of the ISO15693 path: wraps ISO 15693-3 requests into the reader's
// pass-through command. It holds no state; the card-read engine owns one.
//
// Request and reply buffers (kBufferSize bytes each): byte 0 = length counting itself, then the
// ISO 15693-3 frame without CRC (request: flags, command, parameters; reply: response flags,
// then data).
#include <cstdint>

namespace tapwedge {

class Iso15693Helper {
public:
    static constexpr int kBufferSize = 256;
    static constexpr int kMaxRequestLength = kBufferSize - 1 - 4;  // its pass-through must fit

    // ISO 15693-3 request flags and commands.
    static constexpr std::uint8_t kFlagHighDataRate = 0x02;
    static constexpr std::uint8_t kFlagInventory = 0x04;
    static constexpr std::uint8_t kFlagAfi = 0x10;      // inventory: AFI present
    static constexpr std::uint8_t kFlagOneSlot = 0x20;  // inventory: one slot; else: addressed
    static constexpr std::uint8_t kFlagOption = 0x40;
    static constexpr std::uint8_t kCommandInventory = 0x01;
    static constexpr std::uint8_t kCommandStayQuiet = 0x02;
    static constexpr std::uint8_t kCommandReadSingleBlock = 0x20;
    static constexpr std::uint8_t kCommandReadMultipleBlocks = 0x23;

    // Sends the request through the reader's pass-through 0x4C and writes the card's response
    // into reply. Returns 0; -1 for an empty or over-long request or a pass-through reply
    // shorter than 5 bytes; a reader library status; or the reader's nonzero 16-bit status
    // (the response is written then too).
    std::int32_t Iso15693Transceive(std::uint8_t* reply, const std::uint8_t* request);

    // One-slot inventory: writes the response flags and DSFID + UID (9 bytes). Returns 0, -1
    // (no single card answered, or not a one-slot inventory), or the Iso15693Transceive result.
    std::int32_t Iso15693Inventory(std::uint8_t& responseFlags, std::uint8_t* inventoryData,
                                   std::uint8_t afi, std::uint8_t flags);

    // Addressed stay quiet to the card with this 8-byte UID; the card sends no answer.
    std::int32_t Iso15693StayQuiet(const std::uint8_t* uid);
};

}  // namespace tapwedge
