#pragma once
// The receive thread of an open UsbDll: every pass hands the waiting bytes to the owner's
// receive callback (UsbDll::DoCommReceive). Between passes it sleeps on the library's line
// event, or, when the library cannot signal one, for 1 ms.
#include <cstdint>

#include "line_event.h"
#include "platform/thread.h"

class UsbDll;

class TCommThread : public platform::Thread {
public:
    // What the thread learns of the device's receive queue between passes.
    class Queue {
    public:
        // Bytes the pass that just ended found in the queue (and offered to the callback);
        // 0 also when its query failed.
        virtual std::uint32_t Seen() = 0;
        // Bytes in the queue now (asks the library); 0 also when the query fails.
        virtual std::uint32_t Look() = 0;
        // Bytes read from it (UsbDll::Read) so far; only its changes matter.
        virtual std::uint64_t Taken() const = 0;

    protected:
        ~Queue() = default;
    };

    // `event` is null when the library signals nothing; then the thread polls.
    TCommThread(UsbDll* owner, usbline::LineEvent* event, Queue* queue)
        : OwnerDll(owner), event_(event), queue_(queue) {}
    // The owner terminates and waits before it lets go; waiting again here is harmless.
    ~TCommThread() override { WaitFor(); }

    // Terminate, and end a wait in progress at once.
    void Stop();
    // Whether the calling thread is the receive thread of `owner` (inside its callback).
    static bool IsReceiveThreadOf(const UsbDll* owner);

    UsbDll* const OwnerDll;

    // Longest sleep between two passes when the library signals: a line that stays silent is
    // looked at again after this.
    static constexpr std::uint32_t kEventWaitMs = 50;

protected:
    void Execute() override;

private:
    void PauseAfterPass(std::uint64_t takenBefore);

    usbline::LineEvent* const event_;
    Queue* const queue_;
};
