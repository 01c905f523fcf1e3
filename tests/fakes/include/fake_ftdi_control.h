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

#ifdef __cplusplus
}
#endif

#endif
