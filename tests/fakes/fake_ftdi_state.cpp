#include "fake_ftdi_state.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace fake_ftdi {

State& Global() {
    static State state;
    return state;
}

d2xx::FTDCB DefaultDcb() {
    d2xx::FTDCB dcb{};
    dcb.DCBlength = sizeof(d2xx::FTDCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = d2xx::DTR_CONTROL_ENABLE;
    dcb.fRtsControl = d2xx::RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

Handle* FindHandle(State& state, d2xx::FT_HANDLE handle) {
    auto it = state.handles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == state.handles.end() ? nullptr : &it->second;
}

Device* FindDevice(State& state, int id) {
    if (id < 0 || static_cast<std::size_t>(id) >= state.devices.size()) return nullptr;
    return &state.devices[static_cast<std::size_t>(id)];
}

EventSignal TakeSignal(State& state, Device& device, d2xx::DWORD condition) {
    EventSignal signal;
    if (!device.notifyEvent || (device.notifyMask & condition) == 0) return signal;
    signal.event = device.notifyEvent;
    signal.device = static_cast<int>(&device - state.devices.data());
    signal.generation = state.generation;
    ++device.signalsInFlight;
    ++device.eventSignals;
    return signal;
}

namespace {

void Set(d2xx::EVENT_HANDLE* event) {
    pthread_cond_signal(&event->eCondVar);
    pthread_mutex_unlock(&event->eMutex);
}

void Made(State& state, const EventSignal& signal) {
    if (Device* device = FindDevice(state, signal.device);
        device && state.generation == signal.generation) {
        --device->signalsInFlight;
    }
    state.changed.notify_all();
}

}  // namespace

void SetEvent(State& state, std::unique_lock<std::mutex>& lock, const EventSignal& signal) {
    if (!signal.event) return;
    lock.unlock();
    pthread_mutex_lock(&signal.event->eMutex);
    Set(signal.event);
    lock.lock();
    Made(state, signal);
}

void SetEventAfterLook(State& state, std::unique_lock<std::mutex>& lock, const EventSignal& signal) {
    if (!signal.event) return;
    lock.unlock();
    if (pthread_mutex_trylock(&signal.event->eMutex) == 0) {
        Set(signal.event);
        lock.lock();
        Made(state, signal);
        return;
    }
    // The looking thread holds the event's mutex: as the library's own thread would, wait for
    // it (the host releases it when it waits) on a thread of its own.
    std::thread([signal] {
        pthread_mutex_lock(&signal.event->eMutex);
        Set(signal.event);
        State& global = Global();
        std::lock_guard<std::mutex> relock(global.mutex);
        Made(global, signal);
    }).detach();
    lock.lock();
}

void WaitForSignals(State& state, std::unique_lock<std::mutex>& lock, int id) {
    state.changed.wait(lock, [&] {
        for (std::size_t i = 0; i < state.devices.size(); ++i) {
            if ((id < 0 || static_cast<std::size_t>(id) == i) && state.devices[i].signalsInFlight > 0) {
                return false;
            }
        }
        return true;
    });
}

int& PeerDepth() {
    thread_local int depth = 0;
    return depth;
}

void WaitForPeers(State& state, std::unique_lock<std::mutex>& lock, int id) {
    if (PeerDepth() > 0) return;
    state.changed.wait(lock, [&] {
        for (std::size_t i = 0; i < state.devices.size(); ++i) {
            if ((id < 0 || static_cast<std::size_t>(id) == i) &&
                state.devices[i].peerCallsInFlight > 0) {
                return false;
            }
        }
        return true;
    });
}

int ThreadNumber() {
    static std::atomic<int> next{0};
    thread_local const int number = ++next;
    return number;
}

FakeFtdiCall NewCall(const char* function) {
    FakeFtdiCall call{};
    std::strncpy(call.function, function, sizeof(call.function) - 1);
    call.thread = ThreadNumber();
    call.device = -1;
    return call;
}

void SetText(FakeFtdiCall& call, const char* text) {
    if (!text) return;
    std::strncpy(call.text, text, sizeof(call.text) - 1);
}

void SetBlock(FakeFtdiCall& call, const void* data, std::size_t size) {
    if (!data) return;
    if (size > sizeof(call.block)) size = sizeof(call.block);
    std::memcpy(call.block, data, size);
    call.blockSize = static_cast<std::uint32_t>(size);
}

std::uint64_t Address(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

void Record(State& state, const FakeFtdiCall& call) {
    if (!state.recording) return;
    if (state.calls.size() >= FAKE_FTDI_MAX_CALLS) {
        ++state.droppedCalls;
        return;
    }
    state.calls.push_back(call);
}

d2xx::FT_STATUS InjectedFailure(State& state, const char* function) {
    auto it = state.failures.find(function);
    return it == state.failures.end() ? d2xx::FT_OK : it->second;
}

}  // namespace fake_ftdi
