// FeliCa inquiry commands (system codes, service search, request service, request response)
// and card authentication by the reader.
#include <algorithm>
#include <cstring>

#include "card_command_support.h"

namespace {

constexpr std::size_t kIdmSize = 8;
constexpr std::size_t kCodeListCapacity = 8;
// Request service takes at most 7 node codes.
constexpr std::int32_t kMaxServiceNodes = 7;

// Number of 16-bit entries that follow reply byte `from` inside the received reply.
std::size_t PairsFrom(const std::uint8_t* reply, std::size_t from) {
    return reply[0] > from ? (reply[0] - from) / 2 : 0;
}

std::int32_t CardAuthentication(const std::uint8_t* idm, std::int32_t keyId,
                                std::uint8_t command) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (!context->Authenticated.load()) return TW_ERR_NOT_AUTHENTICATED;
    if (idm == nullptr) return TW_ERR_PARAM;

    WorkBuffer buffer{};
    buffer[0] = 14;
    buffer[1] = command;
    std::memcpy(buffer + 2, idm, kIdmSize);
    const auto key = static_cast<std::uint32_t>(keyId);
    PutU16Be(static_cast<std::uint16_t>(key >> 16), buffer + 10);
    PutU16Be(static_cast<std::uint16_t>(key & 0xFFFF), buffer + 12);
    const std::int32_t status = Transceive(*context, buffer, buffer);
    if (status != TW_OK) return status;
    if (!ReplyFits(buffer, kSmallBufferSize)) return TW_ERR_BAD_REPLY;
    // The card's verdict shows in the reply code alone.
    return CheckResponse(buffer, static_cast<std::uint8_t>(command + 1), 3);
}

}  // namespace

extern "C" {

TAGWIRE_EXPORT std::int32_t TwRequestSystemCode(const std::uint8_t idm[8], TwCodeList* out) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (idm == nullptr || out == nullptr) return TW_ERR_PARAM;

    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 10;
    buffer[1] = 0x0C;
    std::memcpy(buffer + 2, idm, kIdmSize);
    std::int32_t status = GuardedTransceive(*context, buffer, buffer, 1);
    if (status != TW_OK) return status;
    status = CheckResponse(buffer, 0x0D, 2);
    if (status != TW_OK) return status;

    // The count byte and the codes count only as far as the reply reaches.
    const std::size_t count =
        buffer[0] > 2 ? std::min<std::size_t>(buffer[2] & 7, PairsFrom(buffer, 3)) : 0;
    out->Count = static_cast<std::int32_t>(count);
    for (std::size_t i = 0; i < count; ++i) out->Code[i] = GetU16Be(buffer + 3 + 2 * i);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t TwSearchServiceCode(const std::uint8_t idm[8], std::uint16_t index,
                                                TwCodeList* out) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (idm == nullptr || out == nullptr) return TW_ERR_PARAM;

    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 12;
    buffer[1] = 0x0A;
    std::memcpy(buffer + 2, idm, kIdmSize);
    PutU16Le(index, buffer + 10);
    std::int32_t status = GuardedTransceive(*context, buffer, buffer, 0);
    if (status != TW_OK) return status;
    status = CheckResponse(buffer, 0x0B, 4);
    if (status != TW_OK) return status;

    // One code (a service or area code), or two (an area code and its end).
    const std::size_t count = buffer[0] < 6 ? 1 : 2;
    std::memset(out, 0, sizeof *out);
    out->Count = static_cast<std::int32_t>(count);
    for (std::size_t i = 0; i < count; ++i) out->Code[i] = GetU16Le(buffer + 2 + 2 * i);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t TwRequestService(const std::uint8_t idm[8], const TwCodeList* nodes,
                                             TwCodeList* versions) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (idm == nullptr || nodes == nullptr || versions == nullptr) return TW_ERR_PARAM;
    const std::int32_t n = nodes->Count;
    if (n < 0 || n > kMaxServiceNodes) return TW_ERR_TOO_MANY;

    WorkBuffer buffer{};
    buffer[0] = static_cast<std::uint8_t>(11 + 2 * n);
    buffer[1] = 0x02;
    std::memcpy(buffer + 2, idm, kIdmSize);
    buffer[10] = static_cast<std::uint8_t>(n);
    for (std::int32_t i = 0; i < n; ++i) PutU16Le(nodes->Code[i], buffer + 11 + 2 * i);
    std::int32_t status = Transceive(*context, buffer, buffer);
    if (status != TW_OK) return status;
    status = CheckResponse(buffer, 0x03, 2 * n + 2);
    if (status != TW_OK) return status;

    // As many key versions as the reply holds and the record takes.
    const std::size_t count =
        buffer[0] > 2 ? std::min<std::size_t>({buffer[2], PairsFrom(buffer, 3), kCodeListCapacity})
                      : 0;
    versions->Count = static_cast<std::int32_t>(count);
    for (std::size_t j = 0; j < count; ++j) versions->Code[j] = GetU16Le(buffer + 3 + 2 * j);
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t TwRequestResponse(const std::uint8_t idm[8], std::int32_t* mode) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (idm == nullptr || mode == nullptr) return TW_ERR_PARAM;

    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 10;
    buffer[1] = 0x04;
    std::memcpy(buffer + 2, idm, kIdmSize);
    std::int32_t status = GuardedTransceive(*context, buffer, buffer, 0);
    if (status != TW_OK) return status;
    status = CheckResponse(buffer, 0x05, 2);
    if (status != TW_OK) return status;
    // The minimum length does not cover the mode byte.
    if (buffer[0] < 3) return TW_ERR_SHORT_REPLY;
    *mode = buffer[2];
    return TW_OK;
}

TAGWIRE_EXPORT std::int32_t TwCardAuthentication(const std::uint8_t idm[8], std::int32_t keyId) {
    return CardAuthentication(idm, keyId, 0x10);
}

TAGWIRE_EXPORT std::int32_t TwCardAuthentication2(const std::uint8_t idm[8], std::int32_t keyId) {
    return CardAuthentication(idm, keyId, 0x12);
}

}  // extern "C"
