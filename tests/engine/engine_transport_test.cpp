// The three read paths once over each transport, on a reader in its encrypted session: every
// command and reply of a read goes sealed through the library, the transport and the simulator.
#include <gtest/gtest.h>
#include <tagwire/tagwire.h>

#include "engine_rig.h"

namespace engine_rig {
namespace {

using tapwedge::sim::Block16;

class EngineOverTransport : public EngineTest {
protected:
    EngineOverTransport() : EngineTest(0) {}
};

Block16 Pattern(std::uint8_t tag) {
    Block16 b{};
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(tag + i);
    return b;
}

Bytes Of(const Block16& b, std::size_t start, std::size_t length) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(start),
                 b.begin() + static_cast<std::ptrdiff_t>(start + length));
}

TEST_P(EngineOverTransport, FelicaMifareAndIso15693CardsAreRead) {
    // FeliCa: two plain areas of two services.
    tapwedge::sim::FelicaCard felica;
    // The second area is the longest there is: 64 bytes from byte 15 on, five blocks.
    felica.services = {{.code = 0x100B, .blocks = {Pattern(0x10), Pattern(0x20)}},
                       {.code = 0x1009,
                        .blocks = {Pattern(0x30), Pattern(0x40), Pattern(0x50), Pattern(0x60),
                                   Pattern(0x70)}}};
    int handle = sim().AddCard(felica);
    Decode({{.kind = 0x9201, .system_code = 0xFFFF, .service_code = 0x100B,
             .second_service = 0x1009, .areas = {{1, 4, 8}, {0, 15, 64}}}});
    EXPECT_EQ(Tick(), 72);
    EXPECT_EQ(Data(), card_rig::Cat({Of(Pattern(0x20), 4, 8), Of(Pattern(0x30), 15, 1),
                                     Of(Pattern(0x40), 0, 16), Of(Pattern(0x50), 0, 16),
                                     Of(Pattern(0x60), 0, 16), Of(Pattern(0x70), 0, 15)}));
    EXPECT_EQ(Id(), Bytes(felica.idm.begin(), felica.idm.end()));
    EXPECT_TRUE(sim().Commands().front().sealed);
    sim().TakeAway(handle);

    // Mifare: blocks 4 and 9 with key B.
    tapwedge::sim::MifareCard mifare = tapwedge::sim::MifareCard::Classic({0x04, 0x01, 0x02, 0x03});
    mifare.blocks[4] = Pattern(0x40);
    mifare.blocks[9] = Pattern(0x90);
    handle = sim().AddCard(mifare);
    Decode({{.kind = 0x9251, .areas = {{4, 0, 16}, {9, 8, 8}}}}, 0);
    EXPECT_EQ(Tick(), 24);
    EXPECT_EQ(Data(), card_rig::Cat({Of(Pattern(0x40), 0, 16), Of(Pattern(0x90), 8, 8)}));
    EXPECT_EQ(Id(), (Bytes{0x03, 0x02, 0x01, 0x04}));
    sim().TakeAway(handle);

    // ISO15693: a short multiple-block read, then the longest (20 blocks for both segments).
    tapwedge::sim::Iso15693Card iso;
    for (std::uint8_t b = 0; b < 24; ++b) iso.blocks.push_back({b, 0x11, 0x22, 0x33});
    Bytes run;
    for (const Bytes& block : iso.blocks) run.insert(run.end(), block.begin(), block.end());
    auto part = [&](std::size_t from, std::size_t n) {
        return Bytes(run.begin() + static_cast<std::ptrdiff_t>(from),
                     run.begin() + static_cast<std::ptrdiff_t>(from + n));
    };
    sim().AddCard(iso);
    Decode({{.kind = 0x92C1, .areas = {{2, 1, 9}, {1, 15, 64}}}});
    EXPECT_EQ(Tick(), 73);
    EXPECT_EQ(Data(), card_rig::Cat({part(2 * 4 + 1, 9), part(4 + 15, 64)}));
    EXPECT_EQ(Id(), Bytes(iso.uid.begin(), iso.uid.end()));
}

INSTANTIATE_TEST_SUITE_P(Transports, EngineOverTransport,
                         testing::Values(Transport::Usb, Transport::Com), card_rig::TransportName);

}  // namespace
}  // namespace engine_rig
