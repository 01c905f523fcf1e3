// Mifare commands of the reader (0xC0 .. 0xD8) and the SLE55R page read (0xDA).
//
// Card status the simulator reports (one byte, or the second of two):
//   01 no selected card (none found, halted, or gone)   02 authentication failed
//   03 sector not authenticated   04 block out of range   05 not a value block / no value held
//   06 block not writable (block 0)   07 not an SLE55R, or page out of range
#include <algorithm>

#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

constexpr std::uint8_t kNoCard = 0x01, kAuthFailed = 0x02, kNotAuthenticated = 0x03, kOutOfRange = 0x04,
                       kNotValue = 0x05, kReadOnly = 0x06, kNoPage = 0x07;

std::optional<std::int32_t> ValueOf(const Block16& b) {
    for (int i = 0; i < 4; ++i)
        if (b[i] != b[8 + i] || b[i] != static_cast<std::uint8_t>(~b[4 + i])) return std::nullopt;
    return static_cast<std::int32_t>(std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
                                     (std::uint32_t{b[3]} << 24));
}

std::int32_t Le32(const Bytes& c, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{c[at]} | (std::uint32_t{c[at + 1]} << 8) |
                                     (std::uint32_t{c[at + 2]} << 16) | (std::uint32_t{c[at + 3]} << 24));
}

}  // namespace

MifareCard* ReaderSim::SelectedMifare() {
    if (!mifare_) return nullptr;
    FieldCard* c = Find(mifare_->handle);
    if (c == nullptr || !c->in_field || c->halted) return nullptr;
    return &std::get<MifareCard>(c->card);
}

Response ReaderSim::OnMifareSearch(const Bytes& command) {
    // [L][0xC0][n][UID n][wait] -> [info 3][UID length][UID]
    if (command.size() < 4) return Response::Of({0x7F});
    const std::size_t n = command[2];
    if ((n != 0 && n != 4 && n != 7 && n != 10) || command.size() < 4 + n) return Response::Of({0x7F});
    for (auto& c : cards_) {
        if (!c.in_field || c.halted || !std::holds_alternative<MifareCard>(c.card)) continue;
        const auto& card = std::get<MifareCard>(c.card);
        if (n != 0 && (card.uid.size() != n || !std::equal(card.uid.begin(), card.uid.end(), command.begin() + 3)))
            continue;
        mifare_ = MifareSelection{c.handle, std::nullopt, std::nullopt};
        Bytes reply{0xC1, card.info[0], card.info[1], card.info[2], static_cast<std::uint8_t>(card.uid.size())};
        reply.insert(reply.end(), card.uid.begin(), card.uid.end());
        return Response::Of(std::move(reply));
    }
    if (command[3 + n] != 0) return Response::Wait();  // the reader waits for a card
    return Response::Of({0x7E});
}

Response ReaderSim::OnSle55rPage(const Bytes& command) {
    // [3][0xDA][page] -> [0xDB][status 2][data from the page on]
    if (Refused() || command.size() < 3) return Response::Of({0x7F});
    MifareCard* card = SelectedMifare();
    if (card == nullptr) return Response::Of({0xDB, 0x00, kNoCard});
    const std::size_t from = command[2] * card->page_size;
    if (card->pages.empty() || from >= card->pages.size()) return Response::Of({0xDB, 0x00, kNoPage});
    const std::size_t count = std::min({card->page_read, card->pages.size() - from, std::size_t{200}});
    Bytes reply{0xDB, 0x00, 0x00};
    reply.insert(reply.end(), card->pages.begin() + static_cast<std::ptrdiff_t>(from),
                 card->pages.begin() + static_cast<std::ptrdiff_t>(from + count));
    return Response::Of(std::move(reply));
}

