// The D2XX entry points of the fake library, with the semantics of FTDI's Linux library:
// no overlapped I/O (the OVERLAPPED arguments are ignored), reads wait as the time-outs say,
// FT_W32_GetOverlappedResult is unsupported, FT_W32_GetLastError gives D2XX status codes, and
// FT_SetEventNotification's event is set on every delivery into the receive queue and on every
// change of the modem lines (also an unplug), whether or not the host waits on it.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "fake_ftdi_state.h"

using namespace d2xx;
using namespace fake_ftdi;

namespace {

using Lock = std::unique_lock<std::mutex>;

// An open handle to a present device that this call may use, after any injected failure.
struct Target {
    Handle* handle = nullptr;
    Device* device = nullptr;
    FT_STATUS status = FT_OK;
};

Target Check(State& state, FT_HANDLE handle, FakeFtdiCall& call) {
    Target target;
    target.handle = FindHandle(state, handle);
    if (!target.handle) {
        target.status = FT_INVALID_HANDLE;
        return target;
    }
    call.device = target.handle->device;
    target.device = FindDevice(state, target.handle->device);
    if (const FT_STATUS injected = InjectedFailure(state, call.function)) {
        target.status = injected;
    } else if (!target.device || !target.device->present) {
        target.status = FT_IO_ERROR;  // unplugged
    }
    if (target.status != FT_OK) target.handle->lastError = target.status;
    return target;
}

BOOL Finish(State& state, FakeFtdiCall& call, BOOL result) {
    call.result = result;
    Record(state, call);
    return result;
}

// Fails a handle call whose target is usable but whose arguments are not.
BOOL Refuse(State& state, FakeFtdiCall& call, Target& target, FT_STATUS status) {
    target.handle->lastError = status;
    return Finish(state, call, 0);
}

std::vector<Device*> PresentDevices(State& state) {
    std::vector<Device*> present;
    for (Device& device : state.devices) {
        if (device.present) present.push_back(&device);
    }
    return present;
}

void CopyListString(char* out, const std::string& text) {
    const std::size_t n = std::min(text.size(), kListStringSize - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

extern "C" {

FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(arg1);
    call.args[1] = Address(arg2);
    call.args[2] = flags;
    auto finish = [&](FT_STATUS status) {
        call.result = status;
        Record(state, call);
        return status;
    };
    if (const FT_STATUS injected = InjectedFailure(state, __func__)) return finish(injected);

    const std::vector<Device*> present = PresentDevices(state);
    const auto count = static_cast<DWORD>(present.size());
    const DWORD what = flags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION);

    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return finish(FT_INVALID_PARAMETER);
        *static_cast<DWORD*>(arg1) = count;
        call.value = count;
        return finish(FT_OK);
    }
    if (flags & FT_LIST_BY_INDEX) {
        const auto index = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(arg1));
        if (!arg2) return finish(FT_INVALID_PARAMETER);
        if (index >= count) return finish(FT_DEVICE_NOT_FOUND);
        const Device& device = *present[index];
        call.device = static_cast<int>(&device - state.devices.data());
        if (what == FT_OPEN_BY_LOCATION) {
            if (!state.locationListing) return finish(FT_NOT_SUPPORTED);
            *static_cast<ListedLocation*>(arg2) = static_cast<ListedLocation>(device.location);
            call.value = device.location;
            return finish(FT_OK);
        }
        const std::string& text =
            what == FT_OPEN_BY_DESCRIPTION ? device.description : device.serialNumber;
        CopyListString(static_cast<char*>(arg2), text);
        SetText(call, static_cast<char*>(arg2));
        return finish(FT_OK);
    }
    if (flags & FT_LIST_ALL) {
        if (!arg1 || !arg2) return finish(FT_INVALID_PARAMETER);
        if (what == FT_OPEN_BY_LOCATION) {
            if (!state.locationListing) return finish(FT_NOT_SUPPORTED);
            auto* locations = static_cast<ListedLocation*>(arg1);
            for (DWORD i = 0; i < count; ++i) {
                locations[i] = static_cast<ListedLocation>(present[i]->location);
            }
        } else {
            // An array of pointers to 64-byte buffers, as many as there are devices.
            char** strings = static_cast<char**>(arg1);
            for (DWORD i = 0; i < count; ++i) {
                const Device& device = *present[i];
                CopyListString(strings[i], what == FT_OPEN_BY_DESCRIPTION ? device.description
                                                                          : device.serialNumber);
            }
        }
        *static_cast<DWORD*>(arg2) = count;
        call.value = count;
        return finish(FT_OK);
    }
    return finish(FT_INVALID_ARGS);
}

