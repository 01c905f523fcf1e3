// The sealed path of an exchange in an encrypted session, and the settling of a late reply to a
// cancelled sealed command, which keeps the sequence counter in step with the reader.
#include "sealed_channel.h"

#include <cstring>

#include "des/cf_encrypt.h"
#include "link_layer.h"
#include "sealed_records.h"
#include "tagwire/tagwire.h"

namespace {

// Where the sealed command is built and sealed and its reply opened (exports' thread only).
std::uint8_t SealBuffer[kSealBufferSize];

void CopyReceiveRecord(const ReaderContext& context, std::uint8_t record[kSealBufferSize]) {
    context.RxFrame.CopyOut(record, 0, context.RxFrame[0]);  // [0] = LEN + 1 <= 255
}

}  // namespace

std::int32_t SealedTransceive(ReaderContext& context, std::uint8_t* reply,
                              const std::uint8_t* command) {
    int sealedLength = 0;
    const std::int32_t sealed = SealCommand(*context.Des, SealBuffer, command,
                                            context.SessionBlock, context.SessionKey, &sealedLength);
    if (sealed != TW_OK) return sealed;

    context.RxState.store(kRxIdle, std::memory_order_release);
    SendFrame(context, SealBuffer + 1, static_cast<std::uint32_t>(sealedLength - 1));
    const std::int32_t status = WaitResponse(context, context.Timeout);
    if (status != TW_OK) return status;

    std::uint8_t record[kSealBufferSize];
    CopyReceiveRecord(context, record);
    const std::int32_t opened = OpenReply(*context.Des, SealBuffer, record, context.SessionKey);
    if (opened != TW_OK) {
        context.Encrypted = 0;
        context.Authenticated.store(0);
        return opened;
    }
    if (CheckSequence(context.SessionBlock, SealBuffer + 2) != TW_OK) return TW_ERR_SEQUENCE;

    // The caller sees [length][code][parameters]: the session block taken out.
    const int openedLength = SealBuffer[0];
    reply[0] = static_cast<std::uint8_t>(openedLength - 8);
    reply[1] = SealBuffer[1];
    std::memcpy(reply + 2, SealBuffer + 10, static_cast<std::size_t>(openedLength - 10));
    return TW_OK;
}

void SettleCancelledReply(ReaderContext& context) {
    // Only a sealed session counts its exchanges.
    if (!context.Encrypted) return;
    std::uint8_t record[kSealBufferSize];
    std::uint8_t opened[kSealBufferSize];
    CopyReceiveRecord(context, record);
    if (OpenReply(*context.Des, opened, record, context.SessionKey) != TW_OK) return;
    CheckSequence(context.SessionBlock, opened + 2);  // advances the counter when it is in step
}
