// One command exchange and its guards: busy check, reply check, cancel.
#include <cstring>

#include "link_layer.h"
#include "platform/clock.h"
#include "sealed_channel.h"
#include "tagwire/tagwire.h"

namespace {
// How long a cancel waits for the reply to the cancelled command.
constexpr std::uint32_t kLateReplyMs = 100;
}  // namespace

std::int32_t CheckBusy(ReaderContext& context) {
    if (static_cast<std::uint32_t>(context.Timeout) >= static_cast<std::uint32_t>(kTimeoutNoEnd)) {
        // A wait without end is running (or its time-out was left set): it ends, cancelled.
        context.Timeout = 1000;
        context.WaitState.store(kWaitIdle, std::memory_order_release);
        context.RemoteCancel.store(false, std::memory_order_relaxed);
        return TW_OK;
    }
    if (context.WaitState.load(std::memory_order_acquire) == kWaitWaiting) return TW_ERR_BUSY;
    context.WaitState.store(kWaitIdle, std::memory_order_release);  // drops a cancel left pending
    context.RemoteCancel.store(false, std::memory_order_relaxed);
    return TW_OK;
}

std::int32_t CheckResponse(const std::uint8_t* reply, std::uint8_t expected, int minimum) {
    if (reply == nullptr) return TW_ERR_BAD_REPLY;
    if (reply[1] == 0x7E) return TW_ERR_READER_FAILED;
    if (reply[1] == 0x7F) return TW_ERR_READER_REJECTED;
    if (reply[0] < minimum) return TW_ERR_SHORT_REPLY;
    return reply[1] == expected ? TW_OK : TW_ERR_BAD_REPLY;
}

std::int32_t Transceive(ReaderContext& context, std::uint8_t* reply, const std::uint8_t* command) {
    if (reply == nullptr || command == nullptr) return TW_ERR_PARAM;
    if (context.Encrypted) return SealedTransceive(context, reply, command);
    // A length byte below 2 counts no code: there is no frame to send (a frame without data
    // would read as a broken ACK, the cancel).
    if (command[0] < 2) return TW_ERR_PARAM;

    context.RxState.store(kRxIdle, std::memory_order_release);
    SendFrame(context, command + 1, command[0] - 1u);
    const std::int32_t status = WaitResponse(context, context.Timeout);
    if (status != TW_OK) return status;

    // [0] = LEN + 1 <= 255: the reply fits the 256-byte command record.
    const std::size_t size = context.RxFrame[0];
    context.RxFrame.CopyOut(reply, 0, size);
    return TW_OK;
}

std::int32_t GuardedTransceive(ReaderContext& context, std::uint8_t* reply,
                               const std::uint8_t* command, std::uint8_t mode) {
    if (mode != 0 && CheckBusy(context) != TW_OK) return TW_ERR_BUSY;
    if (mode == 1 && !context.Authenticated.load()) return TW_ERR_FAILED;
    if (command == nullptr || command[0] < 2) return TW_ERR_PARAM;
    return Transceive(context, reply, command);
}

std::int32_t CancelExchange(ReaderContext& context) {
    context.WaitState.store(kWaitCancelled, std::memory_order_release);
    context.RxSignal.Notify();  // a wait on another thread looks at once
    context.WriteLine(kAckFrame, sizeof kAckFrame);
    if (!context.Authenticated.load()) return TW_OK;

    // The reply to the cancelled command may still come: settle it with the channel.
    PumpDelay(kLateReplyMs);
    // (It is settled before the receiver is re-armed, which keeps RxFrame as it arrived.)
    if (context.RxState.load(std::memory_order_acquire) == kRxComplete) {
        SettleCancelledReply(context);
        context.RxState.store(kRxIdle, std::memory_order_release);
    }
    return TW_OK;
}

void CompleteRemoteCancel(ReaderContext& context) {
    context.WriteLine(kAckFrame, sizeof kAckFrame);
    const std::uint32_t start = platform::TickCount();
    while (platform::TickDiff(platform::TickCount(), start) < static_cast<std::int64_t>(kLateReplyMs)) {
        const std::int32_t state = context.RxState.load(std::memory_order_acquire);
        if (state == kRxComplete || state == kRxNack) break;
        PumpDelay(1);
    }
    if (context.RxState.load(std::memory_order_acquire) == kRxComplete && context.Authenticated.load()) {
        SettleCancelledReply(context);
    }
    context.RxState.store(kRxIdle, std::memory_order_release);
}
