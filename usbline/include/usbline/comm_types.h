#pragma once
// The transport contract shared by the USB transport (UsbDll) and the COM transport (CommDll):
// the line parameter record and the receive callback.
#include <cstddef>
#include <cstdint>

// Serial line parameters, 16 bytes, passed by value across library boundaries.
struct COMMPR {
    std::uint8_t Port;      // 0 = USB transport, 1..255 = COM port number (bytes 1..3 unused)
    std::int32_t BaudRate;  // bit/s
    std::uint8_t ByteSize;  // data bits per character
    std::uint8_t Parity;    // 0 = none
    std::uint8_t StopBits;  // 0 = one stop bit (byte 11 unused)
    std::int32_t Reserved;  // 0
};
static_assert(sizeof(COMMPR) == 16);
static_assert(offsetof(COMMPR, Port) == 0);
static_assert(offsetof(COMMPR, BaudRate) == 4);
static_assert(offsetof(COMMPR, ByteSize) == 8);
static_assert(offsetof(COMMPR, Parity) == 9);
static_assert(offsetof(COMMPR, StopBits) == 10);
static_assert(offsetof(COMMPR, Reserved) == 12);

// Receive callback of a transport: an object pointer (the receiver) and a function pointer,
// called on the transport's receive thread with the sending transport and the number of
// bytes waiting (always above 0).
struct ReceiveEvent {
    using Function = void (*)(void* object, void* sender, std::uint32_t count);

    void* Object = nullptr;
    Function Code = nullptr;

    bool Assigned() const { return Code != nullptr; }
    void operator()(void* sender, std::uint32_t count) const { Code(Object, sender, count); }
};