FT_HANDLE FT_W32_CreateFile(const char* name, DWORD access, DWORD shareMode, void* security,
                            DWORD creation, DWORD flags, void* templateFile) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(name);
    call.args[1] = access;
    call.args[2] = shareMode;
    call.args[3] = Address(security);
    call.args[4] = creation;
    call.args[5] = flags;
    call.args[6] = Address(templateFile);
    const bool byLocation = (flags & FT_OPEN_BY_LOCATION) != 0;
    const bool byDescription = (flags & FT_OPEN_BY_DESCRIPTION) != 0;
    if (!byLocation) SetText(call, name);

    auto fail = [&](FT_STATUS status) {
        state.lastCreateError = status;
        call.result = static_cast<std::int64_t>(state.invalidHandle);
        Record(state, call);
        return reinterpret_cast<FT_HANDLE>(state.invalidHandle);
    };
    if (const FT_STATUS injected = InjectedFailure(state, __func__)) return fail(injected);
    if (!name && !byLocation) return fail(FT_INVALID_PARAMETER);

    Device* found = nullptr;
    for (Device& device : state.devices) {
        if (!device.present) continue;
        const bool match = byLocation ? device.location == static_cast<std::uint32_t>(Address(name))
                           : byDescription ? device.description == name
                                           : device.serialNumber == name;
        if (match) {
            found = &device;
            break;
        }
    }
    if (!found) return fail(FT_DEVICE_NOT_FOUND);
    if (found->openHandle != 0) return fail(FT_DEVICE_NOT_OPENED);

    const int id = static_cast<int>(found - state.devices.data());
    state.lastHandle += 0x10;
    const std::uintptr_t value = state.lastHandle;
    state.handles[value] = Handle{id, FT_OK};
    found->openHandle = value;
    found->eventMask = 0;
    found->pendingEvents = 0;
    found->notifyEvent = nullptr;
    found->notifyMask = 0;
    state.lastCreateError = FT_OK;
    call.device = id;
    call.result = static_cast<std::int64_t>(value);
    Record(state, call);
    return reinterpret_cast<FT_HANDLE>(value);
}

BOOL FT_W32_CloseHandle(FT_HANDLE handle) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    Handle* open = FindHandle(state, handle);
    if (!open) return Finish(state, call, 0);
    call.device = open->device;
    if (const FT_STATUS injected = InjectedFailure(state, __func__)) {
        open->lastError = injected;
        return Finish(state, call, 0);
    }
    // No setting of the event is left to come once the handle is closed.
    const int id = open->device;
    WaitForSignals(state, lock, id);
    open = FindHandle(state, handle);
    if (!open) return Finish(state, call, 0);
    // Closing works on an unplugged device too: it releases the handle, and the event it
    // registered is not set any more.
    if (Device* device = FindDevice(state, open->device)) {
        device->openHandle = 0;
        device->notifyEvent = nullptr;
        device->notifyMask = 0;
    }
    state.handles.erase(reinterpret_cast<std::uintptr_t>(handle));
    state.changed.notify_all();
    return Finish(state, call, 1);
}

BOOL FT_W32_SetupComm(FT_HANDLE handle, DWORD readBufferSize, DWORD writeBufferSize) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = readBufferSize;
    call.args[2] = writeBufferSize;
    Target target = Check(state, handle, call);
    return Finish(state, call, target.status == FT_OK);
}

BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD mask) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = mask;
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (mask & PURGE_RXCLEAR) {
        target.device->receive.clear();
        target.device->pendingEvents = 0;
    }
    if (mask & PURGE_RXABORT) {
        ++target.device->readAborts;
        state.changed.notify_all();
    }
    return Finish(state, call, 1);
}

BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle, FTTIMEOUTS* timeouts) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(timeouts);
    SetBlock(call, timeouts, sizeof(FTTIMEOUTS));
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (!timeouts) return Refuse(state, call, target, FT_INVALID_PARAMETER);
    target.device->timeouts = *timeouts;
    return Finish(state, call, 1);
}

BOOL FT_W32_GetCommState(FT_HANDLE handle, FTDCB* dcb) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(dcb);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (!dcb) return Refuse(state, call, target, FT_INVALID_PARAMETER);
    *dcb = target.device->dcb;
    SetBlock(call, dcb, sizeof(FTDCB));
    return Finish(state, call, 1);
}

