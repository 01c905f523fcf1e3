// FeliCa commands of the reader. Replies never repeat the IDm; block replies carry the two
// status flags, then (reads) the block count and the blocks. Parameters may end in the seal's
// zero padding, so parsers read what they need and ignore the rest.
//
// Status flags the simulated card reports (flag 1, flag 2):
//   FF A1 bad service count   FF A2 bad block count or missing data   FF A6 unknown service
//   01 A3 block element names no listed service   01 A5 access refused (secured without card
//   authentication, or a write to a read-only service)   01 A8 block number out of range
#include <algorithm>

#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

constexpr std::size_t kMaxBlocks = 8;

Bytes Flags(std::uint8_t code, std::uint8_t f1, std::uint8_t f2) { return {code, f1, f2}; }

FelicaService* ServiceOf(FelicaCard& card, std::uint16_t code) {
    for (auto& s : card.services)
        if (s.code == code) return &s;
    return nullptr;
}

bool SystemMatches(std::uint16_t wanted, std::uint16_t have) {
    const bool hi = (wanted >> 8) == 0xFF || (wanted >> 8) == (have >> 8);
    const bool lo = (wanted & 0xFF) == 0xFF || (wanted & 0xFF) == (have & 0xFF);
    return hi && lo;
}

// One block list element: service index and block number.
struct Element {
    std::size_t service = 0;
    std::size_t block = 0;
};

// Reads n elements from `at`; two-byte form (bit 7 set) or three-byte form (block LE).
std::optional<std::vector<Element>> ReadElements(const Bytes& c, std::size_t& at, std::size_t n) {
    std::vector<Element> out;
    for (std::size_t i = 0; i < n; ++i) {
        if (at >= c.size()) return std::nullopt;
        const std::uint8_t head = c[at++];
        Element e{static_cast<std::size_t>(head & 0x0F), 0};
        if (head & 0x80) {
            if (at >= c.size()) return std::nullopt;
            e.block = c[at++];
        } else {
            if (at + 1 >= c.size()) return std::nullopt;
            e.block = static_cast<std::size_t>(c[at] | (c[at + 1] << 8));
            at += 2;
        }
        out.push_back(e);
    }
    return out;
}

// Reads or writes the blocks of `elements` over the given services.
Bytes BlockAccess(std::uint8_t reply_code, const std::vector<FelicaService*>& services,
                  const std::vector<Element>& elements, const Bytes* data, std::size_t data_at) {
    for (const Element& e : elements) {
        if (e.service >= services.size()) return Flags(reply_code, 0x01, 0xA3);
        if (e.block >= services[e.service]->blocks.size()) return Flags(reply_code, 0x01, 0xA8);
        if (data != nullptr && services[e.service]->ReadOnly()) return Flags(reply_code, 0x01, 0xA5);
    }
    if (data != nullptr) {
        if (data->size() < data_at + 16 * elements.size()) return Flags(reply_code, 0xFF, 0xA2);
        for (std::size_t i = 0; i < elements.size(); ++i) {
            auto& block = services[elements[i].service]->blocks[elements[i].block];
            std::copy_n(data->begin() + static_cast<std::ptrdiff_t>(data_at + 16 * i), 16, block.begin());
        }
        return Flags(reply_code, 0x00, 0x00);
    }
    Bytes reply = Flags(reply_code, 0x00, 0x00);
    reply.push_back(static_cast<std::uint8_t>(elements.size()));
    for (const Element& e : elements) {
        const auto& block = services[e.service]->blocks[e.block];
        reply.insert(reply.end(), block.begin(), block.end());
    }
    return reply;
}

}  // namespace

FelicaCard* ReaderSim::FelicaInField(const Bytes& command, std::size_t idm_at) {
    if (command.size() < idm_at + 8) return nullptr;
    for (auto& c : cards_) {
        if (!c.in_field || !std::holds_alternative<FelicaCard>(c.card)) continue;
        auto& card = std::get<FelicaCard>(c.card);
        if (std::equal(card.idm.begin(), card.idm.end(), command.begin() + static_cast<std::ptrdiff_t>(idm_at)))
            return &card;
    }
    return nullptr;
}

Response ReaderSim::OnFelica(const Bytes& command) {
    switch (command[1]) {
    case 0x00: return OnPoll(command);
    case 0x06: case 0x08: return OnFelicaBlocks(command);
    case 0x14: case 0x16: return OnFelicaAuthBlocks(command);
    case 0x26: case 0x28: return OnFelicaSBlocks(command);
    case 0x10: case 0x12: return OnFelicaCardAuth(command);
    default: return OnFelicaInquiry(command);
    }
}

