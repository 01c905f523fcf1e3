// The receive state machine, fed on the transport's receive thread.
//
// Every "00 00 FF" in the bytes may begin a frame: in garbage, or inside a frame cut short whose
// length runs on over the next one. So the receiver follows each frame begun since the earliest
// one that may still be good; RxState, RxLength, RxIndex and RxChecksum show the earliest, in
// the states of the receive table. When it turns out to be no frame, the next one begun in the
// bytes already seen takes its place. A frame is received when it ends whole with good checksums
// and no frame begun before it is still running: a frame (or NACK) that ends inside the bytes of
// an earlier one waits, since they may be that one's data; it is received when the earlier one
// fails, or when the line falls silent with the earlier one unfinished (TakeWaitingFrame).
// Every frame received therefore lies whole in the bytes, and a good frame after any garbage
// that holds no frame or NACK of its own is received.
#include <algorithm>
#include <cstring>

#include "link_layer.h"
#include "platform/clock.h"

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

enum class Outcome { Going, NoFrame, Ack, Ended };

// One byte for a frame begun at a start byte (the receive table from state 3 on). A frame that
// ends takes the state it ends in (complete or NACK) and keeps it.
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
            if (byte != 0x00) return Outcome::NoFrame;
            frame.State = kRxComplete;
            return Outcome::Ended;
        case kRxAckLcs:
            if (byte != 0xFF) return Outcome::NoFrame;
            frame.State = kRxAckPostamble;
            return Outcome::Going;
        case kRxAckPostamble:
            return Outcome::Ack;  // the ACK's postamble is not tested
        case kRxNackLcs:
            if (byte != 0x00) return Outcome::NoFrame;
            frame.State = kRxNack;
            return Outcome::Ended;
        case kRxComplete:
        case kRxNack:
            return Outcome::Ended;  // waits for the frames begun before it
        default:
            return Outcome::NoFrame;
    }
}

void Forget(ReaderContext& context) {
    context.RxHeldCount = 0;
    context.RxCandidateCount = 0;
    context.RxWaiting.store(false, std::memory_order_relaxed);
}

// Publishes an ended frame as the receiver's result: its record in RxFrame (before the state
// says complete), or the NACK. Returns the state to store.
std::int32_t Publish(ReaderContext& context, const RxCandidate& frame) {
    if (frame.State == kRxComplete) {
        // [LEN + 1][data]: the data follows LEN and LCS.
        context.RxFrame.Set(0, static_cast<std::uint8_t>(frame.Length + 1));
        context.RxFrame.CopyIn(1, context.RxHeld + frame.Start + 3, static_cast<std::size_t>(frame.Length));
        context.RxLength = frame.Length;
        context.RxIndex = frame.Length + 1;
        context.RxChecksum = frame.Checksum;
    }
    const std::int32_t state = frame.State;
    Forget(context);
    return state;
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
// ACK ended with it. When the earliest frame begun has ended, it is published and the
// receiver holds.
std::int32_t Take(ReaderContext& context, std::uint8_t byte, bool& ack) {
    context.RxHeld[context.RxHeldCount++] = byte;
    const std::int32_t at = context.RxHeldCount - 1;

    std::int32_t kept = 0;
    bool waiting = false;
    for (std::int32_t k = 0; k < context.RxCandidateCount; ++k) {
        RxCandidate frame = context.RxCandidates[k];
        switch (Advance(frame, byte)) {
            case Outcome::NoFrame:
                continue;
            case Outcome::Ack:
                ack = true;
                continue;
            case Outcome::Ended:
                if (kept == 0) return Publish(context, frame);
                waiting = true;
                break;
            case Outcome::Going:
                break;
        }
        context.RxCandidates[kept++] = frame;
    }
    context.RxCandidateCount = kept;
    context.RxWaiting.store(waiting, std::memory_order_relaxed);

    if (byte == 0xFF && at >= 2 && context.RxHeld[at - 1] == 0x00 && context.RxHeld[at - 2] == 0x00) {
        RxCandidate frame;
        frame.Start = at;
        context.RxCandidates[context.RxCandidateCount++] = frame;
    }
    DropSpentBytes(context);
    return ShownState(context);
}

// Stores `next` over `state` unless the waiter re-armed the receiver meanwhile.
bool Store(ReaderContext& context, std::int32_t& state, std::int32_t next) {
    return next == state || context.RxState.compare_exchange_strong(state, next, std::memory_order_acq_rel,
                                                                    std::memory_order_acquire);
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
        if (Terminal(next)) context.RxEndedAt.store(platform::TickCount(), std::memory_order_relaxed);
        if (Store(context, state, next)) {
            context.RxPublished = next;
            if (ack) {
                context.AckAt.store(platform::TickCount(), std::memory_order_relaxed);
                context.AckReceived.store(1, std::memory_order_release);
            }
            return next;
        }
        // Re-armed meanwhile: `state` now holds what the waiter set.
        Forget(context);
    }
}

}  // namespace

void FeedReceiver(ReaderContext& context, const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return;
    {
        std::lock_guard<std::mutex> lock(context.RxLock);
        LogChunk(context, bytes, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (Step(context, bytes[i]) == kRxComplete) break;  // the rest of the chunk is dropped
        }
    }
    context.RxChunks.fetch_add(1, std::memory_order_release);
    context.RxSignal.Notify();
}

bool TakeWaitingFrame(ReaderContext& context) {
    if (!context.RxWaiting.load(std::memory_order_relaxed)) return false;
    std::lock_guard<std::mutex> lock(context.RxLock);
    std::int32_t state = context.RxState.load(std::memory_order_acquire);
    if (state != context.RxPublished || Terminal(state)) return false;  // re-armed or ended meanwhile
    for (std::int32_t k = 0; k < context.RxCandidateCount; ++k) {
        const RxCandidate& frame = context.RxCandidates[k];
        if (!Terminal(frame.State)) continue;
        const std::int32_t next = Publish(context, frame);
        context.RxEndedAt.store(platform::TickCount(), std::memory_order_relaxed);
        if (!Store(context, state, next)) return false;
        context.RxPublished = next;
        return true;
    }
    return false;
}
