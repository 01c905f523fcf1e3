// Pass-through of a caller-built command, cancel, the raw receive and send logs, and the
// parameter stubs.
#include <algorithm>
#include <cstring>

#include "export_context.h"
#include "tagwire/tagwire.h"

namespace {

constexpr std::uint8_t kLongForm = 0xFF;
constexpr std::uint32_t kLongFormFrom = 254;
constexpr std::uint32_t kMaxRawCopy = 299;  // the 301-byte raw record: [0xFF][n + 3][n bytes]

// Short form [n + 1][n bytes] below 254 bytes, long form [0xFF][(n + 3) mod 256][n bytes].
std::uint8_t* PutLogHeader(std::uint8_t* out, std::uint32_t n) {
    if (n < kLongFormFrom) {
        *out++ = static_cast<std::uint8_t>(n + 1);
    } else {
        *out++ = kLongForm;
        *out++ = static_cast<std::uint8_t>((n + 3) & 0xFF);
    }
    return out;
}

// The whole length of a kept sent-frame record as its first bytes give it (0 = emptied).
std::size_t SentRecordLength(const std::uint8_t* record) {
    if (record[0] == 0) return 1;
    if (record[0] < kLongForm) return record[0];
    return 255u + record[1];
}

}  // namespace

extern "C" {

int32_t TwThruCommand(uint8_t* response, const uint8_t* command) {
    ExportClaim context;
    if (!context) return context.Refusal();
    return GuardedTransceive(*context, response, command, 1);
}

int32_t TwThruCommand2(int32_t timeout, uint8_t* response, const uint8_t* command, int32_t flag) {
    ExportClaim context;
    if (!context) return context.Refusal();
    const std::int32_t kept = context->Timeout;
    context->Timeout = timeout;
    const std::int32_t status =
        GuardedTransceive(*context, response, command, static_cast<std::uint8_t>(flag & 0xFF));
    context->Timeout = kept;
    return status;
}

int32_t TwCancel(void) { return CancelFromAnyThread(); }

int32_t TwGetRecvData(uint8_t* rawOut, uint8_t* sentOut) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (rawOut == nullptr || sentOut == nullptr) return TW_ERR_PARAM;

    // A chunk of 300 bytes may fill the log whole; the record holds 299 of them.
    const std::uint32_t n = std::min(context->RxLogCount.load(), kMaxRawCopy);
    context->RxLog.CopyOut(PutLogHeader(rawOut, n), 0, n);

    const std::size_t sent = std::min(SentRecordLength(context->LastSent), sizeof context->LastSent);
    std::memcpy(sentOut, context->LastSent, sent);

    context->LastSent[0] = 0;
    context->RxLogCount.store(0);
    return TW_OK;
}

int32_t TwGetParameter(int32_t, int32_t, int32_t) { return TW_ERR_FAILED; }

int32_t TwSetParameter(int32_t, int32_t, int32_t) { return TW_ERR_FAILED; }

int32_t TwDebugWrite(int32_t) {
    return OpenState.load() == kOpenOpen ? TW_OK : TW_ERR_NOT_OPEN;
}

}  // extern "C"
