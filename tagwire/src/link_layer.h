#pragma once
// The link layer: frames a command, writes it, parses what the receive thread delivers, waits for
// the ACK and the reply while the program keeps processing its messages, checks the reply, and
// lets a pending exchange be refused (busy) or cancelled. One exchange at a time.
#include <cstdint>

#include "reader_context.h"

// The shared command and reply record: [0] = length counting itself, [1] = command or reply
// code, [2..] = parameters or reply data.
constexpr int kCommandBufferSize = 256;
extern std::uint8_t TwCommandBuffer[kCommandBufferSize];

// The ACK frame; the host sends it to cancel.
constexpr std::uint8_t kAckFrame[6] = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
// A LEN of 0xFF would read as a NACK, so a data frame carries at most 254 bytes.
constexpr std::uint32_t kMaxFrameData = 254;

// Frames `length` data bytes (at most 254; longer data is not sent), keeps a copy in LastSent, restarts the raw log,
// clears AckReceived and writes the frame through the selected transport.
void SendFrame(ReaderContext& context, const std::uint8_t* data, std::uint32_t length);

// Logs and parses bytes that arrived (receive thread).
void FeedReceiver(ReaderContext& context, const std::uint8_t* bytes, std::uint32_t count);

// A frame (or NACK) that ended whole inside the bytes of a frame begun before it waits while
// that one may still end (its bytes could be the earlier frame's data). When the line has
// fallen silent with the earlier frame unfinished, the waiter takes the waiting one: true when
// there was one, which the receiver then shows as complete (or as a NACK).
bool TakeWaitingFrame(ReaderContext& context);
// How long the line must be silent before a waiting frame is taken.
constexpr std::uint32_t kLineSilenceMs = 100;

// Waits for the ACK (500 ms) and the reply (timeout - 500 ms), both from the start of the wait,
// pumping the program's messages: TW_OK, TW_ERR_NACK, TW_ERR_TIMEOUT or TW_ERR_CANCELLED.
std::int32_t WaitResponse(ReaderContext& context, std::int32_t timeout);

// Processes the program's messages until `ms` milliseconds have passed.
void PumpDelay(std::uint32_t ms);

// TW_ERR_BUSY while another exchange waits; ends a wait without end.
std::int32_t CheckBusy(ReaderContext& context);

// The reply's code and length: reader failure, rejection, short, unexpected reply, or TW_OK.
std::int32_t CheckResponse(const std::uint8_t* reply, std::uint8_t expected, int minimum);

// One exchange: the command out, its reply into `reply` (which may be `command`).
std::int32_t Transceive(ReaderContext& context, std::uint8_t* reply, const std::uint8_t* command);

// Transceive behind the checks of `mode`: 0 none, 1 busy check and an authenticated reader,
// any other value the busy check; a command without a code (length byte 0 or 1) is refused
// with TW_ERR_PARAM in every mode.
std::int32_t GuardedTransceive(ReaderContext& context, std::uint8_t* reply,
                               const std::uint8_t* command, std::uint8_t mode);

// Cancels the exchange in progress (or the next one to wait): always TW_OK.
std::int32_t CancelExchange(ReaderContext& context);

// Completes, on the thread that holds the library, a cancel that another thread asked for
// (RemoteCancel): the ACK goes out, and the reply to the cancelled command, when it comes within
// 100 ms, is settled with the sealed channel and dropped, so that the next command cannot take
// it for its own.
void CompleteRemoteCancel(ReaderContext& context);

// 16-bit byte orders of the command fields.
inline void PutU16Le(std::uint16_t value, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(value & 0xFF);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}
inline std::uint16_t GetU16Le(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] + 256 * in[1]);
}
inline void PutU16Be(std::uint16_t value, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value & 0xFF);
}
inline std::uint16_t GetU16Be(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(256 * in[0] + in[1]);
}
