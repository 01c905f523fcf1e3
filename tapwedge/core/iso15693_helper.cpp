// ISO 15693-3 requests through the reader's pass-through command 0x4C:
// request [n + 4][0x4C][0x00][n][n frame bytes], reply [L][code][status hi][status lo][k][k bytes].
#include "core/iso15693_helper.h"

#include <tagwire/tagwire.h>

#include <algorithm>
#include <cstring>

namespace tapwedge {
namespace {

constexpr std::uint8_t kPassThroughIso15693 = 0x4C;
constexpr int kPassThroughHeader = 4;     // length, command, 0x00, frame length
constexpr int kReplyResponse = 5;         // the card's response starts at reply byte 5
constexpr int kInventoryReplyLength = 11;  // length, response flags, DSFID, 8 UID bytes
constexpr int kInventoryDataBytes = 9;

}  // namespace

std::int32_t Iso15693Helper::Iso15693Transceive(std::uint8_t* reply, const std::uint8_t* request) {
    const int length = request[0];
    if (length == 0 || length > kMaxRequestLength) return -1;
    const int n = length - 1;

    std::uint8_t command[kBufferSize] = {};
    command[0] = static_cast<std::uint8_t>(n + kPassThroughHeader);
    command[1] = kPassThroughIso15693;
    command[2] = 0x00;
    command[3] = static_cast<std::uint8_t>(n);
    std::memcpy(command + kPassThroughHeader, request + 1, static_cast<std::size_t>(n));

    // The reply goes to a buffer of its own so that the library never reads what it writes.
    std::uint8_t answer[kBufferSize] = {};
    const std::int32_t r = TwThruCommand(answer, command);
    if (r != TW_OK) return r;
    const int answerLength = answer[0];
    if (answerLength < kReplyResponse) return -1;

    // The card's response, as far as the reply holds it.
    const int k = std::min<int>(answer[4], answerLength - kReplyResponse);
    reply[0] = static_cast<std::uint8_t>(k + 1);
    std::memcpy(reply + 1, answer + kReplyResponse, static_cast<std::size_t>(k));
    return answer[2] << 8 | answer[3];
}

std::int32_t Iso15693Helper::Iso15693Inventory(std::uint8_t& responseFlags,
                                               std::uint8_t* inventoryData, std::uint8_t afi,
                                               std::uint8_t flags) {
    std::uint8_t request[kBufferSize] = {};
    int at = 1;
    request[at++] = flags;
    request[at++] = kCommandInventory;
    if (flags & kFlagAfi) request[at++] = afi;
    request[at++] = 0x00;  // mask length: any UID
    request[0] = static_cast<std::uint8_t>(at);

    std::uint8_t reply[kBufferSize] = {};
    const std::int32_t r = Iso15693Transceive(reply, request);
    if (r != 0) return r;
    if ((flags & kFlagOneSlot) == 0) return -1;  // only one-slot inventories are handled

    responseFlags = reply[1];
    if (reply[0] < kInventoryReplyLength || responseFlags != 0) return -1;
    std::memcpy(inventoryData, reply + 2, kInventoryDataBytes);
    return 0;
}

std::int32_t Iso15693Helper::Iso15693StayQuiet(const std::uint8_t* uid) {
    std::uint8_t request[kBufferSize] = {};
    request[0] = 11;
    request[1] = kFlagOneSlot | kFlagHighDataRate;  // 0x22: addressed, high data rate
    request[2] = kCommandStayQuiet;
    std::memcpy(request + 3, uid, 8);
    std::uint8_t reply[kBufferSize] = {};
    return Iso15693Transceive(reply, request);
}

}  // namespace tapwedge
