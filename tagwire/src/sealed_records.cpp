#include "sealed_records.h"

#include <cstring>

#include "des/cf_encrypt.h"
#include "tagwire/tagwire.h"

namespace {

constexpr int kSessionBlockSize = 8;
constexpr std::uint8_t kErrorReplyCode = 0x7F;

std::uint16_t Counter(const std::uint8_t block[8]) {
    return static_cast<std::uint16_t>(block[0] | block[1] << 8);
}

}  // namespace

std::int32_t SealCommand(CFEncrypt& des, std::uint8_t seal[kSealBufferSize],
                         const std::uint8_t* command, const std::uint8_t sessionBlock[8],
                         const std::uint8_t key[8], int* sealedLength) {
    const int length = command[0];
    if (length < 2 || length > kMaxSealableCommand) return TW_ERR_PARAM;
    seal[0] = static_cast<std::uint8_t>(length + kSessionBlockSize);
    seal[1] = command[1];
    std::memcpy(seal + 2, sessionBlock, kSessionBlockSize);
    std::memcpy(seal + 2 + kSessionBlockSize, command + 2, static_cast<std::size_t>(length - 2));
    *sealedLength = des.SealMessage(seal, seal, key);
    return TW_OK;
}

std::int32_t OpenReply(CFEncrypt& des, std::uint8_t opened[kSealBufferSize],
                       const std::uint8_t* record, const std::uint8_t key[8]) {
    if (des.OpenMessage(opened, record, key) == 0) return TW_OK;
    return record[0] == 2 && record[1] == kErrorReplyCode ? TW_ERR_PLAIN_REPLY : TW_ERR_MAC;
}

std::int32_t CheckSequence(std::uint8_t hostBlock[8], const std::uint8_t replyBlock[8]) {
    const std::uint16_t host = Counter(hostBlock);
    if (Counter(replyBlock) != static_cast<std::uint16_t>(host + 1)) return TW_ERR_SEQUENCE;
    const auto next = static_cast<std::uint16_t>(host + 2);
    hostBlock[0] = static_cast<std::uint8_t>(next & 0xFF);
    hostBlock[1] = static_cast<std::uint8_t>(next >> 8);
    return TW_OK;
}
