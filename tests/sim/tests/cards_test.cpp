// One card of each family in the simulated field, driven by a raw host over the pty.
#include <gtest/gtest.h>

#include "host_harness.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {
namespace {

using namespace std::chrono_literals;
using testing::PtyHost;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
template <std::size_t N>
Bytes B(const std::array<std::uint8_t, N>& a) { return Bytes(a.begin(), a.end()); }
Block16 Filled(std::uint8_t v) {
    Block16 b;
    b.fill(v);
    return b;
}

struct Rig {
    ReaderSim sim;
    PtyAttachment pty{sim};
    PtyHost host{pty.SlavePath()};
    void PasswordAuthenticate() {
        const ReaderKeys k;
        ASSERT_EQ(host.Exchange(Join({{0x70}, B(k.id), B(k.kar), B(k.kbr), B(k.kcr)})), (Bytes{0x71, 0x00}));
    }
};

TEST(SimCards, FelicaPollingBlocksAndCardAuthentication) {
    Rig rig;
    const Block8 key{1, 2, 3, 4, 5, 6, 7, 8};
    FelicaCard card;
    card.services = {{.code = 0x000B, .blocks = {Filled(0xA0), Filled(0xA1), Filled(0xA2)}},
                     {.code = 0x1008, .blocks = {Filled(0xB0), Filled(0xB1), Filled(0xB2)}, .key = key}};
    const int h = rig.sim.AddCard(card);
    const Bytes idm = B(card.idm);

    EXPECT_EQ(rig.host.Exchange({0x00, 0x00, 0x03, 0x00, 0x00, 0x00}), Join({{0x01}, idm, B(card.pmm)}));
    EXPECT_EQ(rig.host.Exchange({0x00, 0xFF, 0xFF, 0x01, 0x00, 0x00}), Join({{0x01}, idm, B(card.pmm), {0x00, 0x03}}));
    EXPECT_EQ(rig.host.Exchange({0x00, 0x80, 0x08, 0x00, 0x00, 0x00}), (Bytes{0x7E}));

    // Plain service: read three blocks; writes and the secured service are refused.
    EXPECT_EQ(rig.host.Exchange(Join({{0x06}, idm, {0x01, 0x0B, 0x00, 0x03, 0x80, 0x00, 0x80, 0x01, 0x80, 0x02}})),
              Join({{0x07, 0x00, 0x00, 0x03}, B(Filled(0xA0)), B(Filled(0xA1)), B(Filled(0xA2))}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x08}, idm, {0x01, 0x09, 0x00, 0x01, 0x80, 0x00}, B(Filled(0x55))})),
              (Bytes{0x09, 0xFF, 0xA6}));  // 0x0009 is not a service of the card
    EXPECT_EQ(rig.host.Exchange(Join({{0x08}, idm, {0x01, 0x0B, 0x00, 0x01, 0x80, 0x00}, B(Filled(0x55))})),
              (Bytes{0x09, 0x01, 0xA5}));  // 0x000B is read-only
    EXPECT_EQ(rig.host.Exchange(Join({{0x06}, idm, {0x01, 0x08, 0x10, 0x01, 0x80, 0x00}})), (Bytes{0x07, 0x01, 0xA5}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x06}, idm, {0x01, 0x0B, 0x00, 0x01, 0x80, 0x03}})), (Bytes{0x07, 0x01, 0xA8}));

    // Inquiries.
    EXPECT_EQ(rig.host.Exchange(Join({{0x0A}, idm, {0x00, 0x00}})), (Bytes{0x0B, 0x00, 0x00, 0xFE, 0xFF}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x0A}, idm, {0x02, 0x00}})), (Bytes{0x0B, 0x08, 0x10}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x02}, idm, {0x02, 0x08, 0x10, 0x99, 0x99}})), (Bytes{0x03, 2, 0, 0, 0xFF, 0xFF}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x04}, idm})), (Bytes{0x05, 0x00}));

    // Card authentication with a registered key, then the secured service by index 0.
    rig.PasswordAuthenticate();
    EXPECT_EQ(rig.host.Exchange(Join({{0x0C}, idm})), (Bytes{0x0D, 1, 0x00, 0x03}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x18, 0x00}, Bytes(8, 0), {1, 0x08, 0x10}, B(key), {0}})),
              (Bytes{0x19, 0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x10}, idm, {0x00, 0x00, 0x00, 0x02}})), (Bytes{0x7F}));  // unknown key ID
    EXPECT_EQ(rig.host.Exchange(Join({{0x10}, idm, {0x00, 0x00, 0x00, 0x01}})), (Bytes{0x11, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0x14, 0, 0, 0, 0, 0x02, 0x80, 0x01, 0x80, 0x02}),
              Join({{0x15, 0x00, 0x00, 0x02}, B(Filled(0xB1)), B(Filled(0xB2))}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x16, 0, 0, 0, 0, 0x01, 0x80, 0x00}, B(Filled(0x77))})), (Bytes{0x17, 0x00, 0x00}));
    EXPECT_EQ(rig.host.Exchange(Join({{0x26}, idm, {0x01, 0x08, 0x10, 0x03}})),
              Join({{0x27, 0x00, 0x00, 0x03}, B(Filled(0x77)), B(Filled(0xB1)), B(Filled(0xB2))}));
    EXPECT_EQ(rig.sim.Felica(h)->services[1].blocks[0], Filled(0x77));

    // RF off ends the card authentication.
    EXPECT_EQ(rig.host.Exchange({0x54}), (Bytes{0x55}));
    EXPECT_EQ(rig.host.Exchange({0x14, 0, 0, 0, 0, 0x01, 0x80, 0x01}), (Bytes{0x7E}));

    // A poll with the wait byte is answered when a matching card arrives.
    rig.host.SendCommand({0x00, 0x80, 0x08, 0x00, 0x00, 0x01});
    EXPECT_TRUE(rig.host.ReadReplyData(150ms).empty());
    FelicaCard other;
    other.idm[7] = 0x99;
    other.system_codes = {0x8008};
    rig.sim.AddCard(other);
    EXPECT_EQ(rig.host.ReadReplyData(1s), Join({{0x01}, B(other.idm), B(other.pmm)}));
}

