// FeliCa path of the card-read engine: polling, repeat suppression, and the segments read as
// plain blocks, as blocks after card authentication, or cut from one S read of three blocks.
#include <tagwire/tagwire.h>

#include <algorithm>
#include <cstring>

#include "core/card_read_engine.h"
#include "core/link_faults.h"

namespace tapwedge {
namespace {

constexpr int kBlockSize = 16;
constexpr int kSReadBlocks = 3;                              // blocks of the SSFC read
constexpr int kSReadBytes = kSReadBlocks * kBlockSize;       // 48
constexpr std::int32_t kSsfcReaderEdition = 2;               // the edition that reads SSFC
constexpr std::uint16_t kServicePlainAccess = 0x0001;        // service readable without auth

// Blocks that hold Start + Length bytes: 1..5 for Start <= 15, Length <= 64.
std::int32_t BlockCount(int start, int length) {
    const int end = start + length;
    return ((end >> 4) & 7) + ((end & 0x0F) != 0 ? 1 : 0);
}

// Reads the segments by read(service of segment j, blocks); stops at the first empty segment.
// Returns the bytes appended, or 0 when a read failed (its status and earlier data are dropped).
template <typename ReadBlocks>
std::int32_t ReadBlockSegments(std::uint8_t* dest, const DecodedEntry& entry, ReadBlocks read) {
    std::int32_t total = 0;
    for (int j = 0; j < 2 && entry.Length[j] != 0; ++j) {
        TwBlockList blocks{};
        blocks.First = entry.Block[j];
        blocks.Count = BlockCount(entry.Start[j], entry.Length[j]);
        if (read(j, blocks) != TW_OK) return 0;
        std::memcpy(dest + total, blocks.Data + entry.Start[j], entry.Length[j]);
        total += entry.Length[j];
    }
    return total;
}

}  // namespace

std::int32_t CardReadEngine::ReadFelicaCard(CardIdRecord& id, CardDataRecord& data,
                                            std::int32_t readerType, const DecodedEntry& entry) {
    data.Length = 0;
    id.Length = 0;

    const std::int32_t r = Seen(TwFindCard(entry.SystemCode, id.Bytes, PmmBuffer));
    if (r != TW_OK) {
        // A poll lost on the line says nothing about the card: it may still lie there.
        if (LinkFaultOf(r) == LinkFault::None) FelicaPresent = false;
        return r | CARD_ERROR_FLAG;
    }
    // The same card still on the reader: nothing more is sent, the field stays on.
    if (FelicaPresent && std::memcmp(id.Bytes, LastIdm, sizeof LastIdm) == 0) return 0;

    FelicaPresent = true;
    id.Length = 8;
    std::memcpy(LastIdm, id.Bytes, sizeof LastIdm);
    if ((entry.Kind & kKindReadData) == 0) return 8;

    const bool ssfc = (entry.Kind & kKindSsfc) != 0;
    std::int32_t n = 0;
    if (entry.ServiceCode & kServicePlainAccess) {
        if (!ssfc)
            n = ReadPlainSegments(data.Bytes, LastIdm, entry);
        else if ((readerType & 0x0F) == kSsfcReaderEdition)
            n = ReadSSegments(data.Bytes, LastIdm, entry);
    } else {
        if (Seen(TwCardAuthentication(LastIdm, entry.KeyId)) != TW_OK) {
            FelicaPresent = false;
            Seen(TwTurnOff());
            return kReadCardAuthFailed;
        }
        n = ssfc ? ReadSSegments(data.Bytes, LastIdm, entry)
                 : ReadAuthSegments(data.Bytes, LastIdm, entry);
    }

    data.Length = std::max(n, 0);       // never a negative length in the record
    if (n <= 0) FelicaPresent = false;  // read the card again on the next tick
    return n;
}

std::int32_t CardReadEngine::ReadPlainSegments(std::uint8_t* dest, const std::uint8_t* idm,
                                               const DecodedEntry& entry) {
    const std::uint16_t second =
        entry.SecondServiceCode != 0 ? entry.SecondServiceCode : entry.ServiceCode;
    return ReadBlockSegments(dest, entry, [&](int j, TwBlockList& blocks) {
        return Seen(TwPlainReadBlock(idm, j == 0 ? entry.ServiceCode : second, &blocks));
    });
}

std::int32_t CardReadEngine::ReadAuthSegments(std::uint8_t* dest, const std::uint8_t* /*idm*/,
                                              const DecodedEntry& entry) {
    // Service index 0: the service the card authentication opened, for both segments.
    return ReadBlockSegments(dest, entry,
                             [this](int, TwBlockList& blocks) { return Seen(TwReadBlock(0, &blocks)); });
}

std::int32_t CardReadEngine::ReadSSegments(std::uint8_t* dest, const std::uint8_t* idm,
                                           const DecodedEntry& entry) {
    TwSReadBuffer buffer{};
    const std::int32_t r = Seen(TwSReadBlock(idm, entry.ServiceCode, kSReadBlocks, &buffer));
    if (r != TW_OK) return r | CARD_ERROR_FLAG;

    // Each segment yields the bytes of it that lie inside the three blocks read.
    std::int32_t total = 0;
    for (int j = 0; j < 2; ++j) {
        const int from = entry.Block[j] * kBlockSize + entry.Start[j];
        const int count = std::clamp(kSReadBytes - from, 0, static_cast<int>(entry.Length[j]));
        if (count > 0) std::memcpy(dest + total, buffer.Data + from, static_cast<std::size_t>(count));
        total += count;
    }
    return total;
}

}  // namespace tapwedge
