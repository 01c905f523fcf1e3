// The reader context and the library-wide open state.
#include "reader_context.h"

#include <memory>

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
