#pragma once
// CommDll: a serial line over a COM port (a tty found through the platform's serial-port list),
// with the same transport contract as UsbDll: Open with a COMMPR, Read inside OnReceive, Write,
// Close, and a receive thread of its own that reports arriving bytes to OnReceive.
// Results: 0 = success, -1 = failure, unless a method says otherwise.
#include <cstdint>
#include <memory>

#include "comline/export.h"
#include "usbline/comm_types.h"

class COMLINE_EXPORT CommDll {
public:
    explicit CommDll(CommDll* unused = nullptr);
    virtual ~CommDll();
    CommDll(const CommDll&) = delete;
    CommDll& operator=(const CommDll&) = delete;

    // Opens COM `line.Port` (1..255) at `line.BaudRate` in raw mode without flow control, with
    // ByteSize 5..8, Parity 0 none / 1 odd / 2 even, StopBits 0 one / 2 two, and starts the
    // receive thread. An open line is closed first. A speed or framing the tty cannot take is
    // a failure: 0 or -1.
    int Open(COMMPR line);
    // Stops the receive thread and closes the line; the object can be opened again. Harmless
    // on a line that is not open. Returns 0.
    int Close();
    // Up to `length` waiting bytes without blocking: the count or -1. Called from inside OnReceive.
    int Read(unsigned char* buffer, unsigned long length);
    // Writes the whole buffer: 0, or -1 when the line is not open or the write fails.
    int Write(const unsigned char* buffer, unsigned long length);
    bool IsOpen() const;

    // Called on the receive thread with (this object, bytes waiting > 0) while bytes wait.
    ReceiveEvent OnReceive;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
