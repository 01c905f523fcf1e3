#pragma once
// Byte-level frames of the reader's serial protocol, as the reader sees them:
// 00 00 FF LEN LCS data DCS 00, the ACK 00 00 FF 00 FF 00 and the NACK 00 00 FF FF 00.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tapwedge::sim {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kAckFrame{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
inline const Bytes kNackFrame{0x00, 0x00, 0xFF, 0xFF, 0x00};

// What to spoil in a built frame (faults on demand).
struct FrameDamage {
    bool bad_lcs = false;
    bool bad_dcs = false;
    bool bad_postamble = false;
};

// The whole frame around 1..254 data bytes.
Bytes BuildFrame(const Bytes& data, FrameDamage damage = {});

// One unit the host sent, cut out of its byte stream.
struct ParsedHostFrame {
    enum class Kind {
        Command,  // a data frame with good checksums and postamble
        Ack,      // 00 00 FF 00 FF 00: the host cancels
        Nack,     // 00 00 FF FF 00
        Bad,      // LCS, DCS or postamble wrong
    };
    Kind kind = Kind::Bad;
    Bytes bytes;  // the frame as it arrived, preamble to postamble
    Bytes data;   // LEN data bytes (Command and Bad with a good header)
};

// Incremental parser of the host's byte stream; bytes outside frames are skipped.
class HostFrameParser {
public:
    using Sink = std::function<void(ParsedHostFrame&&)>;
    explicit HostFrameParser(Sink sink) : sink_(std::move(sink)) {}
    void Feed(const std::uint8_t* data, std::size_t count);

private:
    void Emit(ParsedHostFrame::Kind kind);
    void Restart();

    enum class State { Hunt, Length, LengthCheck, Data, Dcs, Postamble, AckEnd };
    Sink sink_;
    State state_ = State::Hunt;
    int zeros_ = 0;
    std::uint8_t len_ = 0;
    std::uint8_t sum_ = 0;
    bool damaged_ = false;
    Bytes bytes_;
    Bytes data_;
};

}  // namespace tapwedge::sim
