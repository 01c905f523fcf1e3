#pragma once
// The FeliCa polling exchange shared by the four polling exports.
#include <cstddef>
#include <cstdint>

#include "reader_context.h"

// Options of a poll: bit 0 is the wait byte sent to the reader; bit 7 adds one request byte,
// whose value is bit 1; any nonzero options byte removes the response time-out.
constexpr std::uint8_t kPollWaitForCard = 0x01;
constexpr std::uint8_t kPollExtraByteValue = 0x02;
constexpr std::uint8_t kPollExtraByte = 0x80;

// Polls for a card. On TW_OK the reply data (IDm, PMm, then whatever the reader adds) is at
// the start of the shared TwCommandBuffer and *dataLength says how many bytes it holds (at
// least 16). A poll without time-out ends by the reply, TwCancel, or a command with the busy
// check started meanwhile; the response time-out in force before it is put back in every case.
std::int32_t PollCard(ReaderContext& context, std::uint16_t systemCode, std::uint8_t requestCode,
                      std::uint8_t timeSlot, std::uint8_t options, std::size_t* dataLength);
