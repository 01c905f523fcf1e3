#pragma once
// UsbDll: a serial line over an FTDI USB-serial converter, driven through FTDI's D2XX
// library (libftd2xx.so), which the object loads by name when it is constructed.
// Results: 0 = success, -1 = failure or driver not loaded, unless a method says otherwise.
#include <cstdint>
#include <memory>

#include "usbline/comm_types.h"
#include "usbline/export.h"

class TCommThread;

class USBLINE_EXPORT UsbDll {
public:
    explicit UsbDll(UsbDll* unused = nullptr);
    virtual ~UsbDll();
    UsbDll(const UsbDll&) = delete;
    UsbDll& operator=(const UsbDll&) = delete;

    // Opens the first listed device with the line parameters: 0, -1 or the listing's D2XX status.
    int Open(COMMPR line);
    // Description and serial number (64 bytes each) of device `index`: 0, -1 or a D2XX status.
    int GetDeviceName(char* description, char* serialNumber, int index);
    // Writes the location ID of every connected device: the device count, -1 or a D2XX status.
    int GetDeviceList(int* locations);
    // Opens the device with that serial number and starts its receive thread: 0 or -1 (also
    // from inside OnReceive, where it would wait for its own thread).
    int DeviceOpen(const char* serialNumber, COMMPR line);
    // Applies the line parameters to the open device: 0 or -1.
    int SetDcb(COMMPR line);
    // Stops the receive thread and closes the device; the object can be opened again. From
    // inside OnReceive it would wait for its own thread: -1, and nothing changes.
    int Close();
    // Up to `length` waiting bytes; the count or -1. Called from inside OnReceive.
    int Read(unsigned char* buffer, unsigned long length);
    // Writes the whole buffer (at most OutQueueSize bytes): 0 or -1.
    int Write(const unsigned char* buffer, unsigned long length);
    // One pass of the receive side: reports the waiting bytes to OnReceive.
    virtual void DoCommReceive();
    bool isDsr();
    bool isCts();
    // 1 clears DTR, any other value sets it.
    bool ControlDtr(int value);
    int RxPurge();

    ReceiveEvent OnReceive;

private:
    friend class TCommThread;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
