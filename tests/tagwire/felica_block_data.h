#pragma once
// Block data and block lists of the FeliCa block command tests.
#include <cstring>

#include "card_rig.h"
#include "tagwire/tagwire.h"

namespace card_rig {

// The test card's IDm.
inline const std::uint8_t kIdm[8] = {0x01, 0x2E, 0x4C, 0x5D, 0x6E, 0x7F, 0x80, 0x91};
inline const Bytes kIdmBytes(kIdm, kIdm + 8);

// Blocks 0x10, 0x11, ... : block b holds 16 bytes of value b.
inline Bytes Blocks(int count) {
    Bytes data;
    for (int b = 0; b < count; ++b) data.insert(data.end(), 16, static_cast<std::uint8_t>(0x10 + b));
    return data;
}

// A block list of `count` blocks from `first`, the rest of the record filled with 0xEE.
inline TwBlockList List(std::int32_t first, std::int32_t count) {
    TwBlockList list;
    std::memset(&list, 0xEE, sizeof list);
    list.First = first;
    list.Count = count;
    return list;
}

}  // namespace card_rig
