// Mifare commands on a found card: authentication, halt, block read and write, value blocks
// and the reader's key store. Each builds in the shared command buffer and sends it without
// the busy check.
#include <algorithm>
#include <cstring>

#include "card_command_support.h"

namespace {

constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kKeySize = 6;
constexpr int kStatusMinimum = 4;  // two status bytes
// Block data follows the two status bytes (MifRead), or the count byte after them (MifRead2).
constexpr std::size_t kReadDataAt = 4;
constexpr std::size_t kRead2DataAt = 5;

// How a command's reply reports the card's answer.
enum class StatusForm {
    OneByte,         // reply byte 2
    OneByteShifted,  // reply byte 2, times 256
    TwoBytes,        // reply bytes 2 and 3, big-endian
};

std::uint32_t CardStatus(const std::uint8_t* reply, StatusForm form) {
    switch (form) {
        case StatusForm::OneByte: return reply[2];
        case StatusForm::OneByteShifted: return static_cast<std::uint32_t>(reply[2]) << 8;
        case StatusForm::TwoBytes: return TwoByteStatus(reply);
    }
    return 0;
}

// Sends the command prepared in the shared buffer and judges the reply: the exchange, the
// reply check, then the card status. On TW_OK the reply is in the shared buffer.
std::int32_t Exchange(ReaderContext& context, int minimum, StatusForm form) {
    std::uint8_t* buffer = TwCommandBuffer;
    const std::uint8_t expected = static_cast<std::uint8_t>(buffer[1] + 1);
    std::int32_t status = GuardedTransceive(context, buffer, buffer, 0);
    if (status != TW_OK) return status;
    status = CheckResponse(buffer, expected, minimum);
    if (status != TW_OK) return status;
    return CardStatusResult(CardStatus(buffer, form));
}

// A command of one block number (and an optional four-byte value) with a two-byte status.
std::int32_t BlockValueCommand(std::uint8_t code, std::uint8_t block, const std::int32_t* value) {
    ExportClaim context;
    if (!context) return context.Refusal();
    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = value ? 7 : 3;
    buffer[1] = code;
    buffer[2] = block;
    if (value) {
        const auto v = static_cast<std::uint32_t>(*value);
        PutU16Le(static_cast<std::uint16_t>(v & 0xFFFF), buffer + 3);
        PutU16Le(static_cast<std::uint16_t>(v >> 16), buffer + 5);
    }
    return Exchange(*context, kStatusMinimum, StatusForm::TwoBytes);
}

}  // namespace

extern "C" {

TAGWIRE_EXPORT std::int32_t MifCardAuthentication(std::uint8_t keyType, std::uint8_t keyNumber,
                                                  std::uint8_t block) {
    ExportClaim context;
    if (!context) return context.Refusal();
    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 5;
    buffer[1] = 0xC2;
    buffer[2] = keyType;
    buffer[3] = keyNumber;
    buffer[4] = block;
    return Exchange(*context, 3, StatusForm::OneByte);
}

TAGWIRE_EXPORT std::int32_t MifHalt(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    TwCommandBuffer[0] = 2;
    TwCommandBuffer[1] = 0xC4;
    return Exchange(*context, 3, StatusForm::OneByte);
}

TAGWIRE_EXPORT std::int32_t MifRead(std::uint8_t block, std::uint8_t data[16]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (data == nullptr) return TW_ERR_PARAM;
    TwCommandBuffer[0] = 3;
    TwCommandBuffer[1] = 0xC6;
    TwCommandBuffer[2] = block;
    const std::int32_t status = Exchange(*context, kStatusMinimum, StatusForm::TwoBytes);
    if (status != TW_OK) return status;
    // The minimum length does not cover the block: it must be there whole.
    if (TwCommandBuffer[0] < kReadDataAt + kBlockSize) return TW_ERR_SHORT_REPLY;
    std::memcpy(data, TwCommandBuffer + kReadDataAt, kBlockSize);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t MifWrite(std::uint8_t block, const std::uint8_t data[16]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (data == nullptr) return TW_ERR_PARAM;
    TwCommandBuffer[0] = 19;
    TwCommandBuffer[1] = 0xC8;
    TwCommandBuffer[2] = block;
    std::memcpy(TwCommandBuffer + 3, data, kBlockSize);
    return Exchange(*context, kStatusMinimum, StatusForm::TwoBytes);
}

TAGWIRE_EXPORT std::int32_t MifIncrement(std::uint8_t block, std::int32_t value) {
    return BlockValueCommand(0xCA, block, &value);
}

TAGWIRE_EXPORT std::int32_t MifDecrement(std::uint8_t block, std::int32_t value) {
    return BlockValueCommand(0xCC, block, &value);
}

TAGWIRE_EXPORT std::int32_t MifRestore(std::int32_t block) {
    return BlockValueCommand(0xCE, LowByte(block), nullptr);
}

TAGWIRE_EXPORT std::int32_t MifTransfer(std::int32_t block) {
    return BlockValueCommand(0xD0, LowByte(block), nullptr);
}

TAGWIRE_EXPORT std::int32_t MifSetCardKey(std::uint8_t keyNumber, const std::uint8_t keyA[6],
                                          const std::uint8_t keyB[6]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (keyA == nullptr || keyB == nullptr) return TW_ERR_PARAM;
    TwCommandBuffer[0] = 15;
    TwCommandBuffer[1] = 0xD2;
    TwCommandBuffer[2] = keyNumber;
    std::memcpy(TwCommandBuffer + 3, keyA, kKeySize);
    std::memcpy(TwCommandBuffer + 3 + kKeySize, keyB, kKeySize);
    return Exchange(*context, 3, StatusForm::OneByteShifted);
}

TAGWIRE_EXPORT std::int32_t MifRead2(std::uint8_t block, std::int32_t* length, std::uint8_t* data) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (length == nullptr || data == nullptr) return TW_ERR_PARAM;
    if (*length < 0) return TW_ERR_TOO_MANY;
    const std::uint8_t requested = LowByte(*length);
    TwCommandBuffer[0] = 4;
    TwCommandBuffer[1] = 0xD6;
    TwCommandBuffer[2] = block;
    TwCommandBuffer[3] = requested;
    const std::int32_t status = Exchange(*context, 7, StatusForm::TwoBytes);
    if (status != TW_OK) return status;
    // The reader's count, as far as the reply holds the bytes and the caller asked for them.
    const std::size_t count = std::min<std::size_t>(
        {TwCommandBuffer[4], requested, TwCommandBuffer[0] - kRead2DataAt});
    std::memcpy(data, TwCommandBuffer + kRead2DataAt, count);
    *length = static_cast<std::int32_t>(count);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t MifWrite2(std::uint8_t block, std::int32_t length,
                                      const std::uint8_t* data) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (data == nullptr) return TW_ERR_PARAM;
    // The count is folded into 1..16: length 0 writes 16 bytes, length 17 one.
    const std::size_t n = ((static_cast<std::uint32_t>(length) - 1) & 15) + 1;
    TwCommandBuffer[0] = static_cast<std::uint8_t>(n + 4);
    TwCommandBuffer[1] = 0xD8;
    TwCommandBuffer[2] = block;
    TwCommandBuffer[3] = static_cast<std::uint8_t>(n);
    std::memcpy(TwCommandBuffer + 4, data, n);
    return Exchange(*context, kStatusMinimum, StatusForm::TwoBytes);
}

}  // extern "C"
