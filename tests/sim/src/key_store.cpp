// The reader's key store: registration (0x18), listing (0x1A), clearing (0x1C), and the
// reader's own keys and ID (0x76, 0x78). Parameters may carry the seal's zero padding at the
// end, so every parser reads what it needs and ignores what follows.
#include <algorithm>

#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

// Reads a command's parameters front to back; a read past the end marks it short.
class ParamReader {
public:
    explicit ParamReader(const Bytes& command) : bytes_(command), pos_(2) {}
    bool Ok() const { return ok_; }
    std::uint8_t Byte() {
        if (pos_ >= bytes_.size()) {
            ok_ = false;
            return 0;
        }
        return bytes_[pos_++];
    }
    std::uint16_t CodeLe() {
        const std::uint8_t lo = Byte();
        return static_cast<std::uint16_t>(lo | (Byte() << 8));
    }
    Block8 Block() {
        Block8 b{};
        for (auto& x : b) x = Byte();
        return b;
    }

private:
    const Bytes& bytes_;
    std::size_t pos_;
    bool ok_ = true;
};

void PutCodeLe(Bytes& out, std::uint16_t code) {
    out.push_back(static_cast<std::uint8_t>(code & 0xFF));
    out.push_back(static_cast<std::uint8_t>(code >> 8));
}

}  // namespace

Response ReaderSim::OnRegisterKeys(const Bytes& command) {
    if (Refused()) return Response::Of({0x7F});
    ParamReader in(command);
    KeyEntry entry;
    entry.kind = in.Byte();
    if (entry.ServiceForm()) {
        const std::uint8_t a = in.Byte();
        for (int i = 0; i < a && in.Ok(); ++i) entry.codes1.push_back(in.CodeLe());
        const std::uint8_t b = in.Byte();
        for (int i = 0; i < b && in.Ok(); ++i) entry.codes2.push_back(in.CodeLe());
        entry.second_key = in.Block();
        entry.first_key = in.Block();
    } else {
        entry.key = in.Block();
        const std::uint8_t a = in.Byte();
        for (int i = 0; i < a && in.Ok(); ++i) {
            const std::uint16_t code = in.CodeLe();
            entry.list1.emplace_back(code, in.Block());
        }
        const std::uint8_t b = in.Byte();
        for (int i = 0; i < b && in.Ok(); ++i) {
            const std::uint16_t code = in.CodeLe();
            entry.list2.emplace_back(code, in.Block());
        }
    }
    if (!in.Ok() || entry.Codes1().size() > 8 || entry.Codes2().size() > 8) return Response::Of({0x7F});

    std::uint8_t status = StatusOf(0x18);
    if (status == 0 && key_store_.size() >= key_capacity_) status = 0x01;  // store full
    if (status == 0) {
        entry.key_id = next_key_id_++;
        key_store_.push_back(entry);
    }
    const std::uint32_t id = entry.key_id;
    return Response::Of({0x19, status, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
                         static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)});
}

Response ReaderSim::OnListKeyIds(const Bytes& /*command*/) {
    const std::size_t n = std::min<std::size_t>(key_store_.size(), 4);
    Bytes reply{0x1B, static_cast<std::uint8_t>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        const KeyEntry& e = key_store_[i];
        for (int shift = 24; shift >= 0; shift -= 8) reply.push_back(static_cast<std::uint8_t>(e.key_id >> shift));
        for (const auto& codes : {e.Codes1(), e.Codes2()}) {
            reply.push_back(static_cast<std::uint8_t>(codes.size()));
            for (std::uint16_t code : codes) PutCodeLe(reply, code);
        }
    }
    return Response::Of(std::move(reply));
}

Response ReaderSim::OnClearKeyIds(const Bytes& /*command*/) {
    if (Refused()) return Response::Of({0x7F});
    const std::uint8_t status = StatusOf(0x1C);
    if (status == 0) key_store_.clear();
    return Response::Of({0x1D, status});
}

Response ReaderSim::OnChangeKeys(const Bytes& command) {
    if (Refused()) return Response::Of({0x7F});
    ParamReader in(command);
    const Block8 k1 = in.Block(), k2 = in.Block(), k3 = in.Block();
    if (!in.Ok()) return Response::Of({0x7F});
    const std::uint8_t status = StatusOf(0x76);
    if (status == 0) {
        keys_.kar = k1;
        keys_.kbr = k2;
        keys_.kcr = k3;
    }
    return Response::Of({0x77, status});
}

Response ReaderSim::OnChangeId(const Bytes& command) {
    // [current ID][new ID]; the refusal byte follows the status.
    ParamReader in(command);
    const Block8 current = in.Block(), next = in.Block();
    if (!in.Ok()) return Response::Of({0x7F});
    const std::uint8_t status = StatusOf(0x78);
    std::uint8_t refusal = change_id_refusal_.value_or(current == keys_.id ? 0 : 1);
    if (status == 0 && refusal == 0) keys_.id = next;
    return Response::Of({0x79, status, refusal});
}

}  // namespace tapwedge::sim
