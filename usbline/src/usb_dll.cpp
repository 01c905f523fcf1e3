#include "usbline/usb_dll.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "comm_thread.h"
#include "d2xx_library.h"
#include "line_event.h"

using namespace d2xx;

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kPurgeReceive = PURGE_RXABORT | PURGE_RXCLEAR;
// What wakes the receive thread: received bytes, and a change of the modem lines (an unplug).
constexpr DWORD kLineEvents = FT_EVENT_RXCHAR | FT_EVENT_MODEM_STATUS;
// Open by serial number with normal attributes. The Linux library does no overlapped I/O,
// so FILE_FLAG_OVERLAPPED is left out.
constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FT_OPEN_BY_SERIAL_NUMBER;
// Room for devices plugged in between counting them and listing their locations.
constexpr std::size_t kHotPlugSlack = 32;

void* IndexArgument(int index) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(static_cast<DWORD>(index)));
}

}  // namespace

struct UsbDll::Impl final : TCommThread::Queue {
    DWORD InQueueSize = kQueueSize;
    DWORD OutQueueSize = kQueueSize;
    usbline::D2xxLibrary Driver;
    FT_HANDLE DeviceHandle = nullptr;  // null: no device open
    std::unique_ptr<TCommThread> CommThread;
    // Made by the first DeviceOpen whose library can signal it, kept with the object: the
    // library holds its address while a device is open.
    std::unique_ptr<usbline::LineEvent> Event;
    bool EventRegistered = false;  // the open device signals Event
    // Bytes handed out by Read (on the receive thread), for the thread's look at the queue.
    std::atomic<std::uint64_t> BytesTaken{0};
    // What the last DoCommReceive found in the queue before its callback (receive thread only).
    std::uint32_t SeenInQueue = 0;

    bool Loaded() const { return Driver.Loaded(); }
    bool DeviceIsOpen() const { return DeviceHandle != nullptr; }
    const EntryPoints& Api() const { return Driver.Api(); }

    // Returns once the receive loop has ended: no callback runs after this.
    void StopReceiveThread() {
        if (!CommThread) return;
        CommThread->Stop();
        CommThread->WaitFor();
        CommThread.reset();
    }

    // Asks the open device to signal Event; false when the library cannot.
    bool RegisterEvent() {
        EventRegistered = false;
        if (!Api().SetEventNotification) return false;
        if (!Event) Event = std::make_unique<usbline::LineEvent>();
        EventRegistered = Api().SetEventNotification(DeviceHandle, kLineEvents, Event->Handle()) == FT_OK;
        return EventRegistered;
    }

    // Closes the device handle; the object is closed afterwards whatever the result.
    bool CloseDeviceHandle() {
        const bool closed = Api().CloseHandle(DeviceHandle) != 0;
        // A handle the library kept must not signal the event once the object is gone.
        if (!closed && EventRegistered) Api().SetEventNotification(DeviceHandle, 0, nullptr);
        EventRegistered = false;
        DeviceHandle = nullptr;
        return closed;
    }

    std::uint32_t Seen() override { return SeenInQueue; }
    std::uint32_t Look() override {
        if (!Loaded() || !DeviceIsOpen()) return 0;
        DWORD errors = 0;
        FTCOMSTAT status{};
        return Api().ClearCommError(DeviceHandle, &errors, &status) ? status.cbInQue : 0;
    }
    std::uint64_t Taken() const override { return BytesTaken.load(std::memory_order_relaxed); }
};

UsbDll::UsbDll(UsbDll* /*unused*/) : impl_(std::make_unique<Impl>()) { impl_->Driver.Load(); }

UsbDll::~UsbDll() {
    // The reader context deletes its transport after a failed open without closing it.
    if (impl_->Loaded() && impl_->DeviceIsOpen()) Close();
    impl_->StopReceiveThread();
    impl_->Driver.Unload();
}

