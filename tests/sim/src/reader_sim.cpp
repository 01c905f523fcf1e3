#include "reader_sim/reader_sim.h"

#include <algorithm>

namespace tapwedge::sim {

namespace {

// Cuts `bytes` at the given offsets (unsorted, out-of-range ones ignored) into pieces.
std::vector<Bytes> SplitAt(const Bytes& bytes, std::vector<std::size_t> cuts) {
    std::sort(cuts.begin(), cuts.end());
    std::vector<Bytes> pieces;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        if (cut <= from || cut >= bytes.size()) continue;
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                            bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        from = cut;
    }
    pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end());
    return pieces;
}

}  // namespace

ReaderSim::ReaderSim() : parser_([this](ParsedHostFrame&& f) { OnFrame(std::move(f)); }) {}

ReaderSim::~ReaderSim() { out_.SetLink(nullptr); }

void ReaderSim::QueueReply(std::uint8_t command, Bytes reply) {
    std::lock_guard lock(mu_);
    queued_replies_[command].push_back(std::move(reply));
}

void ReaderSim::SetReply(std::uint8_t command, Bytes reply) {
    std::lock_guard lock(mu_);
    set_replies_[command] = std::move(reply);
}

void ReaderSim::ClearReply(std::uint8_t command) {
    std::lock_guard lock(mu_);
    set_replies_.erase(command);
    queued_replies_.erase(command);
}

void ReaderSim::InjectFault(Fault fault) {
    std::lock_guard lock(mu_);
    faults_.push_back(std::move(fault));
}

void ReaderSim::ClearFaults() {
    std::lock_guard lock(mu_);
    faults_.clear();
}

void ReaderSim::SetReplyLatency(std::chrono::milliseconds latency) {
    std::lock_guard lock(mu_);
    latency_ = latency;
}

std::vector<HostFrame> ReaderSim::Frames() const {
    std::lock_guard lock(mu_);
    return frames_;
}

std::vector<HostFrame> ReaderSim::Commands() const {
    std::lock_guard lock(mu_);
    std::vector<HostFrame> commands;
    for (const auto& f : frames_)
        if (f.kind == HostFrame::Kind::Command) commands.push_back(f);
    return commands;
}

Bytes ReaderSim::ReceivedBytes() const {
    std::lock_guard lock(mu_);
    return received_;
}

void ReaderSim::ClearRecord() {
    std::lock_guard lock(mu_);
    frames_.clear();
    received_.clear();
}

bool ReaderSim::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return frames_cv_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

bool ReaderSim::WaitOutputIdle(std::chrono::milliseconds timeout) { return out_.WaitIdle(timeout); }

void ReaderSim::SetLink(Link* link) { out_.SetLink(link); }

void ReaderSim::OnUnplugged() {
    std::lock_guard lock(mu_);
    held_.reset();
    waiting_.reset();
    parser_ = HostFrameParser([this](ParsedHostFrame&& f) { OnFrame(std::move(f)); });
    out_.DropPending();
}

void ReaderSim::OnHostBytes(const std::uint8_t* data, std::size_t count) {
    std::lock_guard lock(mu_);
    received_.insert(received_.end(), data, data + count);
    parser_.Feed(data, count);
}

void ReaderSim::OnFrame(ParsedHostFrame&& frame) {
    HostFrame record;
    record.kind = frame.kind;
    record.bytes = std::move(frame.bytes);
    record.data = std::move(frame.data);
    record.at = Clock::now();
    if (record.kind == HostFrame::Kind::Ack) {
        // The host cancels: a reply held for the cancel goes out now.
        if (held_) {
            auto due = record.at + std::chrono::milliseconds(held_->after_ms);
            for (auto& chunk : held_->chunks) {
                out_.Push(due, std::move(chunk));
                due += std::chrono::milliseconds(held_->gap_ms);
            }
            held_.reset();
        }
        OnCancel();
    } else if (record.kind == HostFrame::Kind::Command) {
        OnCommand(record);
    }
    frames_.push_back(std::move(record));
    frames_cv_.notify_all();
}

