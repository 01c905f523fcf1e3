#pragma once
// What the command exports share: the claim of the open reader context and a plain send-and-wait.
#include <cstdint>

#include "export_claim.h"
#include "link_layer.h"
#include "reader_context.h"
#include "tagwire/tagwire.h"


// One plain exchange whatever the channel: receiver reset, the frame, the wait; on TW_OK the
// reply record is copied into `record` (256 bytes).
inline std::int32_t PlainExchange(ReaderContext& context, const std::uint8_t* data,
                                  std::uint32_t length, std::uint8_t* record) {
    context.RxState.store(kRxIdle, std::memory_order_release);
    SendFrame(context, data, length);
    const std::int32_t status = WaitResponse(context, context.Timeout);
    if (status == TW_OK) context.RxFrame.CopyOut(record, 0, context.RxFrame[0]);
    return status;
}

// Reply byte `position` of a record, or 0 when the record is too short to hold it.
inline std::uint8_t ReplyByteOrZero(const std::uint8_t* record, int position) {
    return record[0] > position ? record[position] : 0;
}

// TW_ERR_READER_STATUS + s for a nonzero status byte s, else TW_OK.
inline std::int32_t ReaderStatus(std::uint8_t status) {
    return status == 0 ? TW_OK : TW_ERR_READER_STATUS + status;
}
