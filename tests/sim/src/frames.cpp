#include "reader_sim/frames.h"

#include <stdexcept>

namespace tapwedge::sim {

Bytes BuildFrame(const Bytes& data, FrameDamage damage) {
    if (data.empty() || data.size() > 254) throw std::invalid_argument("frame data must be 1..254 bytes");
    const auto len = static_cast<std::uint8_t>(data.size());
    Bytes frame{0x00, 0x00, 0xFF, len, static_cast<std::uint8_t>(0x100 - len)};
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) {
        frame.push_back(b);
        sum = static_cast<std::uint8_t>(sum + b);
    }
    frame.push_back(static_cast<std::uint8_t>(0x100 - sum));
    frame.push_back(0x00);
    if (damage.bad_lcs) frame[4] = static_cast<std::uint8_t>(frame[4] + 1);
    if (damage.bad_dcs) frame[frame.size() - 2] = static_cast<std::uint8_t>(frame[frame.size() - 2] + 1);
    if (damage.bad_postamble) frame.back() = 0x5A;
    return frame;
}

void HostFrameParser::Restart() {
    state_ = State::Hunt;
    zeros_ = 0;
    damaged_ = false;
    bytes_.clear();
    data_.clear();
}

void HostFrameParser::Emit(ParsedHostFrame::Kind kind) {
    ParsedHostFrame f;
    f.kind = kind;
    f.bytes = std::move(bytes_);
    f.data = std::move(data_);
    Restart();
    sink_(std::move(f));
}

void HostFrameParser::Feed(const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        switch (state_) {
        case State::Hunt:
            if (b == 0x00) {
                ++zeros_;
            } else if (b == 0xFF && zeros_ >= 2) {
                bytes_ = {0x00, 0x00, 0xFF};
                state_ = State::Length;
            } else {
                zeros_ = 0;
            }
            break;
        case State::Length:
            bytes_.push_back(b);
            len_ = b;
            state_ = State::LengthCheck;
            break;
        case State::LengthCheck:
            bytes_.push_back(b);
            if (len_ == 0x00 && b == 0xFF) {
                state_ = State::AckEnd;
            } else if (len_ == 0xFF && b == 0x00) {
                Emit(ParsedHostFrame::Kind::Nack);
            } else if (static_cast<std::uint8_t>(len_ + b) != 0 || len_ == 0 || len_ == 0xFF) {
                Emit(ParsedHostFrame::Kind::Bad);
            } else {
                sum_ = 0;
                state_ = State::Data;
            }
            break;
        case State::Data:
            bytes_.push_back(b);
            data_.push_back(b);
            sum_ = static_cast<std::uint8_t>(sum_ + b);
            if (data_.size() == len_) state_ = State::Dcs;
            break;
        case State::Dcs:
            bytes_.push_back(b);
            damaged_ = static_cast<std::uint8_t>(sum_ + b) != 0;
            state_ = State::Postamble;
            break;
        case State::Postamble:
            bytes_.push_back(b);
            Emit(damaged_ || b != 0x00 ? ParsedHostFrame::Kind::Bad : ParsedHostFrame::Kind::Command);
            break;
        case State::AckEnd:
            bytes_.push_back(b);
            Emit(ParsedHostFrame::Kind::Ack);
            break;
        }
    }
}

}  // namespace tapwedge::sim
