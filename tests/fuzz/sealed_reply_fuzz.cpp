// The sealed channel's reply opener (and the command sealer) against OpenSSL's DES as the
// oracle: any reply record opens exactly when OpenSSL finds its MAC good, into the plaintext
// OpenSSL finds, and is sorted into the documented failures otherwise. Half the runs seal the
// input with OpenSSL first, perhaps with one byte changed after, so that good MACs are met.
#include <openssl/des.h>

#include <algorithm>
#include <array>
#include <optional>

#include "des/cf_encrypt.h"
#include "rig/fuzz_check.h"
#include "sealed_oracle.h"
#include "sealed_records.h"

namespace {

using fuzz_rig::Bytes;
using fuzz_rig::Record;
using sealed_oracle::Key;

// DES-CBC decryption with a zero IV by OpenSSL.
Bytes CbcDecrypt(const Key& key, const std::uint8_t* in, std::size_t n) {
    DES_cblock keyBlock;
    std::copy(key.begin(), key.end(), keyBlock);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_cblock iv = {};
    Bytes out(n);
    DES_ncbc_encrypt(in, out.data(), static_cast<long>(n), &schedule, &iv, DES_DECRYPT);
    return out;
}

// OpenSSL's opening of [s][code][C1 .. Ck][MAC]: the plaintext blocks, or nothing when the
// record is no sealed message or its MAC is wrong.
std::optional<Bytes> OracleOpen(const Key& key, const Bytes& record) {
    const std::size_t s = record[0];
    if (s < 18 || (s - 2) % 8 != 0) return std::nullopt;
    const Bytes plain = CbcDecrypt(key, record.data() + 2, s - 10);
    std::array<std::uint8_t, 8> mac{};
    for (std::size_t at = 0; at < plain.size(); at += 8)
        for (int k = 0; k < 8; ++k) mac[k] ^= plain[at + k];
    for (int k = 0; k < 8; ++k) mac[k] ^= record[s - 16 + k];  // Ck
    const auto tag = sealed_oracle::Encrypt(key, mac.data());
    if (!std::equal(tag.begin(), tag.end(), record.begin() + static_cast<std::ptrdiff_t>(s - 8))) return std::nullopt;
    return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CFEncrypt des;
    FuzzedDataProvider in(data, size);
    Key key{};
    const Bytes keyBytes = in.ConsumeBytes<std::uint8_t>(8);
    std::copy(keyBytes.begin(), keyBytes.end(), key.begin());

    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        // The sealer: a command [L][code][parameters] seals as OpenSSL seals it.
        const auto length = in.ConsumeIntegral<std::uint8_t>();
        Bytes command = in.ConsumeBytes<std::uint8_t>(std::max<std::size_t>(length, 2));
        command.resize(std::max<std::size_t>(length, 2));
        command[0] = length;
        Record commandRecord(command);
        std::uint8_t block[8] = {};
        const Bytes blockBytes = in.ConsumeBytes<std::uint8_t>(8);
        std::copy(blockBytes.begin(), blockBytes.end(), block);
        Record seal(kSealBufferSize);
        int sealedLength = -1;
        const std::int32_t status = SealCommand(des, seal.data(), commandRecord.data(), block, key.data(), &sealedLength);
        FUZZ_CHECK(commandRecord.Unchanged(), "the command was written");
        if (length < 2 || length > kMaxSealableCommand) {
            FUZZ_CHECK(status == TW_ERR_PARAM && seal.Unchanged(), "an unsealable command was sealed");
            return 0;
        }
        FUZZ_CHECK(status == TW_OK, "a sealable command was refused");
        Bytes plain = {static_cast<std::uint8_t>(length + 8), command[1]};
        plain.insert(plain.end(), block, block + 8);
        plain.insert(plain.end(), command.begin() + 2, command.end());
        const Bytes expected = sealed_oracle::Seal(plain, key);
        FUZZ_CHECK(sealedLength == static_cast<int>(expected.size()) &&
                       std::equal(expected.begin(), expected.end(), seal.data()),
                   "sealed otherwise than OpenSSL seals");
        return 0;
    }

    // The record as the receiver leaves it: [LEN + 1][code][LEN - 1 bytes], 2..255 bytes.
    Bytes record;
    if (in.ConsumeBool()) {
        Bytes plain = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(10, 239));
        plain.resize(std::max<std::size_t>(plain.size(), 10));
        plain[0] = static_cast<std::uint8_t>(plain.size());
        record = sealed_oracle::Seal(plain, key);
        if (in.ConsumeBool()) {
            const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, record.size() - 1);
            record[at] ^= std::max<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>(), 1);
        }
        record[0] = std::max<std::uint8_t>(record[0], 2);
        record.resize(record[0], 0);
    } else {
        record = in.ConsumeRemainingBytes<std::uint8_t>();
        record.resize(std::max<std::size_t>(record.size(), 2));
        record.resize(std::clamp<std::size_t>(record.size(), 2, 255));
        record[0] = static_cast<std::uint8_t>(record.size());
    }
    Record given(record);
    Record opened(kSealBufferSize);
    const std::int32_t status = OpenReply(des, opened.data(), given.data(), key.data());
    FUZZ_CHECK(given.Unchanged(), "the reply record was written");

    const std::optional<Bytes> oracle = OracleOpen(key, record);
    if (!oracle) {
        const bool plainError = record[0] == 2 && record[1] == 0x7F;
        FUZZ_CHECK(status == (plainError ? TW_ERR_PLAIN_REPLY : TW_ERR_MAC), "a bad record not sorted as documented");
        return 0;
    }
    FUZZ_CHECK(status == TW_OK, "a record OpenSSL opens was refused");
    FUZZ_CHECK(opened.data()[0] == record[0] - 8 && opened.data()[1] == record[1], "opened length or code wrong");
    FUZZ_CHECK(std::equal(oracle->begin(), oracle->end(), opened.data() + 2), "opened otherwise than OpenSSL opens");

    // The counter check of the opened reply.
    std::uint8_t host[8];
    std::copy(opened.data() + 2, opened.data() + 10, host);
    const auto hostCounter = in.ConsumeIntegral<std::uint16_t>();
    host[0] = static_cast<std::uint8_t>(hostCounter & 0xFF);
    host[1] = static_cast<std::uint8_t>(hostCounter >> 8);
    const std::uint16_t reply = static_cast<std::uint16_t>(opened.data()[2] | opened.data()[3] << 8);
    const bool inStep = reply == static_cast<std::uint16_t>(hostCounter + 1);
    FUZZ_CHECK((CheckSequence(host, opened.data() + 2) == TW_OK) == inStep, "counter judged wrongly");
    const std::uint16_t after = static_cast<std::uint16_t>(host[0] | host[1] << 8);
    FUZZ_CHECK(after == static_cast<std::uint16_t>(inStep ? hostCounter + 2 : hostCounter), "counter moved wrongly");
    return 0;
}
