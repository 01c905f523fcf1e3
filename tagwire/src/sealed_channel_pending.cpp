// Placeholder of the encrypted channel until it is built: nothing sets Encrypted yet, so the
// sealed exchange is never reached; a cancelled reply needs no settling on a plain channel.
#include "sealed_channel.h"
#include "tagwire/tagwire.h"

std::int32_t SealedTransceive(ReaderContext&, std::uint8_t*, const std::uint8_t*) {
    return TW_ERR_FAILED;
}

void SettleCancelledReply(ReaderContext&) {}
