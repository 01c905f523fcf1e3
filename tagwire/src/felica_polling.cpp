// FeliCa polling: the shared exchange and the four exports built on it.
#include "felica_polling.h"

#include <cstring>

#include "card_command_support.h"

namespace {

constexpr std::uint8_t kPollCommand = 0x00;
constexpr std::uint8_t kPollReply = 0x01;
constexpr std::uint8_t kNoCardReply = 0x7E;
// Length byte, code, IDm and PMm.
constexpr int kPollMinimum = 18;
// ... and the system code after PMm (request code 1).
constexpr std::size_t kSystemCodeReplyLength = 20;
constexpr std::uint16_t kAnySystem = 0xFFFF;
constexpr std::uint8_t kRequestSystemCode = 0x01;

// The export's share of a poll: the card's IDm and PMm, copied out only on success.
std::int32_t FindCard(std::uint16_t systemCode, std::uint8_t options, std::uint8_t* idm,
                      std::uint8_t* pmm) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (idm == nullptr || pmm == nullptr) return TW_ERR_PARAM;
    std::size_t length = 0;
    const std::int32_t status = PollCard(*context, systemCode, 0, 0, options, &length);
    if (status != TW_OK) return status;
    std::memcpy(idm, TwCommandBuffer, 8);
    std::memcpy(pmm, TwCommandBuffer + 8, 8);
    return TW_OK;
}

}  // namespace

std::int32_t PollCard(ReaderContext& context, std::uint16_t systemCode, std::uint8_t requestCode,
                      std::uint8_t timeSlot, std::uint8_t options, std::size_t* dataLength) {
    if (CheckBusy(context) != TW_OK) return TW_ERR_BUSY;

    WorkBuffer buffer{};
    const bool extra = (options & kPollExtraByte) != 0;
    buffer[0] = extra ? 8 : 7;
    buffer[1] = kPollCommand;
    PutU16Be(systemCode, buffer + 2);
    buffer[4] = requestCode;
    buffer[5] = timeSlot;
    buffer[6] = options & kPollWaitForCard;
    if (extra) buffer[7] = (options & kPollExtraByteValue) != 0 ? 1 : 0;

    std::int32_t status;
    {
        SavedTimeout saved(context);
        if (options != 0) context.Timeout = kTimeoutNoEnd;
        status = Transceive(context, buffer, buffer);
    }
    if (status != TW_OK) return status;
    if (!ReplyFits(buffer, kSmallBufferSize)) return TW_ERR_BAD_REPLY;
    if (buffer[1] == kNoCardReply) return TW_ERR_NO_CARD;
    status = CheckResponse(buffer, kPollReply, kPollMinimum);
    if (status != TW_OK) return status;

    const std::size_t length = buffer[0] - 2u;
    std::memcpy(TwCommandBuffer, buffer + 2, length);
    *dataLength = length;
    return TW_OK;
}

extern "C" {

TAGWIRE_EXPORT std::int32_t TwFindCard(std::uint16_t systemCode, std::uint8_t idm[8],
                                       std::uint8_t pmm[8]) {
    return FindCard(systemCode, 0, idm, pmm);
}

TAGWIRE_EXPORT std::int32_t TwFindCardEx(std::int32_t options, std::uint16_t systemCode,
                                         std::uint8_t idm[8], std::uint8_t pmm[8]) {
    return FindCard(systemCode, LowByte(options), idm, pmm);
}

TAGWIRE_EXPORT std::int32_t TwWaitFindCard(std::uint16_t systemCode, std::uint8_t idm[8],
                                           std::uint8_t pmm[8]) {
    return FindCard(systemCode, kPollWaitForCard, idm, pmm);
}

TAGWIRE_EXPORT std::int32_t TwGetSystemCode(std::uint16_t* systemCode, std::uint8_t idm[8],
                                            std::uint8_t pmm[8]) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (systemCode == nullptr || idm == nullptr || pmm == nullptr) return TW_ERR_PARAM;
    std::size_t length = 0;
    const std::int32_t status = PollCard(*context, kAnySystem, kRequestSystemCode, 0, 0, &length);
    if (status != TW_OK) return status;
    // The minimum length covers IDm and PMm only; the system code must be there too.
    if (length + 2 < kSystemCodeReplyLength) return TW_ERR_SHORT_REPLY;
    std::memcpy(idm, TwCommandBuffer, 8);
    std::memcpy(pmm, TwCommandBuffer + 8, 8);
    *systemCode = GetU16Be(TwCommandBuffer + 16);
    return TW_OK;
}

}  // extern "C"
