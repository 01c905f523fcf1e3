#pragma once
// The two records a card read fills: raw bytes from the card-read engine, then their text.
#include <cstdint>

namespace tapwedge {

struct CardIdRecord {
    std::int32_t Length = 0;
    std::uint8_t Bytes[20] = {};  // IDm or UID; its hexadecimal text (a 10-byte UID gives 20)
};

struct CardDataRecord {
    std::int32_t Length = 0;
    std::uint8_t Bytes[260] = {};  // the data areas; then their text
};

}  // namespace tapwedge
