// The receive state machine, fed on the transport's receive thread.
//
// A byte that does not fit the frame being received does not just return to state 0: the
// frame's bytes seen so far may hold the start of the real frame (garbage ending in a preamble,
// a frame cut short and followed by the next one), so the receiver looks for the next preamble
// among them and runs them again from there. Every frame it completes therefore lies in the
// bytes whole, with good checksums, and a good frame after any garbage is received.
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

// What one byte does in one state.
struct Transition {
    std::int32_t next = kRxIdle;
    bool mismatch = false;  // the byte does not fit: the frame being received is no frame
    bool ack = false;       // an ACK frame ended with this byte
};

Transition Mismatch() { return {kRxIdle, true, false}; }
Transition To(std::int32_t state) { return {state, false, false}; }

bool Terminal(std::int32_t state) { return state == kRxComplete || state == kRxNack; }

// The table of receive states. RxFrame is written just before the frame is published complete.
Transition Advance(ReaderContext& context, std::int32_t state, std::uint8_t byte) {
    switch (state) {
        case kRxIdle:
            return To(byte == 0x00 ? kRxPreamble2 : kRxIdle);
        case kRxPreamble2:
            return byte == 0x00 ? To(kRxStart) : Mismatch();
        case kRxStart:
            // A longer run of zeros is still a preamble.
            if (byte == 0x00) return To(kRxStart);
            return byte == 0xFF ? To(kRxLen) : Mismatch();
        case kRxLen:
            context.RxLength = byte;
            if (byte == 0x00) return To(kRxAckLcs);
            if (byte == 0xFF) return To(kRxNackLcs);
            return To(kRxLcs);
        case kRxLcs:
            context.RxChecksum = 0;
            context.RxStage[0] = static_cast<std::uint8_t>(context.RxLength + 1);
            context.RxIndex = 1;
            return ((context.RxLength + byte) & 0xFF) == 0 ? To(kRxData) : Mismatch();
        case kRxData:
            context.RxChecksum += byte;
            context.RxStage[context.RxIndex] = byte;
            ++context.RxIndex;
            return To(context.RxIndex > context.RxLength ? kRxDcs : kRxData);
        case kRxDcs:
            return ((context.RxChecksum + byte) & 0xFF) == 0 ? To(kRxPostamble) : Mismatch();
        case kRxPostamble:
            if (byte != 0x00) return Mismatch();
            context.RxFrame.CopyIn(0, context.RxStage, static_cast<std::size_t>(context.RxLength) + 1);
            return To(kRxComplete);
        case kRxAckLcs:
            return byte == 0xFF ? To(kRxAckPostamble) : Mismatch();
        case kRxAckPostamble:
            // The ACK's postamble is not tested; a zero there may also begin the next preamble.
            return {byte == 0x00 ? kRxPreamble2 : kRxIdle, false, true};
        case kRxNackLcs:
            return byte == 0x00 ? To(kRxNack) : Mismatch();
        default:
            return To(state);  // complete, NACK: held until the waiter re-arms
    }
}

// Runs `byte` from `state`, going back over the held bytes after a mismatch; returns the state
// it leaves and sets `ack` when an ACK ended on the way. Each mismatch drops the held frame's
// first byte for good, so the work per byte stays bounded by the held frame's length.
std::int32_t Run(ReaderContext& context, std::int32_t state, std::uint8_t byte, bool& ack) {
    std::uint8_t replay[kRxHeldSize];
    std::int32_t count = 0;
    std::int32_t at = 0;
    replay[count++] = byte;
    while (at < count) {
        const std::uint8_t b = replay[at++];
        const Transition t = Advance(context, state, b);
        ack = ack || t.ack;
        if (t.mismatch) {
            // The next preamble can only begin at a zero after the held frame's first byte.
            std::uint8_t again[kRxHeldSize];
            std::int32_t n = 0;
            for (std::int32_t i = 1; i < context.RxHeldCount; ++i) {
                if (n > 0 || context.RxHeld[i] == 0x00) again[n++] = context.RxHeld[i];
            }
            if (n > 0 || b == 0x00) again[n++] = b;
            for (std::int32_t i = at; i < count; ++i) again[n++] = replay[i];
            std::memcpy(replay, again, static_cast<std::size_t>(n));
            count = n;
            at = 0;
            context.RxHeldCount = 0;
            state = kRxIdle;
            continue;
        }
        const std::int32_t from = state;
        state = t.next;
        if (state == kRxIdle || Terminal(state)) {
            context.RxHeldCount = 0;
            if (Terminal(state)) return state;  // what is left to run is dropped with the chunk
        } else if (state == kRxPreamble2) {
            context.RxHeld[0] = b;  // a new frame begins at this byte
            context.RxHeldCount = 1;
        } else if (!(from == kRxStart && state == kRxStart)) {
            // (A zero after the preamble's two is not kept: a frame that begins one zero later
            // reads the same from there on.)
            context.RxHeld[context.RxHeldCount++] = b;
        }
    }
    return state;
}

// Runs one byte; returns the state it leaves. The waiter may reset RxState to 0 at any time:
// then the held bytes are forgotten, and a transition is stored only over the state it was
// computed from, else the byte runs again from the state the waiter set.
std::int32_t Step(ReaderContext& context, std::uint8_t byte) {
    std::int32_t state = context.RxState.load(std::memory_order_acquire);
    for (;;) {
        if (state != context.RxPublished) {
            context.RxHeldCount = 0;
            context.RxPublished = state;
        }
        if (Terminal(state)) return state;
        bool ack = false;
        const std::int32_t next = Run(context, state, byte, ack);
        if (next == state ||
            context.RxState.compare_exchange_strong(state, next, std::memory_order_acq_rel,
                                                    std::memory_order_acquire)) {
            context.RxPublished = next;
            if (ack) context.AckReceived.store(1, std::memory_order_release);
            return next;
        }
        // Re-armed meanwhile: `state` now holds what the waiter set.
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
