// FeliCa block reading and writing: the plain commands on one service, the authenticated
// commands on the services opened by card authentication, and the reader's S block commands.
#include <algorithm>
#include <cstring>

#include "card_command_support.h"

namespace {

constexpr std::size_t kIdmSize = 8;
constexpr std::size_t kBlockSize = 16;
constexpr std::int32_t kMaxBlocks = 8;
constexpr int kBlockReplyMinimum = 4;
// Block data follows the status flags and the reader's own block count.
constexpr std::size_t kBlockDataAt = 5;

// A block count the commands can carry: 0..8.
bool CountAllowed(std::int32_t count) { return count >= 0 && count <= kMaxBlocks; }

// Appends `count` block list elements for blocks first, first + 1, ... to `out`; `head` is
// 0x8000 with the service index in the high byte. Computed in 16 bits: a block number above
// 255 is OR-ed into the high byte.
std::uint8_t* PutBlockElements(std::uint8_t* out, std::uint16_t head, std::int32_t first,
                               std::int32_t count) {
    for (std::int32_t j = 0; j < count; ++j) {
        const auto block = static_cast<std::uint16_t>(static_cast<std::uint32_t>(first) + j);
        PutU16Be(static_cast<std::uint16_t>(head | block), out);
        out += 2;
    }
    return out;
}

// Status flags of a block reply, then its data when `data` is given: `count` blocks that the
// reply must hold whole.
std::int32_t BlockReply(const std::uint8_t* reply, std::uint8_t expected, std::int32_t count,
                        std::uint8_t* data) {
    std::int32_t status = CheckResponse(reply, expected, kBlockReplyMinimum);
    if (status != TW_OK) return status;
    status = CardStatusResult(TwoByteStatus(reply));
    if (status != TW_OK || data == nullptr || count == 0) return status;
    const std::size_t bytes = static_cast<std::size_t>(count) * kBlockSize;
    if (reply[0] < kBlockDataAt + bytes) return TW_ERR_SHORT_REPLY;
    std::memcpy(data, reply + kBlockDataAt, bytes);
    return TW_OK;
}

// The common course of the four block commands. `authenticated`: the commands on the services
// opened by card authentication (service index in the elements), else the plain ones on
// `serviceCode` of the card `idm`. A read copies the blocks into `readData` (the Data of
// `blocks`); a write sends the blocks' data after the elements.
enum class Direction { Read, Write };
std::int32_t BlockCommand(Direction direction, bool authenticated, const std::uint8_t* idm,
                          std::uint16_t serviceCode, std::int32_t serviceIndex,
                          const TwBlockList* blocks, std::uint8_t* readData) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (authenticated && !context->Authenticated.load()) return TW_ERR_NOT_AUTHENTICATED;
    if (blocks == nullptr || (!authenticated && idm == nullptr)) return TW_ERR_PARAM;
    const std::int32_t n = blocks->Count;
    if (!CountAllowed(n)) return TW_ERR_TOO_MANY;

    const bool write = direction == Direction::Write;
    WorkBuffer buffer{};
    const std::int32_t perBlock = write ? 2 + static_cast<std::int32_t>(kBlockSize) : 2;
    std::uint8_t* at = buffer + 2;
    std::uint16_t head = 0x8000;
    if (authenticated) {
        buffer[0] = static_cast<std::uint8_t>(7 + perBlock * n);
        buffer[1] = write ? 0x16 : 0x14;
        at += 4;  // four zero bytes
        head = static_cast<std::uint16_t>(head | (static_cast<std::uint32_t>(serviceIndex) << 8));
    } else {
        buffer[0] = static_cast<std::uint8_t>(14 + perBlock * n);
        buffer[1] = write ? 0x08 : 0x06;
        std::memcpy(at, idm, kIdmSize);
        at += kIdmSize;
        *at++ = 0x01;  // one service
        PutU16Le(serviceCode, at);
        at += 2;
    }
    *at++ = static_cast<std::uint8_t>(n);
    at = PutBlockElements(at, head, blocks->First, n);
    if (write) std::memcpy(at, blocks->Data, static_cast<std::size_t>(n) * kBlockSize);

