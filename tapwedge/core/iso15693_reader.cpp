// ISO15693 path of the card-read engine: one-slot inventory, repeat suppression, the segments
// read with ReadSingleBlock or ReadMultipleBlocks, then stay quiet for the card.
#include <algorithm>
#include <cstring>

#include "core/card_read_engine.h"
#include "core/iso15693_helper.h"
#include "core/link_faults.h"
#include "core/text_format.h"

namespace tapwedge {
namespace {

constexpr std::uint8_t kConfigOptionFlag = 0x40;   // single block with the option flag
constexpr std::uint8_t kConfigSingleBlock = 0x80;  // single block without it
constexpr int kUidBytes = 8;

// 4 x (c + 1) bytes for c = BlockConfig & 0x0F, where c = 15 gives 4.
int BlockSizeOf(std::uint8_t blockConfig) {
    const int size = ((blockConfig + 1) & 0x0F) * 4;
    return size != 0 ? size : 4;
}

}  // namespace

std::int32_t CardReadEngine::ReadIso15693Card(CardIdRecord& id, CardDataRecord& data,
                                              const DecodedEntry& entry) {
    data.Length = 0;
    id.Length = 0;

    using H = Iso15693Helper;
    std::uint8_t flags = H::kFlagHighDataRate | H::kFlagInventory | H::kFlagOneSlot;  // 0x26
    if (entry.Afi != 0) flags |= H::kFlagAfi;                                            // 0x36
    std::uint8_t responseFlags = 0;
    const std::int32_t r = Seen(Iso15693->Iso15693Inventory(responseFlags, InventoryData, entry.Afi, flags));
    if (r != 0 || responseFlags != 0) {
        // An inventory lost on the line says nothing about the card: it may still lie there.
        if (LinkFaultOf(r) == LinkFault::None) IsoPresent = false;
        return r | CARD_ERROR_FLAG;  // -1 stays -1
    }

    std::memcpy(id.Bytes, InventoryData + 1, kUidBytes);
    id.Length = kUidBytes;
    if (IsoPresent && std::memcmp(id.Bytes, LastIsoUid, kUidBytes) == 0) return 0;
    IsoPresent = true;
    std::memcpy(LastIsoUid, id.Bytes, kUidBytes);

    std::int32_t result = kUidBytes;
    if (entry.Kind & kKindReadData) {
        const int faultsBefore = LinkFaultsMet;
        result = ReadIso15693Segments(data.Bytes, LastIsoUid, entry);
        data.Length = std::max(result, 0);
        if (result <= 0 && LinkFaultsMet != faultsBefore) {
            // Lost on the line: not quiet, so that the next tick reads the card again.
            IsoPresent = false;
            return result;
        }
    }
    // Quiet also after a read the card refused: it answers no inventory until it leaves the field.
    Seen(Iso15693->Iso15693StayQuiet(LastIsoUid));
    if (UidNormalOrder == 0) ReverseBytes(id.Bytes, kUidBytes);  // LastIsoUid keeps card order
    return result;
}

std::int32_t CardReadEngine::ReadIso15693Segments(std::uint8_t* dest, const std::uint8_t* uid,
                                                  const DecodedEntry& entry) {
    std::int32_t total = 0;
    for (int j = 0; j < 2 && entry.Length[j] != 0; ++j) {
        const std::int32_t r = ReadIso15693Segment(dest + total, uid, entry, j);
        if (r <= 0) return r;  // an earlier segment's bytes are dropped
        total += entry.Length[j];
    }
    return total;
}

std::int32_t CardReadEngine::ReadIso15693Segment(std::uint8_t* dest, const std::uint8_t* /*uid*/,
                                                 const DecodedEntry& entry, int segment) {
    using H = Iso15693Helper;
    const int bs = BlockSizeOf(entry.BlockConfig);
    int offset = entry.Start[segment];
    const int wanted = entry.Length[segment];

    // The request frame; its last byte advances by extra + 1 after each reply.
    std::uint8_t request[H::kBufferSize] = {};
    int extra = 0;  // further blocks per request
    int s = 0;      // block security status byte before the data of each reply
    if (entry.BlockConfig & kConfigOptionFlag) {
        request[1] = H::kFlagOption | H::kFlagHighDataRate;  // 0x42
        request[2] = H::kCommandReadSingleBlock;
        request[3] = entry.Block[segment];
        request[0] = 4;
        s = 1;
    } else if (entry.BlockConfig & kConfigSingleBlock) {
        request[1] = H::kFlagHighDataRate;
        request[2] = H::kCommandReadSingleBlock;
        request[3] = entry.Block[segment];
        request[0] = 4;
    } else {
        const int end = offset + wanted;
        extra = std::max(((end / bs) & 0x1F) - (end % bs == 0 ? 1 : 0), 0);
        request[1] = H::kFlagHighDataRate;
        request[2] = H::kCommandReadMultipleBlocks;
        request[3] = entry.Block[segment];
        request[4] = static_cast<std::uint8_t>(extra);
        request[0] = 5;
    }
    const int last = request[0] - 1;

    int got = 0;
    while (got < wanted) {
        std::uint8_t reply[H::kBufferSize] = {};
        if (Seen(Iso15693->Iso15693Transceive(reply, request)) != 0) return kReadIsoSegmentFailed;
        const int length = reply[0];
        if (length < (extra + 1) * bs + s + 2 || reply[1] != 0) return kReadIsoSegmentFailed;
        // Reply: length, response flags, security byte when s, then the blocks.
        const int k = length - (s + 2) - offset;
        if (k < 0) return kReadIsoSegmentFailed;
        const int copied = std::min(k, wanted - got);
        std::memcpy(dest + got, reply + s + 2 + offset, static_cast<std::size_t>(copied));
        got += k;
        offset = 0;
        request[last] = static_cast<std::uint8_t>(request[last] + extra + 1);
    }
    return wanted;
}

}  // namespace tapwedge
