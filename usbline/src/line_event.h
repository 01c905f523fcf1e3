#pragma once
// The event that FTDI's Linux library sets when bytes arrive or a modem line changes
// (FT_SetEventNotification): its condition variable and mutex, waited on with a bound.
#include <cstdint>
#include <functional>

#include "d2xx/d2xx_types.h"

namespace usbline {

class LineEvent {
public:
    LineEvent();
    ~LineEvent();
    LineEvent(const LineEvent&) = delete;
    LineEvent& operator=(const LineEvent&) = delete;

    // What FT_SetEventNotification is given; it stays at this address.
    d2xx::EVENT_HANDLE* Handle() { return &event_; }

    // Returns at once when `ready` says so, else when the library signals, when Wake was called
    // since the last wait, or after `ms` milliseconds, whichever comes first. `ready` runs under
    // the event's mutex, which the library takes to signal: a signal for anything that happens
    // after its look therefore finds the caller waiting and is never lost.
    void WaitUnless(const std::function<bool()>& ready, std::uint32_t ms);
    void Wait(std::uint32_t ms) { WaitUnless([] { return false; }, ms); }
    // Ends the current or the next wait at once.
    void Wake();

private:
    // iVar is the wake-up flag: set by Wake, consumed by Wait, under eMutex.
    d2xx::EVENT_HANDLE event_{};
};

}  // namespace usbline