BOOL FT_W32_SetCommState(FT_HANDLE handle, FTDCB* dcb) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(dcb);
    SetBlock(call, dcb, sizeof(FTDCB));
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (!dcb) return Refuse(state, call, target, FT_INVALID_PARAMETER);
    target.device->dcb = *dcb;
    target.device->dtr = dcb->fDtrControl != 0;
    target.device->rts = dcb->fRtsControl != 0;
    return Finish(state, call, 1);
}

BOOL FT_W32_SetCommMask(FT_HANDLE handle, ULONG eventMask) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = eventMask;
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    target.device->eventMask = eventMask;
    ++target.device->maskChanges;  // a pending event wait returns
    state.changed.notify_all();
    return Finish(state, call, 1);
}

BOOL FT_W32_ClearCommError(FT_HANDLE handle, DWORD* errors, FTCOMSTAT* status) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(errors);
    call.args[2] = Address(status);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (errors) *errors = 0;
    Device& device = *target.device;
    const auto queued = static_cast<DWORD>(device.receive.size());
    if (status) {
        *status = FTCOMSTAT{};
        status->cbInQue = queued;
        status->cbOutQue = 0;
    }
    call.value = queued;
    Finish(state, call, 1);
    if (queued == 0 && device.lookPushArmed && device.present) {
        if (device.lookPushSkip > 0) {
            --device.lookPushSkip;
        } else {
            // Bytes that arrive the moment after this look: the host has not seen them.
            device.lookPushArmed = false;
            device.receive.insert(device.receive.end(), device.lookPush.begin(), device.lookPush.end());
            device.pendingEvents |= EV_RXCHAR;
            device.lookPushNs = static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch()).count());
            const EventSignal signal = TakeSignal(state, device, FT_EVENT_RXCHAR);
            state.changed.notify_all();
            SetEventAfterLook(state, lock, signal);
        }
    }
    return 1;
}

DWORD FT_W32_GetLastError(FT_HANDLE handle) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    const Handle* open = FindHandle(state, handle);
    // A handle that never opened reports why its creation failed.
    const DWORD error = open ? open->lastError : state.lastCreateError;
    if (open) call.device = open->device;
    call.result = error;
    Record(state, call);
    return error;
}

BOOL FT_W32_GetOverlappedResult(FT_HANDLE handle, LPOVERLAPPED overlapped, DWORD* transferred,
                                BOOL wait) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(overlapped);
    call.args[2] = Address(transferred);
    call.args[3] = static_cast<std::uint64_t>(wait);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    return Refuse(state, call, target, FT_NOT_SUPPORTED);  // no overlapped I/O on Linux
}

BOOL FT_W32_ReadFile(FT_HANDLE handle, void* buffer, DWORD size, DWORD* bytesReturned,
                     LPOVERLAPPED overlapped) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(buffer);
    call.args[2] = size;
    call.args[3] = Address(bytesReturned);
    call.args[4] = Address(overlapped);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if ((!buffer && size > 0) || !bytesReturned) {
        return Refuse(state, call, target, FT_INVALID_PARAMETER);
    }

    // Wait for `size` bytes as the time-outs say: at most multiplier * size + constant ms;
    // MAXDWORD interval with zero totals returns at once, all zero waits without limit.
    const FTTIMEOUTS t = target.device->timeouts;
    const bool immediate = t.ReadIntervalTimeout == MAXDWORD &&
                           t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const std::uint64_t totalMs =
        std::uint64_t{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
    const int id = target.handle->device;
    const std::uint64_t generation = state.generation;
    const std::uint64_t aborts = target.device->readAborts;
    auto done = [&] {
        const Device* device = FindDevice(state, id);
        return state.generation != generation || !FindHandle(state, handle) || !device ||
               !device->present || device->readAborts != aborts || device->receive.size() >= size;
    };
    if (!immediate) {
        if (totalMs == 0) {
            state.changed.wait(lock, done);
        } else {
            state.changed.wait_for(lock, std::chrono::milliseconds(totalMs), done);
        }
    }
    // Closed, reset or unplugged while waiting.
    target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);

    std::deque<std::uint8_t>& queue = target.device->receive;
    const auto n = static_cast<DWORD>(std::min<std::size_t>(size, queue.size()));
    std::copy_n(queue.begin(), n, static_cast<std::uint8_t*>(buffer));
    queue.erase(queue.begin(), queue.begin() + n);
    *bytesReturned = n;
    call.value = n;
    return Finish(state, call, 1);
}