Response ReaderSim::OnPoll(const Bytes& command) {
    // [L][0x00][system hi][system lo][request code][time slot][wait][extra]
    if (command.size() < 7) return Response::Of({0x7F});
    const auto wanted = static_cast<std::uint16_t>((command[2] << 8) | command[3]);
    for (auto& c : cards_) {
        if (!c.in_field || !std::holds_alternative<FelicaCard>(c.card)) continue;
        const auto& card = std::get<FelicaCard>(c.card);
        for (std::uint16_t system : card.system_codes) {
            if (!SystemMatches(wanted, system)) continue;
            Bytes reply{0x01};
            reply.insert(reply.end(), card.idm.begin(), card.idm.end());
            reply.insert(reply.end(), card.pmm.begin(), card.pmm.end());
            if (command[4] == 0x01) {
                reply.push_back(static_cast<std::uint8_t>(system >> 8));
                reply.push_back(static_cast<std::uint8_t>(system & 0xFF));
            }
            return Response::Of(std::move(reply));
        }
    }
    if (command[6] & 0x01) return Response::Wait();  // the reader waits for a card
    return Response::Of({0x7E});
}

Response ReaderSim::OnFelicaBlocks(const Bytes& command) {
    // [L][code][IDm][m][m service codes LE][n][elements]([n x 16 data])
    const std::uint8_t reply_code = command[1] + 1;
    const bool write = command[1] == 0x08;
    FelicaCard* card = FelicaInField(command, 2);
    if (card == nullptr || command.size() < 12) return Response::Of({0x7E});
    std::size_t at = 10;
    const std::size_t m = command[at++];
    if (m == 0 || m > 16 || command.size() < at + 2 * m + 1) return Response::Of(Flags(reply_code, 0xFF, 0xA1));
    std::vector<FelicaService*> services;
    for (std::size_t i = 0; i < m; ++i, at += 2) {
        FelicaService* s = ServiceOf(*card, static_cast<std::uint16_t>(command[at] | (command[at + 1] << 8)));
        if (s == nullptr) return Response::Of(Flags(reply_code, 0xFF, 0xA6));
        if (!s->Plain()) return Response::Of(Flags(reply_code, 0x01, 0xA5));
        services.push_back(s);
    }
    const std::size_t n = command[at++];
    if (n == 0 || n > kMaxBlocks) return Response::Of(Flags(reply_code, 0xFF, 0xA2));
    auto elements = ReadElements(command, at, n);
    if (!elements) return Response::Of(Flags(reply_code, 0xFF, 0xA2));
    return Response::Of(BlockAccess(reply_code, services, *elements, write ? &command : nullptr, at));
}

Response ReaderSim::OnFelicaAuthBlocks(const Bytes& command) {
    // [L][code][00 00 00 00][n][elements]([n x 16 data]); services of the card authentication.
    if (Refused()) return Response::Of({0x7F});
    const std::uint8_t reply_code = command[1] + 1;
    const bool write = command[1] == 0x16;
    if (!felica_session_ || command.size() < 7) return Response::Of({0x7E});
    FieldCard* fc = Find(felica_session_->handle);
    if (fc == nullptr || !fc->in_field) return Response::Of({0x7E});
    auto& card = std::get<FelicaCard>(fc->card);
    std::vector<FelicaService*> services;
    for (std::uint16_t code : felica_session_->services) services.push_back(ServiceOf(card, code));
    std::size_t at = 6;
    const std::size_t n = command[at++];
    if (n == 0 || n > kMaxBlocks) return Response::Of(Flags(reply_code, 0xFF, 0xA2));
    auto elements = ReadElements(command, at, n);
    if (!elements) return Response::Of(Flags(reply_code, 0xFF, 0xA2));
    return Response::Of(BlockAccess(reply_code, services, *elements, write ? &command : nullptr, at));
}

Response ReaderSim::OnFelicaSBlocks(const Bytes& command) {
    // [L][code][IDm][0x01][service LE][count]([count x 16 data]): blocks 0..count-1.
    const std::uint8_t reply_code = command[1] + 1;
    const bool write = command[1] == 0x28;
    FelicaCard* card = FelicaInField(command, 2);
    if (card == nullptr || command.size() < 14) return Response::Of({0x7E});
    if (command[10] != 0x01) return Response::Of(Flags(reply_code, 0xFF, 0xA1));
    const auto code = static_cast<std::uint16_t>(command[11] | (command[12] << 8));
    FelicaService* s = ServiceOf(*card, code);
    if (s == nullptr) return Response::Of(Flags(reply_code, 0xFF, 0xA6));
    if (!s->Plain()) {
        FieldCard* authed = felica_session_ ? Find(felica_session_->handle) : nullptr;
        const bool authenticated =
            authed != nullptr && &std::get<FelicaCard>(authed->card) == card &&
            std::count(felica_session_->services.begin(), felica_session_->services.end(), code) > 0;
        if (!authenticated) return Response::Of(Flags(reply_code, 0x01, 0xA5));
    }
    const std::size_t n = command[13];
    if (n == 0 || n > kMaxBlocks) return Response::Of(Flags(reply_code, 0xFF, 0xA2));
    std::vector<Element> elements;
    for (std::size_t b = 0; b < n; ++b) elements.push_back({0, b});
    return Response::Of(BlockAccess(reply_code, {s}, elements, write ? &command : nullptr, 14));
}

