// The reader context and the library-wide open state.
#include "reader_context.h"

#include <memory>
#include <vector>

#include "comline/comm_dll.h"
#include "link_layer.h"
#include "des/cf_encrypt.h"
#include "usbline/usb_dll.h"

std::atomic<std::int32_t> OpenState{kOpenNone};
std::atomic<ReaderContext*> ContextPtr{nullptr};

ReaderContext::ReaderContext() : Des(nullptr), Line{}, Usb(nullptr), Com(nullptr) {
    Line.Port = 1;
    Line.BaudRate = 19200;
    Line.ByteSize = 8;
    Line.Parity = 0;
    Line.StopBits = 0;
    Line.Reserved = 0;
    auto usb = std::make_unique<UsbDll>(nullptr);
    auto com = std::make_unique<CommDll>(nullptr);
    com->OnReceive = ReceiveEvent{this, &ReaderContext::HandleComReceive};
    usb->OnReceive = ReceiveEvent{this, &ReaderContext::HandleUsbReceive};
    Des = new CFEncrypt();
    Usb = usb.release();
    Com = com.release();
}

ReaderContext::~ReaderContext() {
    delete Usb;
    delete Com;
    delete Des;
}

namespace {
// Contexts discarded while a wait runs further out on the stack (exports' thread only).
std::vector<ReaderContext*> g_discarded;
}  // namespace

void DiscardContext(ReaderContext* context) {
    if (context == nullptr) return;
    if (WaitInProgress()) {
        g_discarded.push_back(context);
        return;
    }
    delete context;
}

void CollectDiscardedContexts() {
    if (WaitInProgress()) return;
    for (ReaderContext* context : g_discarded) delete context;
    g_discarded.clear();
}
