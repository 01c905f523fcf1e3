// ISO15693 through the reader's pass-through command 0x4C:
//   request [L][0x4C][0x00][n][ISO 15693-3 request, n bytes, no CRC]
//   reply   [L][0x4D][reader status, 2 bytes BE][k][card response, k bytes]
// A request no card answers gets reader status 0 and k = 0. Inventory answers the first card
// that matches (one slot; a collision is not simulated). Card error codes: 0x01 command not
// supported, 0x02 request not recognised, 0x10 block not available.
#include <algorithm>

#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

constexpr std::uint8_t kFlagInventory = 0x04, kFlagAfi = 0x10, kFlagAddressed = 0x20, kFlagSelect = 0x10,
                       kFlagOption = 0x40;
constexpr std::size_t kMaxResponse = 220;  // a sealed reply must still fit one frame

bool AfiMatches(std::uint8_t wanted, std::uint8_t have) {
    if (wanted == 0) return true;
    const bool family = (wanted >> 4) == 0 || (wanted >> 4) == (have >> 4);
    const bool sub = (wanted & 0x0F) == 0 || (wanted & 0x0F) == (have & 0x0F);
    return family && sub;
}

// The mask is compared with the UID's low bits, least significant byte first.
bool MaskMatches(const Block8& uid, const Bytes& frame, std::size_t at, std::size_t bits) {
    for (std::size_t i = 0; i < bits; ++i) {
        const int want = (frame[at + i / 8] >> (i % 8)) & 1;
        const int have = (uid[i / 8] >> (i % 8)) & 1;
        if (want != have) return false;
    }
    return true;
}

Bytes Error(std::uint8_t code) { return {0x01, code}; }

}  // namespace

Response ReaderSim::OnIso15693(const Bytes& command) {
    if (Refused() || command.size() < 4) return Response::Of({0x7F});
    const std::size_t n = command[3];
    if (command.size() < 4 + n) return Response::Of({0x4D, 0x00, 0x02, 0x00});  // request cut short
    const Bytes response = Iso15693Request(Bytes(command.begin() + 4, command.begin() + 4 + static_cast<std::ptrdiff_t>(n)));
    Bytes reply{0x4D, 0x00, 0x00, static_cast<std::uint8_t>(response.size())};
    reply.insert(reply.end(), response.begin(), response.end());
    return Response::Of(std::move(reply));
}

Bytes ReaderSim::Iso15693Request(const Bytes& frame) {
    if (frame.size() < 2) return {};
    const std::uint8_t flags = frame[0], cmd = frame[1];
    std::vector<FieldCard*> ready;
    for (auto& c : cards_)
        if (c.in_field && !c.quiet && std::holds_alternative<Iso15693Card>(c.card)) ready.push_back(&c);

    if (flags & kFlagInventory) {
        if (cmd != 0x01) return {};
        std::size_t at = 2;
        std::optional<std::uint8_t> afi;
        if (flags & kFlagAfi) {
            if (at >= frame.size()) return {};
            afi = frame[at++];
        }
        if (at >= frame.size()) return {};
        const std::size_t mask_bits = frame[at++];
        if (mask_bits > 64 || frame.size() < at + (mask_bits + 7) / 8) return {};
        for (FieldCard* c : ready) {
            const auto& card = std::get<Iso15693Card>(c->card);
            if (afi && !AfiMatches(*afi, card.afi)) continue;
            if (!MaskMatches(card.uid, frame, at, mask_bits)) continue;
            Bytes r{0x00, card.dsfid};
            r.insert(r.end(), card.uid.begin(), card.uid.end());
            return r;
        }
        return {};
    }

    // Addressed requests name the card by UID (quiet ones too); others go to a ready card.
    std::size_t at = 2;
    FieldCard* target = nullptr;
    if (flags & kFlagAddressed) {
        if (frame.size() < 10) return {};
        for (auto& c : cards_) {
            if (!c.in_field || !std::holds_alternative<Iso15693Card>(c.card)) continue;
            const auto& uid = std::get<Iso15693Card>(c.card).uid;
            if (std::equal(uid.begin(), uid.end(), frame.begin() + 2)) target = &c;
        }
        at = 10;
    } else if (!(flags & kFlagSelect) && !ready.empty()) {
        target = ready.front();
    }
    if (target == nullptr) return {};
    auto& card = std::get<Iso15693Card>(target->card);
    const bool option = (flags & kFlagOption) != 0;
    auto security = [&](std::size_t b) { return b < card.security.size() ? card.security[b] : std::uint8_t{0}; };
    auto block_bytes = [&](std::size_t b) {
        Bytes data = b < card.blocks.size() ? card.blocks[b] : Bytes{};
        data.resize(card.block_size, 0x00);
        return data;
    };

    switch (cmd) {
    case 0x02:  // stay quiet: addressed only, no answer
        if (flags & kFlagAddressed) target->quiet = true;
        return {};
    case 0x20: {  // read single block
        if (at >= frame.size()) return Error(0x02);
        const std::size_t b = frame[at];
        if (b >= card.blocks.size()) return Error(0x10);
        Bytes r{0x00};
        if (option) r.push_back(security(b));
        Bytes data = block_bytes(b);
        r.insert(r.end(), data.begin(), data.end());
        return r;
    }
    case 0x23: {  // read multiple blocks: first, count - 1
        if (at + 1 >= frame.size()) return Error(0x02);
        const std::size_t first = frame[at], count = frame[at + 1] + 1u;
        if (first + count > card.blocks.size()) return Error(0x10);
        if (1 + count * (card.block_size + (option ? 1 : 0)) > kMaxResponse) return Error(0x10);
        Bytes r{0x00};
        for (std::size_t b = first; b < first + count; ++b) {
            if (option) r.push_back(security(b));
            Bytes data = block_bytes(b);
            r.insert(r.end(), data.begin(), data.end());
        }
        return r;
    }
    case 0x21: {  // write single block
        if (at + 1 + card.block_size > frame.size()) return Error(0x02);
        const std::size_t b = frame[at];
        if (b >= card.blocks.size()) return Error(0x10);
        card.blocks[b].assign(frame.begin() + static_cast<std::ptrdiff_t>(at + 1),
                              frame.begin() + static_cast<std::ptrdiff_t>(at + 1 + card.block_size));
        return {0x00};
    }
    default:
        return Error(0x01);
    }
}

}  // namespace tapwedge::sim
