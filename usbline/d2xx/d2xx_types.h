#pragma once
// FTDI's D2XX library on Linux as its published API describes it: the types, constants and
// entry points that Usbline uses. On Linux DWORD and ULONG are 32 bits, FT_HANDLE is a pointer.
// The fake driver of the tests implements the same declarations.
#include <pthread.h>

#include <cstddef>
#include <cstdint>

namespace d2xx {

using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;  // nonzero = TRUE
using FT_STATUS = ULONG;
using FT_HANDLE = void*;
using LPOVERLAPPED = void*;  // no overlapped I/O on Linux: always passed as null

static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(FT_STATUS) == 4);
static_assert(sizeof(FT_HANDLE) == sizeof(void*));

// FT_STATUS values.
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
inline constexpr FT_STATUS FT_INVALID_ARGS = 16;
inline constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

// FT_ListDevices flags.
inline constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
inline constexpr DWORD FT_LIST_ALL = 0x20000000;
inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr DWORD FT_OPEN_BY_LOCATION = 4;
// Listing by index writes a string of at most this many bytes, terminator included.
inline constexpr std::size_t kListStringSize = 64;
// What the by-location listing writes per device: a C long (8 bytes on 64-bit Linux).
using ListedLocation = long;

// FT_W32_CreateFile arguments.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// FT_W32_PurgeComm masks.
inline constexpr DWORD PURGE_TXABORT = 0x01;
inline constexpr DWORD PURGE_RXABORT = 0x02;
inline constexpr DWORD PURGE_TXCLEAR = 0x04;
inline constexpr DWORD PURGE_RXCLEAR = 0x08;

// Comm events (FT_W32_SetCommMask, FT_W32_WaitCommEvent).
inline constexpr ULONG EV_RXCHAR = 0x0001;

// FT_SetEventNotification conditions.
inline constexpr DWORD FT_EVENT_RXCHAR = 1;        // a character was received
inline constexpr DWORD FT_EVENT_MODEM_STATUS = 2;  // a modem line changed
inline constexpr DWORD FT_EVENT_LINE_STATUS = 4;   // a line-status error

// What FT_SetEventNotification takes as its event on Linux, in place of a Windows event
// object: the program initialises the condition variable and its mutex; when a condition of
// the mask is met the library takes eMutex and signals eCondVar. Like any condition variable
// it keeps no signal that nobody was waiting for.
struct EVENT_HANDLE {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};

// FT_W32_GetCommModemStatus bits.
inline constexpr DWORD MS_CTS_ON = 0x0010;
inline constexpr DWORD MS_DSR_ON = 0x0020;
inline constexpr DWORD MS_RING_ON = 0x0040;
inline constexpr DWORD MS_RLSD_ON = 0x0080;

// FT_W32_EscapeCommFunction functions.
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;

// DCB control values.
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;

// Time-out value that, as ReadIntervalTimeout with zero totals, makes a read return at once.
inline constexpr DWORD MAXDWORD = 0xFFFFFFFF;

struct FTDCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(FTDCB) == 28);
static_assert(offsetof(FTDCB, BaudRate) == 4);
static_assert(offsetof(FTDCB, wReserved) == 12);
static_assert(offsetof(FTDCB, ByteSize) == 18);
static_assert(offsetof(FTDCB, Parity) == 19);
static_assert(offsetof(FTDCB, StopBits) == 20);
static_assert(offsetof(FTDCB, EvtChar) == 25);
static_assert(offsetof(FTDCB, wReserved1) == 26);

struct FTTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
static_assert(sizeof(FTTIMEOUTS) == 20);

struct FTCOMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};
static_assert(sizeof(FTCOMSTAT) == 12);
static_assert(offsetof(FTCOMSTAT, cbInQue) == 4);

// The entry points, in the order in which Usbline binds them.
extern "C" {
using ListDevicesFn = FT_STATUS (*)(void* arg1, void* arg2, DWORD flags);
using CloseHandleFn = BOOL (*)(FT_HANDLE handle);
using CreateFileFn = FT_HANDLE (*)(const char* name, DWORD access, DWORD shareMode,
                                   void* securityAttributes, DWORD creation, DWORD flags,
                                   void* templateFile);
using SetupCommFn = BOOL (*)(FT_HANDLE handle, DWORD readBufferSize, DWORD writeBufferSize);
using PurgeCommFn = BOOL (*)(FT_HANDLE handle, DWORD mask);
using SetCommTimeoutsFn = BOOL (*)(FT_HANDLE handle, FTTIMEOUTS* timeouts);
using GetCommStateFn = BOOL (*)(FT_HANDLE handle, FTDCB* dcb);
using SetCommStateFn = BOOL (*)(FT_HANDLE handle, FTDCB* dcb);
using SetCommMaskFn = BOOL (*)(FT_HANDLE handle, ULONG eventMask);
using ClearCommErrorFn = BOOL (*)(FT_HANDLE handle, DWORD* errors, FTCOMSTAT* status);
using GetLastErrorFn = DWORD (*)(FT_HANDLE handle);
using GetOverlappedResultFn = BOOL (*)(FT_HANDLE handle, LPOVERLAPPED overlapped,
                                       DWORD* bytesTransferred, BOOL wait);
using ReadFileFn = BOOL (*)(FT_HANDLE handle, void* buffer, DWORD size, DWORD* bytesReturned,
                            LPOVERLAPPED overlapped);
using WriteFileFn = BOOL (*)(FT_HANDLE handle, void* buffer, DWORD size, DWORD* bytesWritten,
                             LPOVERLAPPED overlapped);
using GetCommModemStatusFn = BOOL (*)(FT_HANDLE handle, DWORD* modemStatus);
using EscapeCommFunctionFn = BOOL (*)(FT_HANDLE handle, DWORD function);
using WaitCommEventFn = BOOL (*)(FT_HANDLE handle, ULONG* event, LPOVERLAPPED overlapped);
// `event` is an EVENT_HANDLE*; a mask of 0 stops the notification.
using SetEventNotificationFn = FT_STATUS (*)(FT_HANDLE handle, DWORD eventMask, void* event);
}

struct EntryPoints {
    ListDevicesFn ListDevices = nullptr;
    CloseHandleFn CloseHandle = nullptr;
    CreateFileFn CreateFile = nullptr;
    SetupCommFn SetupComm = nullptr;
    PurgeCommFn PurgeComm = nullptr;
    SetCommTimeoutsFn SetCommTimeouts = nullptr;
    GetCommStateFn GetCommState = nullptr;
    SetCommStateFn SetCommState = nullptr;
    SetCommMaskFn SetCommMask = nullptr;
    ClearCommErrorFn ClearCommError = nullptr;
    GetLastErrorFn GetLastError = nullptr;
    GetOverlappedResultFn GetOverlappedResult = nullptr;
    ReadFileFn ReadFile = nullptr;
    WriteFileFn WriteFile = nullptr;
    GetCommModemStatusFn GetCommModemStatus = nullptr;
    EscapeCommFunctionFn EscapeCommFunction = nullptr;
    WaitCommEventFn WaitCommEvent = nullptr;
    // Optional: null when the library has no event notification (the receive thread polls).
    SetEventNotificationFn SetEventNotification = nullptr;
};

// A handle the library gives back on failure: all-ones, the 32-bit all-ones value, or null.
inline bool IsValidHandle(FT_HANDLE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value != 0 && value != ~std::uintptr_t{0} && value != 0xFFFFFFFFu;
}

}  // namespace d2xx
