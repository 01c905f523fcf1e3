// Waiting for the reader while the program keeps processing its messages.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <limits>

#include "link_layer.h"
#include "platform/clock.h"
#include "platform/exception_handler.h"
#include "platform/message_pump.h"
#include "tagwire/tagwire.h"

namespace {

// Between two message pumps a wait sleeps this long at most (less when the receiver feeds
// bytes), so that the program stays responsive and an idle wait costs almost no CPU.
constexpr std::chrono::microseconds kPumpInterval{1000};
constexpr std::int64_t kAckLimitMs = 500;

// The program's messages, as its own event loop would process them: an exception a handler
// raises is reported and the wait goes on.
void PumpMessages() {
    try {
        platform::ProcessMessages();
    } catch (...) {
        platform::HandleException(nullptr, std::current_exception());
    }
}

std::int32_t EndWait(ReaderContext& context, std::int32_t status) {
    context.WaitState.store(kWaitIdle, std::memory_order_release);
    context.RxState.store(kRxIdle, std::memory_order_release);
    return status;
}

// The reply is due within timeout - 500 ms of the start; a wait without end has none.
std::int64_t ReplyLimit(std::int32_t timeout) {
    return timeout == kTimeoutNoEnd ? std::numeric_limits<std::int64_t>::max()
                                    : static_cast<std::int64_t>(timeout) - kAckLimitMs;
}

bool CameBefore(const std::atomic<std::uint32_t>& at, std::uint32_t start, std::int64_t limit) {
    return platform::TickDiff(at.load(std::memory_order_relaxed), start) < limit;
}

constexpr std::int32_t kStillWaiting = 1;

// The deadline has passed when the wait looks again, perhaps only because a message handler
// ran long: an ACK, reply or NACK that came in time still counts. Returns the wait's result,
// or kStillWaiting when an ACK in time moved the deadline on and it has not passed yet.
std::int32_t PastDeadline(ReaderContext& context, std::uint32_t start, std::uint32_t now,
                          std::int32_t timeout, std::int64_t& limit) {
    if (context.AckReceived.load(std::memory_order_acquire) != 0 && CameBefore(context.AckAt, start, limit)) {
        context.AckReceived.store(0, std::memory_order_relaxed);
        limit = ReplyLimit(timeout);
    }
    const std::int32_t state = context.RxState.load(std::memory_order_acquire);
    if ((state == kRxComplete || state == kRxNack) && CameBefore(context.RxEndedAt, start, limit)) {
        return EndWait(context, state == kRxComplete ? TW_OK : TW_ERR_NACK);
    }
    if (platform::TickDiff(now, start) < limit) return kStillWaiting;
    return EndWait(context, TW_ERR_TIMEOUT);
}

}  // namespace

std::int32_t WaitResponse(ReaderContext& context, std::int32_t timeout) {
    const std::uint32_t start = platform::TickCount();
    std::int32_t expected = kWaitCancelled;
    if (context.WaitState.compare_exchange_strong(expected, kWaitIdle)) {
        if (context.RemoteCancel.exchange(false)) CompleteRemoteCancel(context);
        return TW_ERR_CANCELLED;
    }
    context.WaitState.store(kWaitWaiting, std::memory_order_release);

    std::int64_t limit = kAckLimitMs;
    std::uint32_t chunks = context.RxChunks.load(std::memory_order_acquire);
    std::uint32_t lastBytes = start;  // when bytes last came
    for (;;) {
        const std::uint64_t seen = context.RxSignal.Generation();
        const std::uint32_t now = platform::TickCount();
        if (platform::TickDiff(now, start) >= limit) {
            const std::int32_t late = PastDeadline(context, start, now, timeout, limit);
            if (late != kStillWaiting) return late;
        }
        // A frame waiting behind an unfinished one is taken once the line has fallen silent.
        const std::uint32_t fed = context.RxChunks.load(std::memory_order_acquire);
        if (fed != chunks) {
            chunks = fed;
            lastBytes = now;
        } else if (platform::TickDiff(now, lastBytes) >= static_cast<std::int32_t>(kLineSilenceMs)) {
            TakeWaitingFrame(context);
        }
        const std::int32_t state = context.RxState.load(std::memory_order_acquire);
        if (state == kRxComplete) return EndWait(context, TW_OK);
        if (state == kRxNack) return EndWait(context, TW_ERR_NACK);
        if (context.AckReceived.exchange(0, std::memory_order_acq_rel) != 0) limit = ReplyLimit(timeout);
        if (context.WaitState.load(std::memory_order_acquire) != kWaitWaiting) {
            context.WaitState.store(kWaitIdle, std::memory_order_release);
            if (context.RemoteCancel.exchange(false)) CompleteRemoteCancel(context);
            return EndWait(context, TW_ERR_CANCELLED);
        }
        PumpMessages();
        context.RxSignal.SleepUntilChanged(seen, kPumpInterval);
    }
}

void PumpDelay(std::uint32_t ms) {
    const std::uint32_t start = platform::TickCount();
    while (platform::TickDiff(platform::TickCount(), start) < static_cast<std::int64_t>(ms)) {
        PumpMessages();
        const std::int64_t left =
            static_cast<std::int64_t>(ms) - platform::TickDiff(platform::TickCount(), start);
        if (left > 0) {
            platform::SleepMs(static_cast<std::uint32_t>(std::min<std::int64_t>(left, 1)));
        }
    }
}
