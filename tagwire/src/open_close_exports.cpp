// The exports that open, enumerate, test and close the reader.
#include <cstdint>

#include "export_claim.h"
#include "link_layer.h"
#include "reader_context.h"
#include "tagwire/tagwire.h"
#include "usbline/usb_dll.h"

namespace {

constexpr std::uint32_t kReopenPauseMs = 100;

// Counts successful opens, so that a re-open can tell whether a message handler opened the
// line during its pause.
std::uint64_t g_opens = 0;

// Steps common to TwOpen and TwUsbOpen: take or make the context, open it with `open`, and on
// failure delete it. `fromEnumeration` accepts the enumeration-only state.
template <typename OpenFn>
std::int32_t OpenReader(bool fromEnumeration, OpenFn open) {
    OpenCloseClaim claim;
    std::int32_t state = OpenState.load();
    if (state == kOpenOpen) {
        const std::uint64_t opens = g_opens;
        ContextPtr.load()->CloseTransport();
        PumpDelay(kReopenPauseMs);
        // A message handler may have closed, or opened again, during the pause.
        state = OpenState.load();
        if (state == kOpenOpen && g_opens != opens) ContextPtr.load()->CloseTransport();
    }

    ReaderContext* context = nullptr;
    if (state == kOpenNone) {
        context = new ReaderContext();
        ContextPtr.store(context);
    } else if (state == kOpenOpen || (state == kOpenEnumeration && fromEnumeration)) {
        context = ContextPtr.load();
    } else {
        return TW_ERR_OPEN_STATE;
    }

    OpenState.store(kOpenInTransition);
    const std::int32_t result = open(*context);
    if (result == TW_OK) {
        ++g_opens;
        OpenState.store(kOpenOpen);
    } else {
        ContextPtr.store(nullptr);
        OpenState.store(kOpenNone);
        DiscardContext(context);
    }
    return result;
}

}  // namespace

extern "C" {

TAGWIRE_EXPORT std::int32_t TwOpen(std::int32_t port, std::int32_t baud) {
    try {
        return OpenReader(false, [&](ReaderContext& context) {
            return context.OpenTransport(port, baud);
        });
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

TAGWIRE_EXPORT std::int32_t TwUsbOpen(const char* serialNumber, std::int32_t port,
                                      std::int32_t baud) {
    // A nonzero port would send every later exchange to the COM transport, not to this device.
    if ((port & 0xFF) != 0) return TW_ERR_PARAM;
    try {
        return OpenReader(true, [&](ReaderContext& context) {
            return context.OpenUsbTransport(serialNumber, port, baud);
        });
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

TAGWIRE_EXPORT std::int32_t TwUsbGetDevice(char* description, char* serialNumber,
                                           std::int32_t index) {
    if (description == nullptr || serialNumber == nullptr) return TW_ERR_PARAM;
    try {
        EnumerationClaim claim;
        ReaderContext* context = claim.Context();
        return context ? context->GetUsbDeviceName(description, serialNumber, index)
                       : TW_ERR_FAILED;
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

TAGWIRE_EXPORT std::int32_t TwUsbGetDeviceList(std::int32_t* locations) {
    // A null list asks for the device count only, so that a caller can size its list first.
    try {
        EnumerationClaim claim;
        ReaderContext* context = claim.Context();
        return context ? context->GetUsbDeviceList(locations) : TW_ERR_FAILED;
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

TAGWIRE_EXPORT std::int32_t TwUsbChkLine(std::int32_t line) {
    try {
        EnumerationClaim claim;
        ReaderContext* context = claim.Context();
        if (context == nullptr) return 0;
        return (line == 0 ? context->Usb->isDsr() : context->Usb->isCts()) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

TAGWIRE_EXPORT std::int32_t TwClose(void) {
    try {
        OpenCloseClaim claim;
        const std::int32_t state = OpenState.load();
        if (state == kOpenNone) return TW_ERR_NOT_OPEN;
        if (state != kOpenOpen && state != kOpenEnumeration) return TW_ERR_OPEN_STATE;
        OpenState.store(kOpenInTransition);

        ReaderContext* context = ContextPtr.load();
        try {
            CancelExchange(*context);
        } catch (...) {
            // Closing goes on.
        }
        context->CloseTransport();
        ContextPtr.store(nullptr);
        DiscardContext(context);
        OpenState.store(kOpenNone);
        return TW_OK;
    } catch (...) {
        return TW_ERR_FAILED;
    }
}

}  // extern "C"
