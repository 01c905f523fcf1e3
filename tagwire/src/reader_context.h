#pragma once
// The library's single reader context: line parameters, the link layer's receive and wait state,
// the encrypted channel's state, and the two transports and the DES work area it owns.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "atomic_bytes.h"
#include "usbline/comm_types.h"
#include "wait_signal.h"

class CFEncrypt;
class CommDll;
class UsbDll;

constexpr int kRxAreaSize = 300;
// The longest frame: 00 00 FF LEN LCS, 254 data bytes, DCS, 00.
constexpr int kRxHeldSize = 261;
// A frame begins at every "00 00 FF": at most one in three of the held bytes.
constexpr int kRxMaxCandidates = kRxHeldSize / 3 + 1;

// Receive states (RxState).
enum : std::int32_t {
    kRxIdle = 0,
    kRxPreamble2 = 1,
    kRxStart = 2,
    kRxLen = 3,
    kRxLcs = 4,
    kRxData = 5,
    kRxDcs = 6,
    kRxPostamble = 7,
    kRxComplete = 16,
    kRxAckLcs = 256,
    kRxAckPostamble = 257,
    kRxNackLcs = 512,
    kRxNack = 513,
};

// A frame being received, from its start byte 0xFF at RxHeld[Start] on.
struct RxCandidate {
    std::int32_t Start = 0;
    std::int32_t State = kRxLen;  // the receive state its next byte meets
    std::int32_t Length = 0;      // LEN
    std::int32_t Taken = 0;       // data bytes taken
    std::int32_t Checksum = 0;    // their sum
};

// Wait states (WaitState).
enum : std::int32_t { kWaitIdle = 0, kWaitWaiting = 1, kWaitCancelled = 2 };

// Response time-out of a wait without end.
constexpr std::int32_t kTimeoutNoEnd = 0x7FFFFFFF;
constexpr std::int32_t kDefaultTimeout = 2000;

struct ReaderContext {
    ReaderContext();
    ~ReaderContext();
    ReaderContext(const ReaderContext&) = delete;
    ReaderContext& operator=(const ReaderContext&) = delete;

    CFEncrypt* Des;
    COMMPR Line;  // Port 0 = USB, 1..255 = COM port: the transport of every exchange
    // Written by the receive thread, read by the caller's thread once RxState says complete.
    AtomicBytes<kRxAreaSize> RxFrame;  // last data frame: [0] = LEN + 1, [1..LEN] = data
    // Receive thread only.
    std::int32_t RxChecksum = 0;
    std::int32_t RxIndex = 0;
    std::int32_t RxLength = 0;
    std::atomic<std::int32_t> RxState{kRxIdle};
    AtomicBytes<kRxAreaSize> RxLog;  // raw bytes received since the last send
    std::uint8_t LastSent[kRxAreaSize] = {};
    std::atomic<std::uint32_t> RxLogCount{0};
    std::atomic<std::int32_t> WaitState{kWaitIdle};
    std::uint8_t Encrypted = 0;
    std::atomic<std::uint8_t> Authenticated{0};  // a cancel from another thread reads it
    std::uint8_t SessionBlock[8] = {};
    std::uint8_t SessionKey[8] = {};
    UsbDll* Usb;
    CommDll* Com;
    std::int32_t Timeout = kDefaultTimeout;
    std::atomic<std::uint8_t> AckReceived{0};

    // Receive thread only: the bytes from the preamble of the earliest frame that may still be
    // in them, and every frame begun there (each preamble starts one, so that a good frame is
    // found whatever came before it); the earliest is the one RxState and the fields above show.
    std::uint8_t RxHeld[kRxHeldSize] = {};
    std::int32_t RxHeldCount = 0;
    RxCandidate RxCandidates[kRxMaxCandidates] = {};
    std::int32_t RxCandidateCount = 0;
    // The state the receiver last stored; another value in RxState means the waiter re-armed it.
    std::int32_t RxPublished = kRxIdle;
    // Held by the receiver while it runs a chunk, and by a waiter that takes a waiting frame.
    std::mutex RxLock;
    // A frame (or NACK) has ended whole behind a frame begun earlier that has not ended yet.
    std::atomic<bool> RxWaiting{false};
    // Tick counts at which the receiver last set AckReceived and last ended a frame or NACK:
    // a waiter that looks only after its deadline (a message handler ran long) still takes
    // what came in time.
    std::atomic<std::uint32_t> AckAt{0};
    std::atomic<std::uint32_t> RxEndedAt{0};
    // Chunks fed so far: a waiter sees from it how long the line has been silent.
    std::atomic<std::uint32_t> RxChunks{0};
    // Wakes a waiting thread when bytes were fed.
    WaitSignal RxSignal;
    // Set with WaitState 2 by a cancel from another thread than the one that holds the library:
    // the holder completes that cancel inside its wait (CompleteRemoteCancel).
    std::atomic<bool> RemoteCancel{false};
    // Claims that keep the context alive, and whether it is to be deleted when they have ended
    // (export_claim.cpp, under its lock).
    int Pins = 0;
    bool Discarded = false;

    // Transport binding (transport_binding.cpp).
    std::int32_t OpenTransport(std::int32_t port, std::int32_t baud);
    std::int32_t CloseTransport();
    std::int32_t GetUsbDeviceName(char* description, char* serialNumber, std::int32_t index);
    std::int32_t GetUsbDeviceList(std::int32_t* locations);
    std::int32_t OpenUsbTransport(const char* serialNumber, std::int32_t port, std::int32_t baud);
    // Writes through the transport that the Port of Line selects; failures are not reported.
    void WriteLine(const std::uint8_t* bytes, std::uint32_t count);
    static void HandleUsbReceive(void* context, void* sender, std::uint32_t count);
    static void HandleComReceive(void* context, void* sender, std::uint32_t count);
};

// Library-wide open state: 0 no context, 10 context for USB enumeration only, 1 open,
// -1 an open or close in progress.
enum : std::int32_t {
    kOpenNone = 0,
    kOpenEnumeration = 10,
    kOpenOpen = 1,
    kOpenInTransition = -1,
};
extern std::atomic<std::int32_t> OpenState;
extern std::atomic<ReaderContext*> ContextPtr;