std::optional<Fault> ReaderSim::TakeFault(std::uint8_t code) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!it->command || *it->command == code) {
            Fault f = std::move(*it);
            faults_.erase(it);
            return f;
        }
    }
    return std::nullopt;
}

void ReaderSim::OnCommand(HostFrame& record) {
    const auto now = record.at;
    held_.reset();  // a new command ends whatever the reader still held
    waiting_.reset();
    const std::uint8_t code = record.data[0];
    ++counts_.commands;
    std::optional<Fault> fault = TakeFault(code);
    if (CardCommandFamilyOf(code) != CardCommandFamily::None) {
        const bool sealed = session_.encrypted;  // in an encrypted session card commands come sealed
        ++counts_.card_commands;
        if (sealed) ++counts_.sealed_card_commands;
        if (!fault) fault = DrawRandomFault(sealed);
    }
    const Fault applied = fault.value_or(Fault{});
    std::optional<Bytes> reply = Answer(record, applied);
    Emit(applied, reply, now);
}

std::optional<Bytes> ReaderSim::ScriptedReply(std::uint8_t code) {
    auto q = queued_replies_.find(code);
    if (q != queued_replies_.end() && !q->second.empty()) {
        Bytes reply = std::move(q->second.front());
        q->second.pop_front();
        return reply;
    }
    auto s = set_replies_.find(code);
    if (s != set_replies_.end()) return s->second;
    return std::nullopt;
}

std::optional<Bytes> ReaderSim::Answer(HostFrame& record, const Fault& fault) {
    const std::uint8_t code = record.data[0];
    SealContext seal;
    // Authentication messages always travel plain; in an encrypted session all else is sealed.
    if (session_.encrypted && code != 0x70 && code != 0x72) {
        std::optional<Bytes> plain;
        if (record.data.size() >= 17)
            plain = OpenBody(session_.session_key, record.data.data() + 1, record.data.size() - 1);
        if (!plain) {
            // Not sealed under our key: refuse it plainly, the session is over.
            record.command = {static_cast<std::uint8_t>(record.data.size() + 1)};
            record.command.insert(record.command.end(), record.data.begin(), record.data.end());
            DropSession();
            return Bytes{0x7F};
        }
        seal.sealed = true;
        seal.key = session_.session_key;
        std::copy_n(plain->begin(), 8, seal.block.begin());
        record.sealed = true;
        record.counter = static_cast<std::uint16_t>(seal.block[0] | (seal.block[1] << 8));
        session_.last_counter = record.counter;
        record.command = {static_cast<std::uint8_t>(plain->size() - 8 + 2), code};
        record.command.insert(record.command.end(), plain->begin() + 8, plain->end());
    } else {
        record.command = {static_cast<std::uint8_t>(record.data.size() + 1)};
        record.command.insert(record.command.end(), record.data.begin(), record.data.end());
    }

    std::optional<Bytes> reply = ScriptedReply(code);
    if (!reply) {
        Response r = Dispatch(record.command);
        if (r.kind == Response::Kind::WaitForCard) {
            waiting_ = WaitingCommand{record.command, seal};
            return std::nullopt;
        }
        if (r.kind == Response::Kind::None) return std::nullopt;
        reply = std::move(r.data);
    }
    reply->resize(reply->size() - std::min(fault.reply_drop, reply->size()));
    if (!reply->empty()) reply->insert(reply->end(), fault.reply_append.begin(), fault.reply_append.end());
    if (reply->empty()) return std::nullopt;
    return Seal(seal, std::move(*reply), fault);
}

std::optional<Bytes> ReaderSim::Seal(const SealContext& seal, Bytes reply, const Fault& fault) {
    if (!seal.sealed) return reply;
    if (fault.plain_error_reply) {
        DropSession();
        return Bytes{0x7F};
    }
    const std::uint16_t host = static_cast<std::uint16_t>(seal.block[0] | (seal.block[1] << 8));
    const std::uint16_t counter = static_cast<std::uint16_t>(host + (fault.wrong_counter ? 3 : 1));
    Bytes plain{static_cast<std::uint8_t>(counter & 0xFF), static_cast<std::uint8_t>(counter >> 8)};
    plain.insert(plain.end(), seal.block.begin() + 2, seal.block.end());
    plain.insert(plain.end(), reply.begin() + 1, reply.end());
    Bytes body = SealBody(seal.key, std::move(plain));
    if (fault.bad_mac) {
        body.back() ^= 0x01;
        DropSession();  // the host drops to plain after a bad MAC; so does the reader
    }
    Bytes sealed{reply[0]};
    sealed.insert(sealed.end(), body.begin(), body.end());
    return sealed;
}

