#include "comm_thread.h"

#include <exception>

#include "platform/clock.h"
#include "platform/exception_handler.h"
#include "usbline/usb_dll.h"

namespace {
// The UsbDll whose receive thread this is; null on every other thread.
thread_local const UsbDll* t_receivingFor = nullptr;
}  // namespace

bool TCommThread::IsReceiveThreadOf(const UsbDll* owner) {
    return owner != nullptr && t_receivingFor == owner;
}

void TCommThread::Stop() {
    Terminate();
    if (event_) event_->Wake();
}

void TCommThread::Execute() {
    t_receivingFor = OwnerDll;
    while (!Terminated()) {
        const std::uint64_t takenBefore = event_ ? queue_->Taken() : 0;
        try {
            OwnerDll->DoCommReceive();
        } catch (...) {
            // A failing receiver must not end the thread: report it and go on.
            platform::HandleException(this, std::current_exception());
        }
        if (!Terminated()) PauseAfterPass(takenBefore);
    }
}

void TCommThread::PauseAfterPass(std::uint64_t takenBefore) {
    if (!event_) {
        platform::SleepMs(1);
        return;
    }
    // The library signals bytes only to a thread that is waiting already, so the queue is looked
    // at under the event's mutex before sleeping: bytes that come after that look find the thread
    // waiting. Another pass follows at once when the callback took some and more wait, or when
    // the queue holds other than the bytes the pass saw. Bytes that nobody takes (no callback,
    // or one that reads nothing) do not keep the thread spinning: they are reported again after
    // the next signal or the bounded wait.
    const std::uint32_t seen = queue_->Seen();
    const bool progress = queue_->Taken() != takenBefore;
    event_->WaitUnless(
        [&] {
            const std::uint32_t waiting = queue_->Look();
            return waiting > 0 && (progress || waiting != seen);
        },
        kEventWaitMs);
}
