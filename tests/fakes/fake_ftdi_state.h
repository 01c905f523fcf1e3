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

// Sets the device's notification event when `condition` (FT_EVENT_*) is in its mask, as the
// library does: through the event's mutex, whether or not anybody waits. Lock held, so that
// the event is never set after the handle that registered it was closed.
void SignalEvent(Device& device, d2xx::DWORD condition);

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