    const std::uint8_t expected = static_cast<std::uint8_t>(buffer[1] + 1);
    const std::int32_t status = Transceive(*context, buffer, buffer);
    if (status != TW_OK) return status;
    return BlockReply(buffer, expected, n, readData);
}

}  // namespace

extern "C" {

TAGWIRE_EXPORT std::int32_t TwReadBlock(std::int32_t serviceIndex, TwBlockList* blocks) {
    return BlockCommand(Direction::Read, true, nullptr, 0, serviceIndex, blocks,
                        blocks ? blocks->Data : nullptr);
}

TAGWIRE_EXPORT std::int32_t TwWriteBlock(std::int32_t serviceIndex, const TwBlockList* blocks) {
    return BlockCommand(Direction::Write, true, nullptr, 0, serviceIndex, blocks, nullptr);
}

TAGWIRE_EXPORT std::int32_t TwPlainReadBlock(const std::uint8_t idm[8], std::uint16_t serviceCode,
                                             TwBlockList* blocks) {
    return BlockCommand(Direction::Read, false, idm, serviceCode, 0, blocks,
                        blocks ? blocks->Data : nullptr);
}

TAGWIRE_EXPORT std::int32_t TwPlainWriteBlock(const std::uint8_t idm[8],
                                              std::uint16_t serviceCode,
                                              const TwBlockList* blocks) {
    return BlockCommand(Direction::Write, false, idm, serviceCode, 0, blocks, nullptr);
}

TAGWIRE_EXPORT std::int32_t TwSReadBlock(const std::uint8_t idm[8], std::uint16_t serviceCode,
                                         std::int32_t blockCount, TwSReadBuffer* out) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (idm == nullptr || out == nullptr) return TW_ERR_PARAM;

    WorkBuffer buffer{};
    buffer[0] = 14;
    buffer[1] = 0x26;
    std::memcpy(buffer + 2, idm, kIdmSize);
    buffer[10] = 0x01;
    PutU16Le(serviceCode, buffer + 11);
    buffer[13] = LowByte(blockCount);
    std::int32_t status = Transceive(*context, buffer, buffer);
    if (status != TW_OK) return status;
    status = BlockReply(buffer, 0x27, 0, nullptr);
    if (status != TW_OK) return status;

    // The reader's block count, as far as the reply holds whole blocks and the caller's record
    // takes them: it has room for the blocks asked for, at most 8.
    const std::size_t held = buffer[0] > kBlockDataAt ? (buffer[0] - kBlockDataAt) / kBlockSize : 0;
    const std::size_t asked = LowByte(blockCount);
    const std::size_t count =
        buffer[0] > 4 ? std::min<std::size_t>({buffer[4], held, asked, kMaxBlocks}) : 0;
    out->Count = static_cast<std::int32_t>(count);
    std::memcpy(out->Data, buffer + kBlockDataAt, count * kBlockSize);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t TwSWriteBlock(const std::uint8_t idm[8], std::uint16_t serviceCode,
                                          std::int32_t blockCount, const TwSReadBuffer* in) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (idm == nullptr || in == nullptr) return TW_ERR_PARAM;
    const std::int32_t n = in->Count;
    if (!CountAllowed(n)) return TW_ERR_TOO_MANY;

    WorkBuffer buffer{};
    buffer[0] = static_cast<std::uint8_t>(16 * n + 14);
    buffer[1] = 0x28;
    std::memcpy(buffer + 2, idm, kIdmSize);
    buffer[10] = 0x01;
    PutU16Le(serviceCode, buffer + 11);
    // The count byte comes from blockCount, the data from the record's Count.
    buffer[13] = LowByte(blockCount);
    std::memcpy(buffer + 14, in->Data, static_cast<std::size_t>(n) * kBlockSize);
    const std::int32_t status = Transceive(*context, buffer, buffer);
    if (status != TW_OK) return status;
    return BlockReply(buffer, 0x29, 0, nullptr);
}

}  // extern "C"