TEST(SimCards, MifareSectorsValuesHaltAndSle55rPages) {
    Rig rig;
    MifareCard card = MifareCard::Classic({0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    card.info = {0x00, 0x44, 0x08};
    card.blocks[4] = Filled(0x44);
    card.blocks[5] = MifareValueBlock(100, 5);
    card.blocks[7][10] = 0x0B;  // sector 1 key B: 0B FF FF FF FF FF
    const int h = rig.sim.AddCard(card);

    EXPECT_EQ(rig.host.Exchange({0xC0, 0x00, 0x00}), Join({{0xC1, 0x00, 0x44, 0x08, 7}, card.uid}));
    EXPECT_EQ(rig.host.Exchange({0xC6, 0x04}), (Bytes{0xC7, 0x00, 0x03}));  // not authenticated
    EXPECT_EQ(rig.host.Exchange({0xC2, 0x01, 0x00, 0x04}), (Bytes{0xC3, 0x02}));  // key B differs
    EXPECT_EQ(rig.host.Exchange({0xC2, 0x00, 0x00, 0x04}), (Bytes{0xC3, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xC6, 0x04}), Join({{0xC7, 0x00, 0x00}, B(Filled(0x44))}));
    EXPECT_EQ(rig.host.Exchange({0xC6, 0x08}), (Bytes{0xC7, 0x00, 0x03}));  // another sector

    // Value block: +10, -3, transfer.
    EXPECT_EQ(rig.host.Exchange({0xCA, 0x05, 10, 0, 0, 0}), (Bytes{0xCB, 0x00, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xD0, 0x05}), (Bytes{0xD1, 0x00, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xCC, 0x05, 3, 0, 0, 0}), (Bytes{0xCD, 0x00, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xD0, 0x05}), (Bytes{0xD1, 0x00, 0x00}));
    EXPECT_EQ(rig.sim.Mifare(h)->blocks[5], MifareValueBlock(107, 5));
    EXPECT_EQ(rig.host.Exchange({0xCA, 0x04, 1, 0, 0, 0}), (Bytes{0xCB, 0x00, 0x05}));  // not a value block

    // The reader's key slot 1 with the card's key B opens sector 1 too.
    EXPECT_EQ(rig.host.Exchange(Join({{0xD2, 0x01}, Bytes(6, 0xFF), {0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}})),
              (Bytes{0xD3, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xC2, 0x01, 0x01, 0x06}), (Bytes{0xC3, 0x00}));

    // Halted: no longer found until the RF field is reset.
    EXPECT_EQ(rig.host.Exchange({0xC4}), (Bytes{0xC5, 0x00}));
    EXPECT_EQ(rig.host.Exchange({0xC0, 0x00, 0x00}), (Bytes{0x7E}));
    EXPECT_EQ(rig.host.Exchange({0x54}), (Bytes{0x55}));
    EXPECT_EQ(rig.host.Exchange({0xC0, 0x07, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00})[0], 0xC1);
    rig.sim.TakeAway(h);

    // SLE55R: found like any Mifare card, pages read through 0xDA by an authenticated host.
    Bytes pages(64);
    for (std::size_t i = 0; i < pages.size(); ++i) pages[i] = static_cast<std::uint8_t>(i);
    MifareCard sle = MifareCard::Sle55r({0xAA, 0xBB, 0xCC, 0xDD}, pages);
    sle.page_read = 16;
    rig.sim.AddCard(sle);
    EXPECT_EQ(rig.host.Exchange({0xC0, 0x00, 0x00}), (Bytes{0xC1, 0x00, 0x44, 0x00, 4, 0xAA, 0xBB, 0xCC, 0xDD}));
    EXPECT_EQ(rig.host.Exchange({0xDA, 0x02}), (Bytes{0x7F}));  // needs an authenticated reader
    rig.PasswordAuthenticate();
    EXPECT_EQ(rig.host.Exchange({0xDA, 0x02}), Join({{0xDB, 0x00, 0x00}, Bytes(pages.begin() + 16, pages.begin() + 32)}));
    EXPECT_EQ(rig.host.Exchange({0xDA, 0x07}), Join({{0xDB, 0x00, 0x00}, Bytes(pages.begin() + 56, pages.end())}));
    EXPECT_EQ(rig.host.Exchange({0xDA, 0x08}), (Bytes{0xDB, 0x00, 0x07}));
}

TEST(SimCards, Iso15693InventoryReadsAndStayQuiet) {
    Rig rig;
    Iso15693Card card;
    card.afi = 0x07;
    card.block_size = 8;
    for (std::uint8_t b = 0; b < 8; ++b) card.blocks.push_back(Bytes(8, static_cast<std::uint8_t>(0x10 + b)));
    card.security = {0x01};
    const int h = rig.sim.AddCard(card);
    rig.PasswordAuthenticate();
    auto through = [&](const Bytes& frame) {
        return rig.host.Exchange(Join({{0x4C, 0x00, static_cast<std::uint8_t>(frame.size())}, frame}));
    };
    const Bytes answer = Join({{0x4D, 0x00, 0x00, 10, 0x00, 0x00}, B(card.uid)});

    EXPECT_EQ(through({0x26, 0x01, 0x00}), answer);
    EXPECT_EQ(through({0x36, 0x01, 0x07, 0x00}), answer);
    EXPECT_EQ(through({0x36, 0x01, 0x08, 0x00}), (Bytes{0x4D, 0x00, 0x00, 0}));  // other AFI: silence

    EXPECT_EQ(through({0x02, 0x20, 0x03}), Join({{0x4D, 0x00, 0x00, 9, 0x00}, Bytes(8, 0x13)}));
    EXPECT_EQ(through({0x42, 0x20, 0x00}), Join({{0x4D, 0x00, 0x00, 10, 0x00, 0x01}, Bytes(8, 0x10)}));
    EXPECT_EQ(through({0x02, 0x23, 0x01, 0x01}), Join({{0x4D, 0x00, 0x00, 17, 0x00}, Bytes(8, 0x11), Bytes(8, 0x12)}));
    EXPECT_EQ(through({0x02, 0x20, 0x08}), (Bytes{0x4D, 0x00, 0x00, 2, 0x01, 0x10}));
    EXPECT_EQ(through({0x02, 0x23, 0x07, 0x01}), (Bytes{0x4D, 0x00, 0x00, 2, 0x01, 0x10}));

    // Quiet: no inventory answer until the card leaves the field and comes back.
    EXPECT_EQ(through(Join({{0x22, 0x02}, B(card.uid)})), (Bytes{0x4D, 0x00, 0x00, 0}));
    EXPECT_EQ(through({0x26, 0x01, 0x00}), (Bytes{0x4D, 0x00, 0x00, 0}));
    EXPECT_EQ(rig.host.Exchange({0x54}), (Bytes{0x55}));
    EXPECT_EQ(through({0x26, 0x01, 0x00}), (Bytes{0x4D, 0x00, 0x00, 0}));
    rig.sim.TakeAway(h);
    rig.sim.PutBack(h);
    EXPECT_EQ(through({0x26, 0x01, 0x00}), answer);

    // Four-byte blocks.
    rig.sim.TakeAway(h);
    Iso15693Card small;
    small.uid[0] = 0x99;
    small.blocks = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    rig.sim.AddCard(small);
    EXPECT_EQ(through({0x02, 0x23, 0x00, 0x01}), (Bytes{0x4D, 0x00, 0x00, 9, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
}  // namespace tapwedge::sim
