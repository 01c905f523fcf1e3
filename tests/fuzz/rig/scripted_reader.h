#pragma once
// The far end of a fake D2XX device that answers every frame the library sends as the fuzz
// input says: ACK or not, NACK, silence, late or split replies, damaged checksums, garbage,
// any reply code and data, sealed (with the right or a wrong counter or MAC) or plain. The
// library is opened on it once per process and reaches it through the real USB transport and
// its receive thread.
//
// Time is the library's tick count, which only this reader moves: the program's message pump,
// which the library runs inside every wait, delivers the next chunk when it is due, or else
// moves the clock on. So a run does not depend on the machine's speed, and a time-out costs
// no real time. A wait without end that nothing answers for ten minutes is cancelled.
#include <array>
#include <cstdint>
#include <deque>

#include "fuzz_check.h"
#include "reader_sim/frames.h"
#include "tagwire/tagwire.h"

namespace fuzz_rig {

using Block8 = std::array<std::uint8_t, 8>;

// The library's session at the start of a run.
enum class Session { NotAuthenticated, Plain, Sealed };

class ScriptedReader {
public:
    // The reader, with the library open on it (the first call opens it).
    static ScriptedReader& Get();

    // Starts a run: answers come from `input` until End. The library's receiver is idle and its
    // session is `session`; a sealed one uses key and counter from the input.
    void Begin(FuzzedDataProvider& input, Session session);
    // Ends the run: the library must be idle with its default time-out; what the reader had yet
    // to send is forgotten.
    void End();

    // The keys a genuine reader answers the authentications with.
    void SetKeys(const TwAuthKeys& keys) { keys_ = keys; }

private:
    struct Chunk {
        std::uint32_t at;  // tick count when it is due
        Bytes bytes;
    };

    ScriptedReader();
    static void OnHostWrite(void* self, const std::uint8_t* data, std::size_t count);
    void OnFrame(tapwedge::sim::ParsedHostFrame&& frame);
    void Answer(const Bytes& command);
    Bytes ReplyData(const Bytes& command, const Bytes& plainCommand);
    void Queue(std::uint32_t at, Bytes bytes);
    void Pump();
    void Deliver(const Bytes& bytes);

    int device_ = -1;
    tapwedge::sim::HostFrameParser parser_;
    FuzzedDataProvider* input_ = nullptr;
    std::deque<Chunk> pending_;  // by due time
    std::uint32_t idle_ = 0;     // ms passed with nothing to send
    std::uint32_t idleStep_ = 0;
    bool cancelling_ = false;
    TwAuthKeys keys_{};
};

}  // namespace fuzz_rig
