// The receive state machine, fed on the transport's receive thread.
//
// Every "00 00 FF" in the bytes may begin a frame, also inside garbage or inside a frame cut
// short whose length runs on over the next one. So the receiver follows each frame begun since
// the earliest one that may still be good, and the first to end whole with good checksums (the
// earliest begun of those ending on the same byte) is the frame received. RxState, RxLength,
// RxIndex and RxChecksum show the earliest of them, in the states of the receive table; when it
// turns out to be no frame, the next one begun in the bytes already seen takes its place. Every
// frame received therefore lies whole in the bytes, and a good frame after any garbage that holds
// no frame (nor a NACK) is received.
#include <algorithm>
#include <cstring>

#include "link_layer.h"

namespace {

// The raw log keeps the bytes since the last send and restarts when it would reach 300 bytes.
void LogChunk(ReaderContext& context, const std::uint8_t* bytes, std::uint32_t count) {
    const std::uint32_t n = std::min<std::uint32_t>(count, kRxAreaSize);
    std::uint32_t at = context.RxLogCount.load(std::memory_order_relaxed);
    if (at > kRxAreaSize || at + n >= kRxAreaSize) at = 0;
    context.RxLog.CopyIn(at, bytes, n);
    context.RxLogCount.store(at + n, std::memory_order_relaxed);
}

bool Terminal(std::int32_t state) { return state == kRxComplete || state == kRxNack; }

enum class Outcome { Going, NoFrame, Ack, Frame, Nack };

// One byte for a frame begun at a start byte (the receive table from state 3 on).
Outcome Advance(RxCandidate& frame, std::uint8_t byte) {
    switch (frame.State) {
        case kRxLen:
            frame.Length = byte;
            frame.State = byte == 0x00 ? kRxAckLcs : byte == 0xFF ? kRxNackLcs : kRxLcs;
            return Outcome::Going;
        case kRxLcs:
            frame.Checksum = 0;
            frame.Taken = 0;
            if (((frame.Length + byte) & 0xFF) != 0) return Outcome::NoFrame;
            frame.State = kRxData;
            return Outcome::Going;
        case kRxData:
            frame.Checksum += byte;
            if (++frame.Taken == frame.Length) frame.State = kRxDcs;
            return Outcome::Going;
        case kRxDcs:
            if (((frame.Checksum + byte) & 0xFF) != 0) return Outcome::NoFrame;
            frame.State = kRxPostamble;
            return Outcome::Going;
        case kRxPostamble:
            return byte == 0x00 ? Outcome::Frame : Outcome::NoFrame;
        case kRxAckLcs:
            if (byte != 0xFF) return Outcome::NoFrame;
            frame.State = kRxAckPostamble;
            return Outcome::Going;
        case kRxAckPostamble:
            return Outcome::Ack;  // the ACK's postamble is not tested
        case kRxNackLcs:
            return byte == 0x00 ? Outcome::Nack : Outcome::NoFrame;
        default:
            return Outcome::NoFrame;
    }
}

void Forget(ReaderContext& context) {
    context.RxHeldCount = 0;
    context.RxCandidateCount = 0;
}

// Keeps the held bytes from the earliest frame's preamble on, or the last two (a preamble's
// zeros) when no frame is begun.
void DropSpentBytes(ReaderContext& context) {
    const std::int32_t from = context.RxCandidateCount > 0 ? context.RxCandidates[0].Start - 2
                                                           : std::max(context.RxHeldCount - 2, 0);
    if (from <= 0) return;
    context.RxHeldCount -= from;
    std::memmove(context.RxHeld, context.RxHeld + from, static_cast<std::size_t>(context.RxHeldCount));
    for (std::int32_t k = 0; k < context.RxCandidateCount; ++k) context.RxCandidates[k].Start -= from;
}

// The state the receiver shows: that of the earliest frame begun, else the preamble's zeros.
std::int32_t ShownState(ReaderContext& context) {
    if (context.RxCandidateCount > 0) {
        const RxCandidate& first = context.RxCandidates[0];
        context.RxLength = first.Length;
        context.RxIndex = first.Taken + 1;
        context.RxChecksum = first.Checksum;
        return first.State;
    }
    const std::int32_t n = context.RxHeldCount;
    if (n < 1 || context.RxHeld[n - 1] != 0x00) return kRxIdle;
    return n >= 2 && context.RxHeld[n - 2] == 0x00 ? kRxStart : kRxPreamble2;
}

// Runs one byte through every frame begun; returns the state it leaves and sets `ack` when an
// ACK ended with it. A frame or NACK that ends here is published and the receiver holds.
std::int32_t Take(ReaderContext& context, std::uint8_t byte, bool& ack) {
    context.RxHeld[context.RxHeldCount++] = byte;
    const std::int32_t at = context.RxHeldCount - 1;

    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < context.RxCandidateCount; ++k) {
        RxCandidate frame = context.RxCandidates[k];
        switch (Advance(frame, byte)) {
            case Outcome::Going:
                context.RxCandidates[kept++] = frame;
                break;
            case Outcome::NoFrame:
                break;
            case Outcome::Ack:
                ack = true;
                break;
            case Outcome::Frame: {
                // [LEN + 1][data]: the data follows LEN and LCS.
                const std::int32_t length = frame.Length;
                context.RxFrame.Set(0, static_cast<std::uint8_t>(length + 1));
                context.RxFrame.CopyIn(1, context.RxHeld + frame.Start + 3, static_cast<std::size_t>(length));
                context.RxLength = length;
                context.RxIndex = length + 1;
                context.RxChecksum = frame.Checksum;
                Forget(context);
                return kRxComplete;
            }
            case Outcome::Nack:
                Forget(context);
                return kRxNack;
        }
    }
    context.RxCandidateCount = kept;

    if (byte == 0xFF && at >= 2 && context.RxHeld[at - 1] == 0x00 && context.RxHeld[at - 2] == 0x00) {
        context.RxCandidates[context.RxCandidateCount++] = RxCandidate{at};
    }
    DropSpentBytes(context);
    return ShownState(context);
}

// Runs one byte; returns the state it leaves. The waiter may reset RxState to 0 at any time:
// then what the receiver held is forgotten, and a state is stored only over the state it was
// computed from, else the byte runs again from the state the waiter set.
std::int32_t Step(ReaderContext& context, std::uint8_t byte) {
    std::int32_t state = context.RxState.load(std::memory_order_acquire);
    for (;;) {
        if (state != context.RxPublished) {
            Forget(context);
            context.RxPublished = state;
        }
        if (Terminal(state)) return state;
        bool ack = false;
        const std::int32_t next = Take(context, byte, ack);
        if (next == state ||
            context.RxState.compare_exchange_strong(state, next, std::memory_order_acq_rel,
                                                    std::memory_order_acquire)) {
            context.RxPublished = next;
            if (ack) context.AckReceived.store(1, std::memory_order_release);
            return next;
        }
        // Re-armed meanwhile: `state` now holds what the waiter set.
        Forget(context);
    }
}

}  // namespace

void FeedReceiver(ReaderContext& context, const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return;
    LogChunk(context, bytes, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (Step(context, bytes[i]) == kRxComplete) break;  // the rest of the chunk is dropped
    }
    context.RxSignal.Notify();
}
