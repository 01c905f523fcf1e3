#pragma once
// Where the data of the rig's standard cards lies (standard_cards.h), for the card entries that
// read it (program_files.h).
#include <cstdint>

namespace rig {

// Where the data areas of the standard card entries lie.
struct AreaPlace {
    std::uint8_t block, start, length;
};

// FeliCa: plain service 0x100B; area 1 = 8 bytes from block 0, byte 0.
inline constexpr std::uint16_t kFelicaService = 0x100B;
inline constexpr AreaPlace kFelicaArea{0, 0, 8};
// Mifare: key A (the reader's transport key slot 0); area 1 = 6 bytes of block 4 from byte 0,
// area 2 = 4 bytes of block 5 from byte 8 (the same sector).
inline constexpr AreaPlace kMifareAreas[2] = {{4, 0, 6}, {5, 8, 4}};
// ISO15693: 4-byte blocks; area 1 = 6 bytes from block 1, byte 2.
inline constexpr AreaPlace kIso15693Area{1, 2, 6};

}  // namespace rig