void ReaderSim::OnCancel() { waiting_.reset(); }

std::uint8_t ReaderSim::StatusOf(std::uint8_t code) const {
    auto it = statuses_.find(code);
    return it == statuses_.end() ? 0 : it->second;
}

CardCommandFamily CardCommandFamilyOf(std::uint8_t code) {
    switch (code) {
    case 0x00: case 0x02: case 0x04: case 0x06: case 0x08: case 0x0A: case 0x0C: case 0x10: case 0x12:
    case 0x14: case 0x16: case 0x26: case 0x28:
        return CardCommandFamily::Felica;
    case 0xC0: case 0xC2: case 0xC4: case 0xC6: case 0xC8: case 0xCA: case 0xCC: case 0xCE: case 0xD0:
    case 0xD2: case 0xD6: case 0xD8: case 0xDA:
        return CardCommandFamily::Mifare;
    case 0x4C:
        return CardCommandFamily::Iso15693;
    default:
        return CardCommandFamily::None;
    }
}

Response ReaderSim::Dispatch(const Bytes& command) {
    const std::uint8_t code = command[1];
    switch (CardCommandFamilyOf(code)) {
    case CardCommandFamily::Felica: return OnFelica(command);
    case CardCommandFamily::Mifare: return OnMifare(command);
    case CardCommandFamily::Iso15693: return OnIso15693(command);
    case CardCommandFamily::None: break;
    }
    switch (code) {
    case 0x70: return OnAuthenticate1(command);
    case 0x72: return OnAuthenticate2(command);
    case 0x74: return OnReset(command);
    case 0x18: return OnRegisterKeys(command);
    case 0x1A: return OnListKeyIds(command);
    case 0x1C: return OnClearKeyIds(command);
    case 0x76: return OnChangeKeys(command);
    case 0x78: return OnChangeId(command);
    case 0x62: case 0x54: case 0x68: case 0x6A: case 0x6C: case 0xFE: case 0x7A:
        return OnControl(command);
    default: return Response::Of({0x7F});  // a command this reader does not know
    }
}

void ReaderSim::Emit(const Fault& fault, const std::optional<Bytes>& reply, Clock::time_point now) {
    const auto ack_due = now + std::chrono::milliseconds(fault.ack_delay_ms);
    if (fault.ack == Fault::Ack::Nack) {
        out_.Push(ack_due, kNackFrame);
        return;
    }
    const bool ack = fault.ack == Fault::Ack::Normal;
    if (ack && !(fault.merge_with_ack && reply && !fault.no_reply)) out_.Push(ack_due, kAckFrame);
    if (!reply || fault.no_reply) return;

    Bytes wire = fault.garbage;
    // A scripted reply too long for one frame cannot be sent; the reader rejects instead.
    const Bytes& data = reply->size() <= 254 ? *reply : Bytes{0x7F};
    const Bytes frame = BuildFrame(data, {fault.bad_lcs, fault.bad_dcs, fault.bad_postamble});
    wire.insert(wire.end(), frame.begin(), frame.end());
    std::vector<Bytes> pieces = SplitAt(wire, fault.split_at);
    if (ack && fault.merge_with_ack) pieces.front().insert(pieces.front().begin(), kAckFrame.begin(), kAckFrame.end());

    if (fault.reply_after_cancel_ms) {
        held_ = Held{std::move(pieces), *fault.reply_after_cancel_ms, fault.split_gap_ms};
        return;
    }
    auto due = std::max(now + latency_ + std::chrono::milliseconds(fault.reply_delay_ms), ack_due);
    for (auto& piece : pieces) {
        out_.Push(due, std::move(piece));
        due += std::chrono::milliseconds(fault.split_gap_ms);
    }
}

}  // namespace tapwedge::sim
