#pragma once
// What the link layer needs of the encrypted channel: the sealed exchange that Transceive takes
// when the context's Encrypted flag is set, and the settling of a reply that arrived for a
// cancelled command (decrypt, verify, and keep the sequence counter in step with the reader).
#include <cstdint>

#include "reader_context.h"

std::int32_t SealedTransceive(ReaderContext& context, std::uint8_t* reply,
                              const std::uint8_t* command);

void SettleCancelledReply(ReaderContext& context);
