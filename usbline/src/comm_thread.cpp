#include "comm_thread.h"

#include <exception>

#include "platform/clock.h"
#include "platform/exception_handler.h"
#include "usbline/usb_dll.h"

void TCommThread::Execute() {
    // FTDI's Linux library has no overlapped wait for comm events, so each pass asks the
    // receive queue directly; the 1 ms sleep keeps an idle line almost free.
    while (!Terminated()) {
        try {
            OwnerDll->DoCommReceive();
        } catch (...) {
            // A failing receiver must not end the thread: report it and go on.
            platform::HandleException(this, std::current_exception());
        }
        platform::SleepMs(1);
    }
}
