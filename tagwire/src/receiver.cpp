// The receive state machine, fed on the transport's receive thread.
#include <algorithm>

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

// The state after `byte` in `state`. Only the receive thread writes the receive fields it
// touches here; RxFrame is written just before the frame is published as complete.
std::int32_t NextState(ReaderContext& context, std::int32_t state, std::uint8_t byte) {
    switch (state) {
        case kRxIdle:
            return byte == 0x00 ? kRxPreamble2 : kRxIdle;
        case kRxPreamble2:
            return byte == 0x00 ? kRxStart : NextState(context, kRxIdle, byte);
        case kRxStart:
            // A longer run of zeros is still a preamble.
            if (byte == 0x00) return kRxStart;
            return byte == 0xFF ? kRxLen : kRxIdle;
        case kRxLen:
            context.RxLength = byte;
            if (byte == 0x00) return kRxAckLcs;
            if (byte == 0xFF) return kRxNackLcs;
            return kRxLcs;
        case kRxLcs:
            context.RxChecksum = 0;
            context.RxStage[0] = static_cast<std::uint8_t>(context.RxLength + 1);
            context.RxIndex = 1;
            if (((context.RxLength + byte) & 0xFF) == 0) return kRxData;
            return NextState(context, kRxIdle, byte);
        case kRxData:
            context.RxChecksum += byte;
            context.RxStage[context.RxIndex] = byte;
            ++context.RxIndex;
            return context.RxIndex > context.RxLength ? kRxDcs : kRxData;
        case kRxDcs:
            if (((context.RxChecksum + byte) & 0xFF) == 0) return kRxPostamble;
            return NextState(context, kRxIdle, byte);
        case kRxPostamble:
            if (byte != 0x00) return kRxBadPostamble;
            context.RxFrame.CopyIn(0, context.RxStage, static_cast<std::size_t>(context.RxLength) + 1);
            return kRxComplete;
        case kRxAckLcs:
            return byte == 0xFF ? kRxAckPostamble : NextState(context, kRxIdle, byte);
        case kRxAckPostamble:
            return kRxIdle;  // the ACK's postamble is not tested
        case kRxNackLcs:
            return byte == 0x00 ? kRxNack : NextState(context, kRxIdle, byte);
        default:
            return state;  // complete, bad postamble, NACK: held until the waiter re-arms
    }
}

// Runs one byte; returns the state it leaves. The waiter may reset RxState to 0 at any time:
// a transition is stored only over the state it was computed from, else the byte runs again
// from the state the waiter set.
std::int32_t Step(ReaderContext& context, std::uint8_t byte) {
    std::int32_t state = context.RxState.load(std::memory_order_acquire);
    for (;;) {
        const std::int32_t next = NextState(context, state, byte);
        if (next == state) return state;
        if (context.RxState.compare_exchange_strong(state, next, std::memory_order_acq_rel,
                                                    std::memory_order_acquire)) {
            if (state == kRxAckPostamble) context.AckReceived.store(1, std::memory_order_release);
            return next;
        }
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
