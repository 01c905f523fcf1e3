/* Control API of the fake D2XX library (tests/fakes/libftd2xx.so): simulated FTDI devices
 * that tests add and remove, and a peer that sees what the host writes and feeds what the
 * host reads. These are extra exports of the fake, beside the D2XX entry points. */
#ifndef FAKE_FTDI_CONTROL_H
#define FAKE_FTDI_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Removes every device and peer, clears the call record, restores every switch. */
void FakeFtdiReset(void);

/* Plugs in a device; returns its id (>= 0). Devices are listed in the order they were added. */
int FakeFtdiAddDevice(const char* description, const char* serialNumber, uint32_t location);

/* Unplugs a device: it leaves the listing and every call on an open handle to it fails. */
void FakeFtdiRemoveDevice(int id);

/* Called with the bytes the host writes to the device, on the writing thread, with no lock of
 * the fake held (so the peer may push an answer from inside the call). NULL detaches. */
typedef void (*FakeFtdiPeerFn)(void* context, const uint8_t* data, size_t count);
void FakeFtdiSetPeer(int id, FakeFtdiPeerFn peer, void* context);

/* Appends bytes to the device's receive queue (what the host will read). */
void FakeFtdiPushReceive(int id, const uint8_t* data, size_t count);

/* Appends bytes to the device's receive queue the moment after the host looks at it and finds
 * it empty (FT_W32_ClearCommError), after `skip` such looks have passed: the bytes the look did
 * not see, and the setting of the event that comes while the host may not yet wait on it.
 * One push per call; a new call replaces one not yet made. */
void FakeFtdiPushAfterEmptyLook(int id, const uint8_t* data, size_t count, unsigned skip);
/* When the last such push was made (std::chrono::steady_clock, in ns since its epoch); 0 while
 * one is still to come. */
uint64_t FakeFtdiLastLookPushNs(int id);

/* ---- Devices ---------------------------------------------------------------------------- */

/* Sets the modem status word the host reads (FT_W32_GetCommModemStatus): 0x10 CTS, 0x20 DSR,
 * 0x40 RI, 0x80 DCD. A change sets the host's notification event. Unplugging clears it. */
void FakeFtdiSetModemStatus(int id, uint32_t status);

/* The output lines as the host last set them (EscapeCommFunction, or the DCB's DTR/RTS
 * control): 1 = set, 0 = clear, -1 = no such device. */
int FakeFtdiGetDtr(int id);
int FakeFtdiGetRts(int id);

/* Bytes waiting in the device's receive queue (pushed, not yet read by the host). */
size_t FakeFtdiReceiveQueued(int id);

/* How often the fake set the event that the host registered with FT_SetEventNotification on
 * the device (each delivery into the receive queue, each change of the modem lines, the unplug),
 * counted over the device's life; 0 for a bad id. */
uint64_t FakeFtdiEventSignals(int id);

/* 1 when the host holds an open handle to the device, 0 when not, -1 = no such device. */
int FakeFtdiIsOpen(int id);

/* The device-control block (28 bytes, FTDCB) the device holds: read by FT_W32_GetCommState,
 * replaced by FT_W32_SetCommState. Set it to prepare what the host reads. 0, or -1 for a bad
 * id or size. */
int FakeFtdiGetDcb(int id, void* dcb, size_t size);
int FakeFtdiSetDcb(int id, const void* dcb, size_t size);

/* ---- Switches (all restored by FakeFtdiReset) ---------------------------------------------- */

/* 0 makes the by-location listing (FT_LIST_ALL | FT_OPEN_BY_LOCATION) unsupported, as in some
 * Linux versions of the library: it returns FT_NOT_SUPPORTED (17) and writes nothing.
 * 1 (the default) lists one C long per device. */
void FakeFtdiSetLocationListing(int supported);

/* What FT_W32_CreateFile gives back when it fails: all-ones (the default), 0xFFFFFFFF or 0. */
void FakeFtdiSetInvalidHandleValue(uintptr_t value);

/* Makes an entry point (by name, such as "FT_W32_ClearCommError") fail with that D2XX status
 * on every later call; 0 makes it work again. FT_ListDevices returns the status, the BOOL
 * calls return FALSE (FT_W32_GetLastError then gives the status), FT_W32_CreateFile returns
 * the invalid handle. */
void FakeFtdiFailCall(const char* function, uint32_t status);

/* ---- Call record ----------------------------------------------------------------------------
 * Every call of an entry point is recorded when it returns, in the order of return (a write just
 * before its bytes go to the peer). The record
 * keeps at most FAKE_FTDI_MAX_CALLS calls; later ones are counted as dropped. */

#define FAKE_FTDI_MAX_ARGS 7
#define FAKE_FTDI_MAX_CALLS 100000

typedef struct FakeFtdiCall {
    char function[32];                 /* entry point name, such as "FT_W32_CreateFile" */
    int thread;                        /* number of the calling thread (FakeFtdiThreadNumber) */
    int device;                        /* device the handle (or name) refers to; -1 none */
    uint64_t args[FAKE_FTDI_MAX_ARGS]; /* the arguments in order: numbers as given, pointers and
                                          handles as their address (0 = null) */
    int64_t result;                    /* the result: FT_STATUS, BOOL, DWORD, or a handle's address */
    char text[64];                     /* a string passed in (the name of CreateFile) or given
                                          out (the string of a listing by index) */
    uint8_t block[28];                 /* a record passed in or out: the FTDCB of Get/SetCommState,
                                          the FTTIMEOUTS of SetCommTimeouts (first 20 bytes) */
    uint32_t blockSize;                /* bytes of block in use, 0 when none */
    uint32_t value;                    /* a number given out: the device count of a listing, the
                                          modem status, the bytes read or written, cbInQue of
                                          ClearCommError, the events of WaitCommEvent */
} FakeFtdiCall;

/* Number of recorded calls; one of them (0 = first), 0 on success, -1 past the end. */
size_t FakeFtdiCallCount(void);
int FakeFtdiGetCall(size_t index, FakeFtdiCall* call);

/* Empties the record (and the count of dropped calls). */
void FakeFtdiClearCalls(void);

/* 0 stops recording (a receive thread that runs for hours fills the record); 1 resumes. */
void FakeFtdiSetRecording(int on);

/* Calls that did not fit into the record. */
size_t FakeFtdiDroppedCalls(void);

/* The number the record gives the calling thread (1, 2, ... in the order threads first call
 * into the fake). */
int FakeFtdiThreadNumber(void);

#ifdef __cplusplus
}
#endif

#endif
