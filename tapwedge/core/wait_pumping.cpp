#include "core/wait_pumping.h"

#include "platform/clock.h"
#include "platform/message_pump.h"

namespace tapwedge {

std::int32_t WaitPumping(std::int32_t ms) {
    if (ms <= 0) return 0;
    const std::uint32_t start = platform::TickCount();
    std::int32_t elapsed = 0;
    for (;;) {
        elapsed = platform::TickDiff(platform::TickCount(), start);
        if (elapsed >= ms) return elapsed;
        platform::ProcessMessages();
        // A short nap between two rounds of messages: the wait stays as responsive as a spin
        // (messages are seen within a millisecond) without keeping a core busy.
        elapsed = platform::TickDiff(platform::TickCount(), start);
        if (elapsed >= ms) return elapsed;
        platform::SleepMs(1);
    }
}

}  // namespace tapwedge
