// Framing of commands: 00 00 FF LEN LCS data DCS 00.
#include <cstring>

#include "link_layer.h"

std::uint8_t TwCommandBuffer[kCommandBufferSize];

namespace {

constexpr std::uint32_t kFrameOverhead = 7;
// The frame area of the library: one exchange at a time.
std::uint8_t g_frame[kRxAreaSize];

// LastSent: [frame length + 1][frame] for frames shorter than 254 bytes, else
// [0xFF][(frame length + 3) mod 256][frame].
void KeepLastSent(ReaderContext& context, const std::uint8_t* frame, std::uint32_t size) {
    if (size < 254) {
        context.LastSent[0] = static_cast<std::uint8_t>(size + 1);
        std::memcpy(context.LastSent + 1, frame, size);
    } else {
        context.LastSent[0] = 0xFF;
        context.LastSent[1] = static_cast<std::uint8_t>((size + 3) % 256);
        std::memcpy(context.LastSent + 2, frame, size);
    }
}

}  // namespace

void SendFrame(ReaderContext& context, const std::uint8_t* data, std::uint32_t length) {
    if (length > kMaxFrameData || (data == nullptr && length > 0)) return;
    std::uint8_t sum = 0;
    g_frame[0] = 0x00;
    g_frame[1] = 0x00;
    g_frame[2] = 0xFF;
    g_frame[3] = static_cast<std::uint8_t>(length);
    g_frame[4] = static_cast<std::uint8_t>(0x100 - length);
    for (std::uint32_t i = 0; i < length; ++i) {
        g_frame[5 + i] = data[i];
        sum = static_cast<std::uint8_t>(sum + data[i]);
    }
    g_frame[5 + length] = static_cast<std::uint8_t>(0x100 - sum);
    g_frame[6 + length] = 0x00;
    const std::uint32_t size = kFrameOverhead + length;

    KeepLastSent(context, g_frame, size);
    context.RxLogCount.store(0, std::memory_order_relaxed);
    context.AckReceived.store(0, std::memory_order_release);
    context.WriteLine(g_frame, size);
}
