// Stand-in for libusbline while it is not yet in the tree: a UsbDll whose D2XX driver is
// missing. Only linked when the usbline target does not exist.
#include "usbline/usb_dll.h"

struct UsbDll::Impl {};

UsbDll::UsbDll(UsbDll*) {}
UsbDll::~UsbDll() = default;
int UsbDll::Open(COMMPR) { return -1; }
int UsbDll::GetDeviceName(char*, char*, int) { return -1; }
int UsbDll::GetDeviceList(int*) { return -1; }
int UsbDll::DeviceOpen(const char*, COMMPR) { return -1; }
int UsbDll::SetDcb(COMMPR) { return -1; }
int UsbDll::Close() { return 0; }
int UsbDll::Read(unsigned char*, unsigned long) { return -1; }
int UsbDll::Write(const unsigned char*, unsigned long) { return -1; }
void UsbDll::DoCommReceive() {}
bool UsbDll::isDsr() { return true; }
bool UsbDll::isCts() { return true; }
bool UsbDll::ControlDtr(int) { return false; }
int UsbDll::RxPurge() { return -1; }
