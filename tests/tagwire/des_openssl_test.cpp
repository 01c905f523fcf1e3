// DES and two-key triple DES checked against OpenSSL's libcrypto as an independent oracle.
#include <gtest/gtest.h>
#include <openssl/des.h>

#include <random>

#include "des_test_support.h"

using des_test::Block;
using des_test::SingleDes;

namespace {

Block RandomBlock(std::mt19937& rng) {
    Block b{};
    for (auto& byte : b) byte = static_cast<std::uint8_t>(rng());
    return b;
}

DES_key_schedule OracleSchedule(const Block& key) {
    DES_cblock cblock;
    for (int k = 0; k < 8; ++k) cblock[k] = key[k];
    DES_key_schedule schedule;
    DES_set_key_unchecked(&cblock, &schedule);
    return schedule;
}

Block OracleDes(int enc, const Block& key, const Block& in) {
    DES_key_schedule schedule = OracleSchedule(key);
    DES_cblock input, output;
    for (int k = 0; k < 8; ++k) input[k] = in[k];
    DES_ecb_encrypt(&input, &output, &schedule, enc);
    Block out{};
    for (int k = 0; k < 8; ++k) out[k] = output[k];
    return out;
}

Block OracleTripleDes(int enc, const Block& key1, const Block& key2, const Block& in) {
    DES_key_schedule s1 = OracleSchedule(key1), s2 = OracleSchedule(key2);
    DES_cblock input, output;
    for (int k = 0; k < 8; ++k) input[k] = in[k];
    DES_ecb3_encrypt(&input, &output, &s1, &s2, &s1, enc);
    Block out{};
    for (int k = 0; k < 8; ++k) out[k] = output[k];
    return out;
}

constexpr int kRandomCases = 400;

TEST(DesAgainstLibcrypto, SingleDesOfRandomKeysAndBlocks) {
    std::mt19937 rng(0x7A9u);
    for (int i = 0; i < kRandomCases; ++i) {
        const Block key = RandomBlock(rng), block = RandomBlock(rng);
        SCOPED_TRACE(i);
        ASSERT_EQ(SingleDes(0, key, block), OracleDes(DES_ENCRYPT, key, block));
        ASSERT_EQ(SingleDes(1, key, block), OracleDes(DES_DECRYPT, key, block));
    }
}

// One work area for every case: the keys change at every call, so a schedule kept from an
// earlier call would show up as a mismatch.
TEST(DesAgainstLibcrypto, TwoKeyTripleDesOfRandomKeysAndBlocks) {
    std::mt19937 rng(0x3DE5u);
    CFEncrypt des;
    for (int i = 0; i < kRandomCases; ++i) {
        const Block k1 = RandomBlock(rng), k2 = RandomBlock(rng), block = RandomBlock(rng);
        SCOPED_TRACE(i);
        Block out{};
        des.TripleDesEncryptBlock(out.data(), block.data(), k1.data(), k2.data());
        ASSERT_EQ(out, OracleTripleDes(DES_ENCRYPT, k1, k2, block));
        des.TripleDesDecryptBlock(out.data(), block.data(), k1.data(), k2.data());
        ASSERT_EQ(out, OracleTripleDes(DES_DECRYPT, k1, k2, block));
    }
}

}  // namespace
