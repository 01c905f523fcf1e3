// Reader authentication: mutual (two-key triple DES, session key chosen by the reader) and by
// password, the reset of the authenticated state, and the forced authenticated state.
// Authentication messages always travel plain.
#include <cstring>

#include "des/cf_encrypt.h"
#include "export_context.h"
#include "host_random.h"
#include "tagwire/tagwire.h"

namespace {

constexpr std::uint8_t kAuthenticate1 = 0x70;
constexpr std::uint8_t kAuthenticate2 = 0x72;
constexpr std::uint8_t kReset = 0x74;
constexpr std::uint8_t kStatusAccepted = 0;
constexpr std::uint8_t kStatusAcceptedWithNote = 16;
constexpr std::uint8_t kStatusPasswordDisabled = 2;
constexpr std::uint32_t kBetweenExchangesMs = 5;

// First exchange: the host random under (Kar, Kbr) out, the reader's answer and its random
// under (Kbr, Kcr) back. `keyFirst` takes the session key before the answer is compared.
std::int32_t FirstExchange(ReaderContext& context, const TwAuthKeys& keys, bool keyFirst) {
    CFEncrypt& des = *context.Des;
    MakeHostRandom(context.SessionBlock, PumpDelay);
    std::uint8_t data[17];
    data[0] = kAuthenticate1;
    std::memcpy(data + 1, keys.Id, 8);
    des.TripleDesEncryptBlock(data + 9, context.SessionBlock, keys.Kar, keys.Kbr);

    std::uint8_t record[256];
    std::int32_t status = PlainExchange(context, data, sizeof data, record);
    if (status == TW_OK) status = CheckResponse(record, kAuthenticate1 + 1, 18);
    if (status != TW_OK) return status;

    std::uint8_t answer[8];
    des.TripleDesDecryptBlock(answer, record + 2, keys.Kbr, keys.Kcr);
    if (keyFirst) des.TripleDesDecryptBlock(context.SessionKey, record + 10, keys.Kbr, keys.Kcr);
    if (std::memcmp(answer, context.SessionBlock, 8) != 0) return TW_ERR_READER_NOT_GENUINE;
    if (!keyFirst) des.TripleDesDecryptBlock(context.SessionKey, record + 10, keys.Kbr, keys.Kcr);
    return TW_OK;
}

// Second exchange: the session key under (Kar, Kbr) and the mode; on acceptance the session
// starts with counter 1, sealed when mode bit 0 is 0.
std::int32_t SecondExchange(ReaderContext& context, const TwAuthKeys& keys, std::int32_t mode) {
    std::uint8_t data[18];
    data[0] = kAuthenticate2;
    std::memcpy(data + 1, keys.Id, 8);
    context.Des->TripleDesEncryptBlock(data + 9, context.SessionKey, keys.Kar, keys.Kbr);
    data[17] = static_cast<std::uint8_t>(mode & 0xFF);

    std::uint8_t record[256];
    std::int32_t status = PlainExchange(context, data, sizeof data, record);
    if (status == TW_OK) status = CheckResponse(record, kAuthenticate2 + 1, 3);
    if (status != TW_OK) return status;

    const std::uint8_t readerStatus = record[2];
    if (readerStatus != kStatusAccepted && readerStatus != kStatusAcceptedWithNote) {
        return TW_ERR_AUTH_REFUSED;
    }
    context.SessionBlock[0] = 1;
    context.SessionBlock[1] = 0;
    context.Authenticated.store(1);
    context.Encrypted = (mode & 1) == 0 ? 1 : 0;
    return readerStatus == kStatusAccepted ? TW_OK : TW_ERR_AUTH_STATUS;
}

// The checks every authentication export starts with.
std::int32_t Begin(ExportClaim& context, const TwAuthKeys* keys) {
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    if (keys == nullptr) return TW_ERR_PARAM;
    return TW_OK;
}

}  // namespace

extern "C" {

int32_t TwAuthentication(const TwAuthKeys* keys, int32_t mode) {
    ExportClaim context;
    std::int32_t status = Begin(context, keys);
    if (status != TW_OK) return status;
    status = FirstExchange(*context, *keys, false);
    if (status != TW_OK) return status;
    PumpDelay(kBetweenExchangesMs);
    return SecondExchange(*context, *keys, mode);
}

int32_t TwAuthentication1(const TwAuthKeys* keys) {
    ExportClaim context;
    const std::int32_t status = Begin(context, keys);
    if (status != TW_OK) return status;
    return FirstExchange(*context, *keys, true);
}

int32_t TwAuthentication2(const TwAuthKeys* keys, int32_t mode) {
    ExportClaim context;
    const std::int32_t status = Begin(context, keys);
    if (status != TW_OK) return status;
    return SecondExchange(*context, *keys, mode);
}

int32_t TwPWAuthentication(const TwAuthKeys* keys) {
    ExportClaim context;
    std::int32_t status = Begin(context, keys);
    if (status != TW_OK) return status;

    std::uint8_t data[33];
    data[0] = kAuthenticate1;
    std::memcpy(data + 1, keys, sizeof(TwAuthKeys));
    std::uint8_t record[256];
    status = PlainExchange(*context, data, sizeof data, record);
    if (status == TW_OK) status = CheckResponse(record, kAuthenticate1 + 1, 3);
    if (status != TW_OK) return status;

    switch (record[2]) {
        case kStatusAccepted:
            context->Authenticated.store(1);
            context->Encrypted = 0;
            return TW_OK;
        case kStatusPasswordDisabled:
            return TW_ERR_PASSWORD_DISABLED;
        default:
            return TW_ERR_AUTH_REFUSED;
    }
}

int32_t TwReset(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    if (CheckBusy(*context) != TW_OK) return TW_ERR_BUSY;
    std::uint8_t* buffer = TwCommandBuffer;
    buffer[0] = 2;
    buffer[1] = kReset;
    // Sealed in an encrypted session; any failure of the exchange reads as no answer.
    if (Transceive(*context, buffer, buffer) != TW_OK) return TW_ERR_TIMEOUT;
    const std::int32_t status = CheckResponse(buffer, kReset + 1, 2);
    if (status != TW_OK) return status;
    context->Authenticated.store(0);
    context->Encrypted = 0;
    return TW_OK;
}

int32_t TwSetAuthenticationStatus(void) {
    ExportClaim context;
    if (!context) return context.Refusal();
    context->Authenticated.store(1);
    context->Encrypted = 0;
    return TW_OK;
}

}  // extern "C"