Response ReaderSim::OnFelicaCardAuth(const Bytes& command) {
    // [L][0x10 or 0x12][IDm][key ID BE]
    if (Refused() || command.size() < 14) return Response::Of({0x7F});
    const std::uint32_t id = (std::uint32_t{command[10]} << 24) | (std::uint32_t{command[11]} << 16) |
                             (std::uint32_t{command[12]} << 8) | command[13];
    const KeyEntry* entry = nullptr;
    for (const auto& e : key_store_)
        if (e.key_id == id) entry = &e;
    if (entry == nullptr) return Response::Of({0x7F});  // no such key ID in the store
    FelicaCard* card = FelicaInField(command, 2);
    if (card == nullptr) return Response::Of({0x7E});
    if (!entry->ServiceForm() && card->system_key && *card->system_key != entry->key) return Response::Of({0x7E});

    // The services named by the entry, in list order, with the key the entry gives each.
    std::vector<std::pair<std::uint16_t, Block8>> named;
    if (entry->ServiceForm()) {
        for (const auto& codes : {entry->codes1, entry->codes2})
            for (std::uint16_t code : codes) named.emplace_back(code, entry->first_key);
    } else {
        for (const auto* list : {&entry->list1, &entry->list2})
            for (const auto& item : *list) named.push_back(item);
    }
    FelicaSession session{0, {}};
    for (const auto& [code, key] : named) {
        FelicaService* s = ServiceOf(*card, code);
        if (s == nullptr) continue;  // an area code, or a service the card lacks
        if (!s->Plain() && s->key != key) return Response::Of({0x7E});
        session.services.push_back(code);
    }
    if (session.services.empty()) return Response::Of({0x7E});
    for (const auto& c : cards_)
        if (std::holds_alternative<FelicaCard>(c.card) && &std::get<FelicaCard>(c.card) == card) session.handle = c.handle;
    felica_session_ = std::move(session);
    return Response::Of({static_cast<std::uint8_t>(command[1] + 1), 0x00});
}

Response ReaderSim::OnFelicaInquiry(const Bytes& command) {
    const std::uint8_t code = command[1];
    if (code == 0x0C && Refused()) return Response::Of({0x7F});
    FelicaCard* card = FelicaInField(command, 2);
    if (card == nullptr) return Response::Of({0x7E});
    const std::uint8_t reply_code = code + 1;
    switch (code) {
    case 0x02: {  // request service: [IDm][n][n node codes LE] -> [n][n key versions LE]
        if (command.size() < 11) return Response::Of({0x7F});
        const std::size_t n = std::min<std::size_t>(command[10], (command.size() - 11) / 2);
        Bytes reply{reply_code, static_cast<std::uint8_t>(n)};
        for (std::size_t i = 0; i < n; ++i) {
            const auto node = static_cast<std::uint16_t>(command[11 + 2 * i] | (command[12 + 2 * i] << 8));
            std::uint16_t version = 0xFFFF;
            if (const FelicaService* s = ServiceOf(*card, node)) version = s->key_version;
            for (const auto& a : card->areas)
                if (a.code == node) version = a.key_version;
            reply.push_back(static_cast<std::uint8_t>(version & 0xFF));
            reply.push_back(static_cast<std::uint8_t>(version >> 8));
        }
        return Response::Of(std::move(reply));
    }
    case 0x04:  // request response
        return Response::Of({reply_code, card->mode});
    case 0x0A: {  // search service code: [IDm][index LE] -> area code and end, or service code
        if (command.size() < 12) return Response::Of({0x7F});
        const std::size_t index = static_cast<std::size_t>(command[10] | (command[11] << 8));
        auto le = [](std::uint16_t v) { return Bytes{static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)}; };
        Bytes reply{reply_code};
        Bytes tail;
        if (index < card->areas.size()) {
            tail = le(card->areas[index].code);
            Bytes end = le(card->areas[index].end_code);
            tail.insert(tail.end(), end.begin(), end.end());
        } else if (index < card->areas.size() + card->services.size()) {
            tail = le(card->services[index - card->areas.size()].code);
        } else {
            tail = le(0xFFFF);
        }
        reply.insert(reply.end(), tail.begin(), tail.end());
        return Response::Of(std::move(reply));
    }
    case 0x0C: {  // request system code -> [n][codes BE]
        Bytes reply{reply_code, static_cast<std::uint8_t>(card->system_codes.size())};
        for (std::uint16_t s : card->system_codes) {
            reply.push_back(static_cast<std::uint8_t>(s >> 8));
            reply.push_back(static_cast<std::uint8_t>(s & 0xFF));
        }
        return Response::Of(std::move(reply));
    }
    default:
        return Response::Of({0x7F});
    }
}

}  // namespace tapwedge::sim
