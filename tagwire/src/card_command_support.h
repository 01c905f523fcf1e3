#pragma once
// What the FeliCa and Mifare command exports share: the claim of the open reader, the card status of a
// reply, and the bounds of the working buffers that replies land in.
#include <cstddef>
#include <cstdint>

#include "export_claim.h"
#include "link_layer.h"
#include "reader_context.h"
#include "tagwire/tagwire.h"


// Keeps the response time-out of the context and puts it back however the exchange ends (the
// searches without time-out change it for the length of their exchange).
class SavedTimeout {
public:
    explicit SavedTimeout(ReaderContext& context) : context_(context), saved_(context.Timeout) {}
    ~SavedTimeout() { context_.Timeout = saved_; }
    SavedTimeout(const SavedTimeout&) = delete;
    SavedTimeout& operator=(const SavedTimeout&) = delete;

private:
    ReaderContext& context_;
    std::int32_t saved_;
};

// Transceive may copy a whole reply record (up to 255 bytes) into its reply buffer, so every
// working buffer is this large; a builder with a smaller working buffer refuses a reply that
// does not fit it (ReplyFits) instead of keeping part of it.
using WorkBuffer = std::uint8_t[kCommandBufferSize];

// The 32-byte working buffer of polling, card authentication and the Mifare card search.
constexpr std::uint8_t kSmallBufferSize = 32;

inline bool ReplyFits(const std::uint8_t* reply, std::size_t capacity) {
    return reply[0] <= capacity;
}

// A card status (FeliCa status flags or a Mifare status) as the export's result.
inline std::int32_t CardStatusResult(std::uint32_t status) {
    return status == 0 ? TW_OK : static_cast<std::int32_t>(TW_ERR_CARD_STATUS + status);
}

// Reply bytes 2 and 3 as one big-endian 16-bit status.
inline std::uint32_t TwoByteStatus(const std::uint8_t* reply) {
    return (static_cast<std::uint32_t>(reply[2]) << 8) | reply[3];
}

inline std::uint8_t LowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
