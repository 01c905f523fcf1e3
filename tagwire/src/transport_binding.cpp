// Which transport carries the traffic, and how received bytes reach the link layer.
#include <algorithm>

#include "comline/comm_dll.h"
#include "link_layer.h"
#include "tagwire/tagwire.h"
#include "usbline/usb_dll.h"

namespace {

constexpr std::uint32_t kReadChunk = 300;

bool UsesUsb(const ReaderContext& context) { return context.Line.Port == 0; }

void StoreLine(ReaderContext& context, std::int32_t port, std::int32_t baud) {
    context.Line.Port = static_cast<std::uint8_t>(port & 0xFF);
    context.Line.BaudRate = baud;
}

// Reads what the callback announced (at most 300 bytes) and feeds it to the receiver.
template <typename Transport>
void ReadAndFeed(ReaderContext& context, Transport* transport, std::uint32_t count) {
    if (transport == nullptr || count == 0) return;
    std::uint8_t buffer[kReadChunk];
    const std::uint32_t n = std::min(count, kReadChunk);
    int got = -1;
    try {
        got = transport->Read(buffer, n);
    } catch (...) {
        return;  // the chunk is dropped; the wait ends by time-out
    }
    if (got < 1) return;
    FeedReceiver(context, buffer, std::min(static_cast<std::uint32_t>(got), n));
}

}  // namespace

std::int32_t ReaderContext::OpenTransport(std::int32_t port, std::int32_t baud) {
    StoreLine(*this, port, baud);
    try {
        const int result = UsesUsb(*this) ? Usb->Open(Line) : Com->Open(Line);
        return result == 0 ? TW_OK : TW_ERR_OPEN;
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

std::int32_t ReaderContext::OpenUsbTransport(const char* serialNumber, std::int32_t port,
                                             std::int32_t baud) {
    StoreLine(*this, port, baud);
    if (serialNumber == nullptr) return TW_ERR_OPEN;
    try {
        return Usb->DeviceOpen(serialNumber, Line) == 0 ? TW_OK : TW_ERR_OPEN;
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

std::int32_t ReaderContext::CloseTransport() {
    try {
        return UsesUsb(*this) ? Usb->Close() : Com->Close();
    } catch (...) {
        return -1;
    }
}

std::int32_t ReaderContext::GetUsbDeviceName(char* description, char* serialNumber,
                                             std::int32_t index) {
    return Usb->GetDeviceName(description, serialNumber, index);
}

std::int32_t ReaderContext::GetUsbDeviceList(std::int32_t* locations) {
    return Usb->GetDeviceList(locations);
}

void ReaderContext::WriteLine(const std::uint8_t* bytes, std::uint32_t count) {
    try {
        if (UsesUsb(*this)) {
            Usb->Write(bytes, count);
        } else {
            Com->Write(bytes, count);
        }
    } catch (...) {
        // A lost frame shows as a missing reply.
    }
}

void ReaderContext::HandleUsbReceive(void* context, void* sender, std::uint32_t count) {
    auto* self = static_cast<ReaderContext*>(context);
    ReadAndFeed(*self, sender ? static_cast<UsbDll*>(sender) : self->Usb, count);
}

void ReaderContext::HandleComReceive(void* context, void* sender, std::uint32_t count) {
    auto* self = static_cast<ReaderContext*>(context);
    ReadAndFeed(*self, sender ? static_cast<CommDll*>(sender) : self->Com, count);
}