int UsbDll::Open(COMMPR line) {
    if (!impl_->Loaded()) return -1;
    char serial[kListStringSize] = {};
    const FT_STATUS status = impl_->Api().ListDevices(
        IndexArgument(0), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    if (status != FT_OK) return static_cast<int>(status);
    serial[kListStringSize - 1] = '\0';
    return DeviceOpen(serial, line);
}

int UsbDll::GetDeviceName(char* description, char* serialNumber, int index) {
    if (!impl_->Loaded()) return -1;
    if (!description || !serialNumber) return -1;
    const EntryPoints& api = impl_->Api();
    FT_STATUS status =
        api.ListDevices(IndexArgument(index), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    if (status != FT_OK) return static_cast<int>(status);
    description[kListStringSize - 1] = '\0';
    status = api.ListDevices(IndexArgument(index), serialNumber,
                             FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    if (status != FT_OK) return static_cast<int>(status);
    serialNumber[kListStringSize - 1] = '\0';
    return 0;
}

int UsbDll::GetDeviceList(int* locations) {
    if (!impl_->Loaded()) return -1;
    const EntryPoints& api = impl_->Api();

    // The library never writes into the caller's 32-bit entries: it writes longs, and its
    // by-location listing may be missing. Count first, list into our own buffer, copy.
    DWORD count = 0;
    FT_STATUS status = api.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    if (status != FT_OK) return static_cast<int>(status);
    if (count > static_cast<DWORD>(INT_MAX)) return -1;
    if (count == 0 || !locations) return static_cast<int>(count);

    try {
        std::vector<ListedLocation> listed(count + kHotPlugSlack, 0);
        DWORD listedCount = 0;
        status = api.ListDevices(listed.data(), &listedCount, FT_LIST_ALL | FT_OPEN_BY_LOCATION);
        // Without a location listing every device still gets its entry, location 0.
        const DWORD known = status == FT_OK ? std::min(listedCount, count) : 0;
        for (DWORD i = 0; i < count; ++i) {
            locations[i] = i < known ? static_cast<int>(static_cast<std::uint32_t>(listed[i])) : 0;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return static_cast<int>(count);
}

int UsbDll::DeviceOpen(const char* serialNumber, COMMPR line) {
    if (!impl_->Loaded()) return -1;
    // It waits for the receive thread: from inside OnReceive that would never return.
    if (TCommThread::IsReceiveThreadOf(this)) return -1;
    const EntryPoints& api = impl_->Api();

    if (impl_->DeviceIsOpen()) {
        impl_->StopReceiveThread();
        api.SetCommMask(impl_->DeviceHandle, 0);
        api.PurgeComm(impl_->DeviceHandle, kPurgeAll);
        impl_->CloseDeviceHandle();
    }
    if (!serialNumber) return -1;

    const FT_HANDLE handle = api.CreateFile(serialNumber, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, kOpenFlags, nullptr);
    if (!IsValidHandle(handle)) return -1;
    impl_->DeviceHandle = handle;

    if (!api.SetCommMask(handle, EV_RXCHAR)) return -1;
    if (!api.SetupComm(handle, impl_->InQueueSize, impl_->OutQueueSize)) return -1;
    if (!api.PurgeComm(handle, kPurgeAll)) return -1;
    SetDcb(line);  // a line the device refuses still opens; the reply time-outs tell later
    FTTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 2000;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!api.SetCommTimeouts(handle, &timeouts)) return -1;

    // No overlapped records (the Linux library has no overlapped I/O); the receive thread
    // sleeps on the line event instead, or polls when the library cannot signal one.
    try {
        usbline::LineEvent* event = impl_->RegisterEvent() ? impl_->Event.get() : nullptr;
        auto thread = std::make_unique<TCommThread>(this, event, impl_.get());
        thread->Start("usb-receive");
        impl_->CommThread = std::move(thread);
    } catch (...) {
        return -1;  // no event or thread could be made; the device stays open for Close
    }
    return 0;
}

int UsbDll::SetDcb(COMMPR line) {
    if (!impl_->Loaded() || !impl_->DeviceIsOpen()) return -1;
    const EntryPoints& api = impl_->Api();
    FTDCB dcb{};
    if (!api.GetCommState(impl_->DeviceHandle, &dcb)) return -1;
    dcb.BaudRate = static_cast<DWORD>(line.BaudRate);
    dcb.ByteSize = line.ByteSize;
    dcb.Parity = line.Parity;
    dcb.StopBits = line.StopBits;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return api.SetCommState(impl_->DeviceHandle, &dcb) ? 0 : -1;
}

int UsbDll::Close() {
    if (!impl_->Loaded()) return -1;
    // It waits for the receive thread: from inside OnReceive that would never return.
    if (TCommThread::IsReceiveThreadOf(this)) return -1;
    if (!impl_->DeviceIsOpen()) return 0;
    const EntryPoints& api = impl_->Api();
    impl_->StopReceiveThread();
    // The handle is released even when the device no longer answers (unplugged): a failure
    // is still reported, but the object is closed and can open a device again.
    const bool masked = api.SetCommMask(impl_->DeviceHandle, 0) != 0;
    const bool purged = masked && api.PurgeComm(impl_->DeviceHandle, kPurgeAll) != 0;
    const bool closed = impl_->CloseDeviceHandle();
    return masked && purged && closed ? 0 : -1;
}

int UsbDll::Read(unsigned char* buffer, unsigned long length) {
    if (!impl_->Loaded() || !impl_->DeviceIsOpen()) return -1;
    if (!buffer && length > 0) return -1;
    const EntryPoints& api = impl_->Api();
    DWORD errors = 0;
    FTCOMSTAT status{};
    if (!api.ClearCommError(impl_->DeviceHandle, &errors, &status)) return -1;
    // The count must fit the int result.
    const DWORD wanted = static_cast<DWORD>(std::min<unsigned long>(length, INT_MAX));
    DWORD got = 0;
    if (!api.ReadFile(impl_->DeviceHandle, buffer, wanted, &got, nullptr)) return -1;
    got = std::min(got, wanted);
    impl_->BytesTaken.fetch_add(got, std::memory_order_relaxed);
    return static_cast<int>(got);
}

int UsbDll::Write(const unsigned char* buffer, unsigned long length) {
    if (!impl_->Loaded()) return -1;
    if (length > impl_->OutQueueSize) return -1;
    if (!impl_->DeviceIsOpen()) return -1;  // the driver is never handed a closed handle
    if (!buffer && length > 0) return -1;
    const EntryPoints& api = impl_->Api();
    DWORD modem = 0;
    if (!api.GetCommModemStatus(impl_->DeviceHandle, &modem)) return -1;
    DWORD errors = 0;
    FTCOMSTAT status{};
    if (!api.ClearCommError(impl_->DeviceHandle, &errors, &status)) return -1;
    const auto size = static_cast<DWORD>(length);
    DWORD written = 0;
    // The library only reads the buffer, though its signature is not const.
    if (api.WriteFile(impl_->DeviceHandle, const_cast<unsigned char*>(buffer), size, &written,
                      nullptr) &&
        written == size) {
        return 0;
    }
    api.ClearCommError(impl_->DeviceHandle, &errors, &status);
    return -1;  // failed, or timed out with part of the buffer unsent
}

void UsbDll::DoCommReceive() {
    impl_->SeenInQueue = 0;
    if (!impl_->Loaded() || !impl_->DeviceIsOpen()) return;
    const EntryPoints& api = impl_->Api();
    try {
        DWORD errors = 0;
        FTCOMSTAT status{};
        if (!api.ClearCommError(impl_->DeviceHandle, &errors, &status)) return;
        impl_->SeenInQueue = status.cbInQue;
        if (status.cbInQue > 0 && OnReceive.Assigned()) OnReceive(this, status.cbInQue);
        api.ClearCommError(impl_->DeviceHandle, &errors, &status);
    } catch (...) {
        throw 1;
    }
}

bool UsbDll::isDsr() {
    if (!impl_->Loaded()) return true;
    if (!impl_->DeviceIsOpen()) return false;
    DWORD modem = 0;
    if (!impl_->Api().GetCommModemStatus(impl_->DeviceHandle, &modem)) return false;
    return (modem & MS_DSR_ON) != 0;
}

bool UsbDll::isCts() {
    if (!impl_->Loaded()) return true;
    if (!impl_->DeviceIsOpen()) return false;
    DWORD modem = 0;
    if (!impl_->Api().GetCommModemStatus(impl_->DeviceHandle, &modem)) return false;
    return (modem & MS_CTS_ON) != 0;
}

bool UsbDll::ControlDtr(int value) {
    if (!impl_->Loaded()) return true;
    if (!impl_->DeviceIsOpen()) return false;  // what the driver answers for a closed handle
    return impl_->Api().EscapeCommFunction(impl_->DeviceHandle, value == 1 ? CLRDTR : SETDTR) != 0;
}

int UsbDll::RxPurge() {
    if (!impl_->Loaded()) return -1;
    if (!impl_->DeviceIsOpen()) return 0;
    return impl_->Api().PurgeComm(impl_->DeviceHandle, kPurgeReceive) ? 0 : -1;
}
