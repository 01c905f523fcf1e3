// Decoding of the card-parameter image into the engine's entries. The image is read by byte
// offset: entry i at 1 + 34 i, the widths at 173 and 174.
#include "core/card_read_engine.h"

namespace tapwedge {
namespace {

constexpr int kEntryOffset = 1;
constexpr int kEntrySize = 34;
constexpr int kWidth1Offset = 173;
constexpr int kWidth2Offset = 174;
constexpr int kAreaOffset = 24;  // two areas of five bytes: block, start, length, two more
constexpr int kAreaSize = 5;

std::uint16_t BigEndian(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

std::uint16_t LittleEndian(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void DecodeEntry(DecodedEntry& entry, const std::uint8_t* e, std::int32_t keyId) {
    entry.Kind = BigEndian(e);
    // Bytes 2 to 7 depend on the kind. The fields the other kind would use are cleared, so
    // that nothing of an earlier decode survives.
    if ((entry.Kind & 0x80C0) == 0x80C0) {
        entry.Afi = e[2];
        entry.BlockConfig = e[4];
        entry.SystemCode = 0;
        entry.ServiceCode = 0;
    } else {
        entry.SystemCode = BigEndian(e + 2);
        entry.ServiceCode = LittleEndian(e + 6);
        entry.Afi = 0;
        entry.BlockConfig = 0;
    }
    for (int j = 0; j < 2; ++j) {
        const std::uint8_t* area = e + kAreaOffset + kAreaSize * j;
        entry.Block[j] = area[0];
        entry.Start[j] = area[1] & 0x0F;
        entry.Length[j] = static_cast<std::uint8_t>(area[2] % 65);
    }
    entry.SecondServiceCode = LittleEndian(e + kAreaOffset + 3);
    entry.KeyId = keyId;
}

}  // namespace

int CardReadEngine::DecodeCardParams(const std::uint8_t* image, std::uint8_t uidOrder,
                                     std::int32_t keyId) {
    for (int i = 0; i < 3; ++i)
        DecodeEntry(Entries[i], image + kEntryOffset + kEntrySize * i, keyId);
    UidNormalOrder = uidOrder;
    Width1 = image[kWidth1Offset];
    Width2 = image[kWidth2Offset];
    return 0;
}

}  // namespace tapwedge