BOOL FT_W32_WriteFile(FT_HANDLE handle, void* buffer, DWORD size, DWORD* bytesWritten,
                      LPOVERLAPPED overlapped) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(buffer);
    call.args[2] = size;
    call.args[3] = Address(bytesWritten);
    call.args[4] = Address(overlapped);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if ((!buffer && size > 0) || !bytesWritten) {
        return Refuse(state, call, target, FT_INVALID_PARAMETER);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> data(bytes, bytes + size);
    const FakeFtdiPeerFn peer = target.device->peer;
    void* const context = target.device->peerContext;
    const int id = target.handle->device;
    const std::uint64_t generation = state.generation;
    if (peer) ++target.device->peerCallsInFlight;
    *bytesWritten = size;
    call.value = size;
    Finish(state, call, 1);
    lock.unlock();

    if (peer) {
        // No lock held: the peer may push its answer from inside the call.
        ++PeerDepth();
        peer(context, data.data(), data.size());
        --PeerDepth();
        lock.lock();
        if (Device* device = FindDevice(state, id); device && state.generation == generation) {
            --device->peerCallsInFlight;
        }
        state.changed.notify_all();
    }
    return 1;
}

BOOL FT_W32_GetCommModemStatus(FT_HANDLE handle, DWORD* modemStatus) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(modemStatus);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (!modemStatus) return Refuse(state, call, target, FT_INVALID_PARAMETER);
    *modemStatus = target.device->modemStatus;
    call.value = target.device->modemStatus;
    return Finish(state, call, 1);
}

BOOL FT_W32_EscapeCommFunction(FT_HANDLE handle, DWORD function) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = function;
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    switch (function) {
        case SETDTR: target.device->dtr = true; break;
        case CLRDTR: target.device->dtr = false; break;
        case SETRTS: target.device->rts = true; break;
        case CLRRTS: target.device->rts = false; break;
        case SETBREAK:
        case CLRBREAK: break;
        default: return Refuse(state, call, target, FT_INVALID_PARAMETER);
    }
    return Finish(state, call, 1);
}

#ifndef FAKE_FTDI_WITHOUT_WAIT_COMM_EVENT
BOOL FT_W32_WaitCommEvent(FT_HANDLE handle, ULONG* event, LPOVERLAPPED overlapped) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = Address(event);
    call.args[2] = Address(overlapped);
    Target target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    if (!event || target.device->eventMask == 0) {
        return Refuse(state, call, target, FT_INVALID_PARAMETER);
    }
    // Blocks until an event of the mask occurs; a new mask, closing or unplugging ends it.
    const int id = target.handle->device;
    const std::uint64_t generation = state.generation;
    const std::uint64_t maskChanges = target.device->maskChanges;
    state.changed.wait(lock, [&] {
        const Device* device = FindDevice(state, id);
        return state.generation != generation || !FindHandle(state, handle) || !device ||
               !device->present || device->maskChanges != maskChanges ||
               (device->pendingEvents & device->eventMask) != 0;
    });
    target = Check(state, handle, call);
    if (target.status != FT_OK) return Finish(state, call, 0);
    Device& device = *target.device;
    *event = device.maskChanges != maskChanges ? 0 : device.pendingEvents & device.eventMask;
    device.pendingEvents &= ~*event;
    call.value = *event;
    return Finish(state, call, 1);
}
#endif

#ifndef FAKE_FTDI_WITHOUT_EVENT_NOTIFICATION
FT_STATUS FT_SetEventNotification(FT_HANDLE handle, DWORD eventMask, void* event) {
    State& state = Global();
    Lock lock(state.mutex);
    FakeFtdiCall call = NewCall(__func__);
    call.args[0] = Address(handle);
    call.args[1] = eventMask;
    call.args[2] = Address(event);
    Target target = Check(state, handle, call);
    if (target.status == FT_OK && eventMask != 0 && !event) target.status = FT_INVALID_PARAMETER;
    if (target.status == FT_OK) {
        // A mask of 0 stops the notification: no setting of the old event is left to come.
        const int id = target.handle->device;
        WaitForSignals(state, lock, id);
        target = Check(state, handle, call);
    }
    if (target.status == FT_OK) {
        target.device->notifyMask = eventMask;
        target.device->notifyEvent = eventMask != 0 ? static_cast<EVENT_HANDLE*>(event) : nullptr;
    }
    call.result = target.status;
    Record(state, call);
    return target.status;
}
#endif

}  // extern "C"
