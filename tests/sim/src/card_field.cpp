// The reader's field: cards put in and taken away, the RF reset, and the poll or search that
// waits for a card.
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

MifareCard MifareCard::Classic(Bytes uid, std::size_t block_count) {
    MifareCard card;
    card.uid = std::move(uid);
    card.blocks.assign(block_count, Block16{});
    for (std::size_t b = 0; b < block_count; ++b) {
        if (!IsTrailer(b)) continue;
        Block16& t = card.blocks[b];
        t.fill(0xFF);
        t[6] = 0xFF;
        t[7] = 0x07;
        t[8] = 0x80;
        t[9] = 0x69;
    }
    for (std::size_t i = 0; i < card.uid.size() && i < 16; ++i) card.blocks[0][i] = card.uid[i];
    return card;
}

MifareCard MifareCard::Sle55r(Bytes uid, Bytes pages) {
    MifareCard card;
    card.uid = std::move(uid);
    card.info = {0x00, 0x44, 0x00};
    card.needs_authentication = false;
    card.pages = std::move(pages);
    return card;
}

Block16 MifareValueBlock(std::int32_t value, std::uint8_t address) {
    Block16 b{};
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        b[4 + i] = static_cast<std::uint8_t>(~b[i]);
        b[8 + i] = b[i];
    }
    b[12] = address;
    b[13] = static_cast<std::uint8_t>(~address);
    b[14] = address;
    b[15] = static_cast<std::uint8_t>(~address);
    return b;
}

int ReaderSim::AddFieldCard(FieldCard card) {
    std::lock_guard lock(mu_);
    card.handle = next_handle_++;
    cards_.push_back(std::move(card));
    AnswerWaiting();
    return cards_.back().handle;
}

int ReaderSim::AddCard(FelicaCard card) { return AddFieldCard(FieldCard{0, true, false, false, std::move(card)}); }
int ReaderSim::AddCard(MifareCard card) { return AddFieldCard(FieldCard{0, true, false, false, std::move(card)}); }
int ReaderSim::AddCard(Iso15693Card card) { return AddFieldCard(FieldCard{0, true, false, false, std::move(card)}); }

ReaderSim::FieldCard* ReaderSim::Find(int handle) {
    for (auto& c : cards_)
        if (c.handle == handle) return &c;
    return nullptr;
}

void ReaderSim::TakeAway(int handle) {
    std::lock_guard lock(mu_);
    FieldCard* c = Find(handle);
    if (c == nullptr) return;
    c->in_field = false;
    c->halted = false;
    c->quiet = false;
    if (felica_session_ && felica_session_->handle == handle) felica_session_.reset();
    if (mifare_ && mifare_->handle == handle) mifare_.reset();
}

void ReaderSim::PutBack(int handle) {
    std::lock_guard lock(mu_);
    FieldCard* c = Find(handle);
    if (c == nullptr || c->in_field) return;
    c->in_field = true;
    AnswerWaiting();
}

void ReaderSim::RemoveAllCards() {
    std::lock_guard lock(mu_);
    cards_.clear();
    felica_session_.reset();
    mifare_.reset();
}

bool ReaderSim::InField(int handle) const {
    std::lock_guard lock(mu_);
    for (const auto& c : cards_)
        if (c.handle == handle) return c.in_field;
    return false;
}

std::optional<FelicaCard> ReaderSim::Felica(int handle) const {
    std::lock_guard lock(mu_);
    for (const auto& c : cards_)
        if (c.handle == handle && std::holds_alternative<FelicaCard>(c.card)) return std::get<FelicaCard>(c.card);
    return std::nullopt;
}

std::optional<MifareCard> ReaderSim::Mifare(int handle) const {
    std::lock_guard lock(mu_);
    for (const auto& c : cards_)
        if (c.handle == handle && std::holds_alternative<MifareCard>(c.card)) return std::get<MifareCard>(c.card);
    return std::nullopt;
}

std::optional<Iso15693Card> ReaderSim::Iso15693(int handle) const {
    std::lock_guard lock(mu_);
    for (const auto& c : cards_)
        if (c.handle == handle && std::holds_alternative<Iso15693Card>(c.card))
            return std::get<Iso15693Card>(c.card);
    return std::nullopt;
}

void ReaderSim::SetMifareKeys(std::uint8_t number, std::array<std::uint8_t, 6> key_a,
                              std::array<std::uint8_t, 6> key_b) {
    std::lock_guard lock(mu_);
    mifare_keys_[number] = {key_a, key_b};
}

void ReaderSim::ResetField() {
    // RF off: Mifare cards wake from halt, every card authentication ends. A quiet ISO15693
    // card stays quiet until it leaves the field.
    for (auto& c : cards_) c.halted = false;
    felica_session_.reset();
    mifare_.reset();
}

void ReaderSim::AnswerWaiting() {
    if (!waiting_) return;
    Response r = Dispatch(waiting_->command);
    if (r.kind == Response::Kind::WaitForCard) return;
    WaitingCommand w = std::move(*waiting_);
    waiting_.reset();
    if (r.kind != Response::Kind::Reply || r.data.empty()) return;
    const Fault none{.ack = Fault::Ack::None};
    Emit(none, Seal(w.seal, std::move(r.data), none), Clock::now());
}

}  // namespace tapwedge::sim
