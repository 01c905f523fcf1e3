#pragma once
// The state behind the fake D2XX library: simulated devices, open handles, switches and the
// call record, all guarded by one mutex.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "d2xx/d2xx_types.h"
#include "fake_ftdi_control.h"

namespace fake_ftdi {

struct Device {
    std::string description;
    std::string serialNumber;
    std::uint32_t location = 0;
    bool present = true;  // false once unplugged
    std::deque<std::uint8_t> receive;
    std::uint32_t modemStatus = 0;
    bool dtr = false;
    bool rts = false;
    d2xx::FTDCB dcb{};
    d2xx::FTTIMEOUTS timeouts{};
    d2xx::ULONG eventMask = 0;
    d2xx::ULONG pendingEvents = 0;
    std::uint64_t readAborts = 0;  // bumped by PURGE_RXABORT: blocked reads return
    std::uint64_t maskChanges = 0; // bumped by SetCommMask: a blocked event wait returns
    std::uintptr_t openHandle = 0; // 0 = not open (share mode 0: one handle at a time)
    // FT_SetEventNotification of the open handle: the host's event and its conditions.
    d2xx::EVENT_HANDLE* notifyEvent = nullptr;
    d2xx::DWORD notifyMask = 0;
    std::uint64_t eventSignals = 0;  // times the event was set
    int signalsInFlight = 0;         // signals taken under the lock and not yet set
    // Bytes to append just after a look at the empty queue (FakeFtdiPushAfterEmptyLook).
    std::vector<std::uint8_t> lookPush;
    bool lookPushArmed = false;
    unsigned lookPushSkip = 0;       // empty looks to let pass first
    std::uint64_t lookPushNs = 0;    // steady-clock time of the last such push
    FakeFtdiPeerFn peer = nullptr;
    void* peerContext = nullptr;
    int peerCallsInFlight = 0;
};

struct Handle {
    int device = -1;
    d2xx::DWORD lastError = d2xx::FT_OK;
};

struct State {
    std::mutex mutex;
    std::condition_variable changed;  // any device, handle or queue changed
    std::uint64_t generation = 0;     // bumped by Reset
    std::vector<Device> devices;      // id = index; never erased but by Reset
    std::map<std::uintptr_t, Handle> handles;
    std::uintptr_t lastHandle = 0x10000;
    d2xx::DWORD lastCreateError = d2xx::FT_OK;
    bool locationListing = true;
    std::uintptr_t invalidHandle = ~std::uintptr_t{0};
    std::map<std::string, d2xx::FT_STATUS> failures;
    bool recording = true;
    std::vector<FakeFtdiCall> calls;
    std::size_t droppedCalls = 0;
};

State& Global();

// Default state of a newly plugged device: 9600 8N1, no flow control, DTR and RTS enabled.
d2xx::FTDCB DefaultDcb();

// An open handle, or null when unknown (closed, or never given out). Lock held.
Handle* FindHandle(State& state, d2xx::FT_HANDLE handle);
// A device by id, or null. Lock held.
Device* FindDevice(State& state, int id);

// A setting of a device's notification event, taken under the lock and made after it.
struct EventSignal {
    d2xx::EVENT_HANDLE* event = nullptr;  // null: nothing to set
    int device = -1;
    std::uint64_t generation = 0;
};

// Takes a setting of the device's notification event when `condition` (FT_EVENT_*) is in its
// mask, whether or not anybody waits. Lock held; the setting counts as in flight until made,
// and the handle that registered the event is not closed meanwhile (WaitForSignals).
EventSignal TakeSignal(State& state, Device& device, d2xx::DWORD condition);
// Sets the event as the library does (its mutex, then the condition variable), with the lock
// released meanwhile: the host may look at the queue holding the event's mutex, so taking
// that mutex under the lock could deadlock. `lock` is held again on return.
void SetEvent(State& state, std::unique_lock<std::mutex>& lock, const EventSignal& signal);
// The same from inside a look of the host, whose thread may hold the event's mutex: when it
// does, the event is set from another thread as soon as the host waits.
void SetEventAfterLook(State& state, std::unique_lock<std::mutex>& lock, const EventSignal& signal);
// Waits until no setting of the device's event (any device's when id < 0) is in flight. Lock held.
void WaitForSignals(State& state, std::unique_lock<std::mutex>& lock, int id = -1);

// Depth of peer calls on this thread: a control call made from inside a peer must not wait
// for peer calls to end.
int& PeerDepth();
// Waits until no peer call runs on another thread (all devices, or only `id`). Lock held.
void WaitForPeers(State& state, std::unique_lock<std::mutex>& lock, int id = -1);

// Thread number for the record (1, 2, ...).
int ThreadNumber();

// A call record under construction; stored by Record (lock held).
FakeFtdiCall NewCall(const char* function);
void SetText(FakeFtdiCall& call, const char* text);
void SetBlock(FakeFtdiCall& call, const void* data, std::size_t size);
std::uint64_t Address(const void* pointer);
void Record(State& state, const FakeFtdiCall& call);

// The status an entry point was told to fail with, FT_OK when none. Lock held.
d2xx::FT_STATUS InjectedFailure(State& state, const char* function);

}  // namespace fake_ftdi