Response ReaderSim::OnMifare(const Bytes& command) {
    const std::uint8_t code = command[1];
    const std::uint8_t reply_code = code + 1;
    if (code == 0xC0) return OnMifareSearch(command);
    if (code == 0xDA) return OnSle55rPage(command);
    if (code == 0xD2) {  // [keyNumber][key A 6][key B 6]
        if (command.size() < 15) return Response::Of({0x7F});
        MifareKeys keys;
        std::copy_n(command.begin() + 3, 6, keys.first.begin());
        std::copy_n(command.begin() + 9, 6, keys.second.begin());
        mifare_keys_[command[2]] = keys;
        return Response::Of({reply_code, 0x00});
    }
    const bool one_byte = code == 0xC2 || code == 0xC4;
    auto status = [&](std::uint8_t s) {
        return Response::Of(one_byte ? Bytes{reply_code, s} : Bytes{reply_code, 0x00, s});
    };
    MifareCard* card = SelectedMifare();
    if (card == nullptr) return status(kNoCard);
    if (code == 0xC4) {  // halt
        Find(mifare_->handle)->halted = true;
        mifare_.reset();
        return status(0);
    }
    if (code == 0xC2) {  // authenticate: [key type][key number][block]
        if (command.size() < 5) return Response::Of({0x7F});
        const std::uint8_t type = command[2], number = command[3];
        const std::size_t target = command[4];
        if (MifareCard::TrailerOf(target) >= card->blocks.size()) return status(kOutOfRange);
        MifareKeys keys;
        keys.first.fill(0xFF);
        keys.second.fill(0xFF);
        if (auto it = mifare_keys_.find(number); it != mifare_keys_.end()) keys = it->second;
        const Block16& trailer = card->blocks[MifareCard::TrailerOf(target)];
        bool ok = false;
        if (type == 0) ok = std::equal(keys.first.begin(), keys.first.end(), trailer.begin());
        if (type == 1) ok = std::equal(keys.second.begin(), keys.second.end(), trailer.begin() + 10);
        mifare_->sector = ok ? std::optional<std::size_t>(MifareCard::SectorOf(target)) : std::nullopt;
        return status(ok ? 0 : kAuthFailed);
    }
    if (command.size() < 3) return Response::Of({0x7F});
    const std::size_t block = command[2];
    if (block >= card->blocks.size()) return status(kOutOfRange);
    auto may_access = [&](std::size_t b) {
        return !card->needs_authentication || (mifare_->sector && *mifare_->sector == MifareCard::SectorOf(b));
    };

    switch (code) {
    case 0xC6: {  // read: -> [00][00][16 bytes]
        if (!may_access(block)) return status(kNotAuthenticated);
        Block16 data = card->blocks[block];
        if (MifareCard::IsTrailer(block)) std::fill_n(data.begin(), 6, 0x00);  // key A never reads back
        Bytes reply{reply_code, 0x00, 0x00};
        reply.insert(reply.end(), data.begin(), data.end());
        return Response::Of(std::move(reply));
    }
    case 0xC8: {  // write: [block][16 bytes]
        if (command.size() < 19) return Response::Of({0x7F});
        if (!may_access(block)) return status(kNotAuthenticated);
        if (block == 0) return status(kReadOnly);
        std::copy_n(command.begin() + 3, 16, card->blocks[block].begin());
        return status(0);
    }
    case 0xCA: case 0xCC: case 0xCE: {  // increment, decrement, restore into the transfer buffer
        if (!may_access(block)) return status(kNotAuthenticated);
        auto value = ValueOf(card->blocks[block]);
        if (!value) return status(kNotValue);
        if (code != 0xCE) {
            if (command.size() < 7) return Response::Of({0x7F});
            const std::int64_t delta = Le32(command, 3);
            *value = static_cast<std::int32_t>(code == 0xCA ? *value + delta : *value - delta);
        }
        mifare_->value = *value;
        return status(0);
    }
    case 0xD0: {  // transfer the buffer into a value block
        if (!may_access(block)) return status(kNotAuthenticated);
        if (!mifare_->value || block == 0 || MifareCard::IsTrailer(block)) return status(kNotValue);
        Block16 b = MifareValueBlock(*mifare_->value, card->blocks[block][12]);
        std::copy_n(card->blocks[block].begin() + 12, 4, b.begin() + 12);  // the address bytes stay
        card->blocks[block] = b;
        mifare_->value.reset();
        return status(0);
    }
    case 0xD6: {  // read with length: [block][length] -> [00][00][length][bytes from the block on]
        if (command.size() < 4) return Response::Of({0x7F});
        const std::size_t length = command[3] == 0 ? 16 : command[3];
        if (length > 64 || block * 16 + length > card->blocks.size() * 16) return status(kOutOfRange);
        Bytes reply{reply_code, 0x00, 0x00, static_cast<std::uint8_t>(length)};
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t b = block + i / 16;
            if (!may_access(b)) return status(kNotAuthenticated);
            reply.push_back(card->blocks[b][i % 16]);
        }
        return Response::Of(std::move(reply));
    }
    case 0xD8: {  // write with length: [block][L][L bytes] into the start of the block
        if (command.size() < 4) return Response::Of({0x7F});
        const std::size_t length = command[3];
        if (length == 0 || length > 16 || command.size() < 4 + length) return Response::Of({0x7F});
        if (!may_access(block)) return status(kNotAuthenticated);
        if (block == 0) return status(kReadOnly);
        std::copy_n(command.begin() + 4, length, card->blocks[block].begin());
        return status(0);
    }
    default:
        return Response::Of({0x7F});
    }
}

}  // namespace tapwedge::sim
