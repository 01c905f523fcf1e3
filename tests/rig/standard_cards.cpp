#include "standard_cards.h"

namespace rig {

using tapwedge::sim::Block16;
using tapwedge::sim::Bytes;

tapwedge::sim::FelicaCard StandardFelicaCard() {
    tapwedge::sim::FelicaCard card;
    card.idm = {0x01, 0x2E, 0x4C, 0x00, 0x11, 0x22, 0x33, 0x44};
    card.system_codes = {0x0003};
    tapwedge::sim::FelicaService service;
    service.code = kFelicaService;
    service.blocks = {
        Block16{0xF1, 0x00, 0xF1, 0x01, 0xF1, 0x02, 0xF1, 0x03, 0xF1, 0x04, 0xF1, 0x05, 0xF1, 0x06, 0xF1, 0x07},
        Block16{0xF1, 0x10, 0xF1, 0x11, 0xF1, 0x12, 0xF1, 0x13, 0xF1, 0x14, 0xF1, 0x15, 0xF1, 0x16, 0xF1, 0x17},
    };
    card.services = {service};
    return card;
}

tapwedge::sim::MifareCard StandardMifareCard() {
    tapwedge::sim::MifareCard card = tapwedge::sim::MifareCard::Classic(Bytes{0x04, 0xA1, 0xB2, 0xC3});
    // Block b holds B0+b in its even bytes and its byte index in the odd ones.
    for (std::size_t b : {4, 5, 6}) {
        for (std::size_t i = 0; i < 16; ++i)
            card.blocks[b][i] = static_cast<std::uint8_t>(i % 2 == 0 ? 0xB0 + b : i);
    }
    return card;
}

tapwedge::sim::Iso15693Card StandardIso15693Card() {
    tapwedge::sim::Iso15693Card card;
    card.uid = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x04, 0xE0};
    card.block_size = 4;
    for (std::uint8_t b = 0; b < 8; ++b)
        card.blocks.push_back(Bytes{static_cast<std::uint8_t>(0xC0 + b), 0x0A, 0x0B, 0x0C});
    return card;
}

}  // namespace rig
