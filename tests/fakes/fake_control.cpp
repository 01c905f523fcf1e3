// The control API of the fake D2XX library (fake_ftdi_control.h).
#include <cstring>

#include "fake_ftdi_state.h"

using namespace fake_ftdi;

namespace {
using Lock = std::unique_lock<std::mutex>;
}

extern "C" {

void FakeFtdiReset(void) {
    State& state = Global();
    Lock lock(state.mutex);
    WaitForPeers(state, lock);
    WaitForSignals(state, lock);
    state.devices.clear();
    state.handles.clear();
    state.lastCreateError = d2xx::FT_OK;
    state.locationListing = true;
    state.invalidHandle = ~std::uintptr_t{0};
    state.failures.clear();
    state.recording = true;
    state.calls.clear();
    state.droppedCalls = 0;
    ++state.generation;  // blocked reads and event waits return
    state.changed.notify_all();
}

int FakeFtdiAddDevice(const char* description, const char* serialNumber, uint32_t location) {
    State& state = Global();
    Lock lock(state.mutex);
    Device device;
    device.description = description ? description : "";
    device.serialNumber = serialNumber ? serialNumber : "";
    device.location = location;
    device.dcb = DefaultDcb();
    state.devices.push_back(std::move(device));
    return static_cast<int>(state.devices.size() - 1);
}

void FakeFtdiRemoveDevice(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    if (!FindDevice(state, id)) return;
    WaitForPeers(state, lock, id);
    Device* device = FindDevice(state, id);
    if (!device) return;
    device->present = false;
    device->receive.clear();
    device->peer = nullptr;
    device->peerContext = nullptr;
    // The lines of a device that is gone fall: a host waiting for line events hears of it.
    device->modemStatus = 0;
    const EventSignal signal = TakeSignal(state, *device, d2xx::FT_EVENT_MODEM_STATUS);
    state.changed.notify_all();
    SetEvent(state, lock, signal);
}

void FakeFtdiSetPeer(int id, FakeFtdiPeerFn peer, void* context) {
    State& state = Global();
    Lock lock(state.mutex);
    if (!FindDevice(state, id)) return;
    // After this returns the old peer is not called any more (unless from inside itself).
    WaitForPeers(state, lock, id);
    Device* device = FindDevice(state, id);
    if (!device) return;
    device->peer = peer;
    device->peerContext = peer ? context : nullptr;
}

void FakeFtdiPushReceive(int id, const uint8_t* data, size_t count) {
    State& state = Global();
    Lock lock(state.mutex);
    Device* device = FindDevice(state, id);
    if (!device || !device->present || !data || count == 0) return;
    device->receive.insert(device->receive.end(), data, data + count);
    device->pendingEvents |= d2xx::EV_RXCHAR;
    const EventSignal signal = TakeSignal(state, *device, d2xx::FT_EVENT_RXCHAR);
    state.changed.notify_all();
    SetEvent(state, lock, signal);
}

void FakeFtdiPushAfterEmptyLook(int id, const uint8_t* data, size_t count, unsigned skip) {
    State& state = Global();
    Lock lock(state.mutex);
    Device* device = FindDevice(state, id);
    if (!device || !data || count == 0) return;
    device->lookPush.assign(data, data + count);
    device->lookPushSkip = skip;
    device->lookPushArmed = true;
}

uint64_t FakeFtdiLastLookPushNs(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device && !device->lookPushArmed ? device->lookPushNs : 0;
}

void FakeFtdiSetModemStatus(int id, uint32_t status) {
    State& state = Global();
    Lock lock(state.mutex);
    Device* device = FindDevice(state, id);
    if (!device || device->modemStatus == status) return;
    device->modemStatus = status;
    if (!device->present) return;
    const EventSignal signal = TakeSignal(state, *device, d2xx::FT_EVENT_MODEM_STATUS);
    SetEvent(state, lock, signal);
}

uint64_t FakeFtdiEventSignals(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device ? device->eventSignals : 0;
}

int FakeFtdiGetDtr(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device ? (device->dtr ? 1 : 0) : -1;
}

int FakeFtdiGetRts(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device ? (device->rts ? 1 : 0) : -1;
}

size_t FakeFtdiReceiveQueued(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device ? device->receive.size() : 0;
}

int FakeFtdiIsOpen(int id) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    return device ? (device->openHandle != 0 ? 1 : 0) : -1;
}

int FakeFtdiGetDcb(int id, void* dcb, size_t size) {
    State& state = Global();
    Lock lock(state.mutex);
    const Device* device = FindDevice(state, id);
    if (!device || !dcb || size != sizeof(d2xx::FTDCB)) return -1;
    std::memcpy(dcb, &device->dcb, sizeof(d2xx::FTDCB));
    return 0;
}

int FakeFtdiSetDcb(int id, const void* dcb, size_t size) {
    State& state = Global();
    Lock lock(state.mutex);
    Device* device = FindDevice(state, id);
    if (!device || !dcb || size != sizeof(d2xx::FTDCB)) return -1;
    std::memcpy(&device->dcb, dcb, sizeof(d2xx::FTDCB));
    return 0;
}

void FakeFtdiSetLocationListing(int supported) {
    State& state = Global();
    Lock lock(state.mutex);
    state.locationListing = supported != 0;
}

void FakeFtdiSetInvalidHandleValue(uintptr_t value) {
    State& state = Global();
    Lock lock(state.mutex);
    state.invalidHandle = value;
}

void FakeFtdiFailCall(const char* function, uint32_t status) {
    if (!function) return;
    State& state = Global();
    Lock lock(state.mutex);
    if (status == d2xx::FT_OK) {
        state.failures.erase(function);
    } else {
        state.failures[function] = status;
    }
}

size_t FakeFtdiCallCount(void) {
    State& state = Global();
    Lock lock(state.mutex);
    return state.calls.size();
}

int FakeFtdiGetCall(size_t index, FakeFtdiCall* call) {
    State& state = Global();
    Lock lock(state.mutex);
    if (!call || index >= state.calls.size()) return -1;
    *call = state.calls[index];
    return 0;
}

void FakeFtdiClearCalls(void) {
    State& state = Global();
    Lock lock(state.mutex);
    state.calls.clear();
    state.droppedCalls = 0;
}

void FakeFtdiSetRecording(int on) {
    State& state = Global();
    Lock lock(state.mutex);
    state.recording = on != 0;
}

size_t FakeFtdiDroppedCalls(void) {
    State& state = Global();
    Lock lock(state.mutex);
    return state.droppedCalls;
}

int FakeFtdiThreadNumber(void) { return ThreadNumber(); }

}  // extern "C"
