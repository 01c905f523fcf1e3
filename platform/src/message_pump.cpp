#include "platform/message_pump.h"

#include <utility>

namespace platform {
namespace {
std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}
}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessMessages() {
    // A copy, so that a handler may install another pump while this one runs.
    const std::function<void()> pump = Pump();
    if (pump) pump();
}

}  // namespace platform
