#pragma once
// The receive thread of an open UsbDll: every pass hands the waiting bytes to the owner's
// receive callback (UsbDll::DoCommReceive), then sleeps 1 ms.
#include "platform/thread.h"

class UsbDll;

class TCommThread : public platform::Thread {
public:
    explicit TCommThread(UsbDll* owner) : OwnerDll(owner) {}
    // The owner terminates and waits before it lets go; waiting again here is harmless.
    ~TCommThread() override { WaitFor(); }

    UsbDll* const OwnerDll;

protected:
    void Execute() override;
};
