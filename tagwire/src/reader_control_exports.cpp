// Reader control: chip initialisation, RF field off, line speed, outputs, switch, version and
// attention. Each is one request and reply in the shared command buffer.
#include <cstring>

#include "export_context.h"
#include "tagwire/tagwire.h"

namespace {

constexpr std::uint8_t kChipInitRequest[7] = {0x07, 0x62, 0x4D, 0x17, 0xA2, 0x6B, 0x0E};
constexpr std::int32_t kMaxBaudCode = 11;

// Sends `request` (no busy check, no authentication needed) and checks the reply in the shared
// buffer against its code and minimum length.
std::int32_t Control(ReaderContext& context, const std::uint8_t* request, std::uint8_t expected,
                     int minimum) {
    std::uint8_t* buffer = TwCommandBuffer;
    if (buffer != request) std::memcpy(buffer, request, request[0]);
    const std::int32_t status = GuardedTransceive(context, buffer, buffer, 0);
    return status == TW_OK ? CheckResponse(buffer, expected, minimum) : status;
}

bool RetriedInPlain(std::int32_t status) {
    return status == TW_ERR_PLAIN_REPLY || status == TW_ERR_MAC || status == TW_ERR_SEQUENCE;
}

}  // namespace

extern "C" {

int32_t TwFChipInit(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    return Control(*context, kChipInitRequest, 0x63, 2);
}

int32_t TwTurnOff(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    const std::uint8_t request[] = {2, 0x54};
    return Control(*context, request, 0x55, 2);
}

int32_t TwChangeBaudRate(int32_t code) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (code < 0 || code > kMaxBaudCode) return TW_ERR_PARAM;
    const std::uint8_t request[] = {3, 0x68, static_cast<std::uint8_t>(code)};
    const std::int32_t status = Control(*context, request, 0x69, 2);
    if (status != TW_OK) return status;
    return ReaderStatus(ReplyByteOrZero(TwCommandBuffer, 2));  // no status byte: 0
}

int32_t TwSetOutput(uint8_t port, int32_t value) {
    ExportClaim context;
    if (!context) return context.Refusal();
    const std::uint8_t request[] = {4, 0x6A, port, static_cast<std::uint8_t>(value & 0xFF)};
    const std::int32_t status = Control(*context, request, 0x6B, 3);
    return status == TW_OK ? ReaderStatus(TwCommandBuffer[2]) : status;
}

int32_t TwGetSwitch(uint8_t* out) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (out == nullptr) return TW_ERR_PARAM;
    const std::uint8_t request[] = {2, 0x6C};
    const std::int32_t status = Control(*context, request, 0x6D, 3);
    if (status == TW_OK) *out = TwCommandBuffer[2];
    return status;
}

int32_t TwGetVersion(char* out) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (out == nullptr) return TW_ERR_PARAM;
    const std::uint8_t request[] = {2, 0xFE};
    const std::int32_t status = Control(*context, request, 0xFF, 3);
    if (status != TW_OK) return status;
    // The reply's data and a 0 byte: at most 253 + 1 bytes, bounded by the reply record.
    const std::size_t count = TwCommandBuffer[0] - 2u;
    std::memcpy(out, TwCommandBuffer + 2, count);
    out[count] = '\0';
    return TW_OK;
}

int32_t TwAttention(uint8_t out[8]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (out == nullptr) return TW_ERR_PARAM;
    const std::uint8_t request[] = {2, 0x7A};  // its own buffer; the reply lands in the shared one
    std::uint8_t* buffer = TwCommandBuffer;
    std::int32_t status = GuardedTransceive(*context, buffer, request, 0);
    // A sealed exchange that failed its checks has ended the session (or kept the counter): once more.
    if (RetriedInPlain(status)) status = GuardedTransceive(*context, buffer, request, 0);
    if (status == TW_OK) status = CheckResponse(buffer, 0x7B, 10);
    if (status != TW_OK) return status;
    std::memcpy(out, buffer + 2, 8);
    return TW_OK;
}

}  // extern "C"
