// SealMessage and OpenMessage of the DES work area against the libcrypto form of the sealed
// message, for every plaintext length that can be sealed.
#include <gtest/gtest.h>

#include <random>

#include "des/cf_encrypt.h"
#include "sealed_oracle.h"

using sealed_oracle::Bytes;
using sealed_oracle::Key;

namespace {

Key RandomKey(std::mt19937& rng) {
    Key key{};
    for (auto& byte : key) byte = static_cast<std::uint8_t>(rng());
    return key;
}

// [n][code][n - 2 random bytes].
Bytes RandomPlaintext(std::mt19937& rng, int n) {
    Bytes plain(static_cast<std::size_t>(n));
    plain[0] = static_cast<std::uint8_t>(n);
    for (int k = 1; k < n; ++k) plain[k] = static_cast<std::uint8_t>(rng());
    return plain;
}

Bytes Sealed(CFEncrypt& des, const Bytes& plain, const Key& key, int* result) {
    Bytes out(256, 0xEE);
    *result = des.SealMessage(out.data(), plain.data(), key.data());
    if (*result > 0) out.resize(static_cast<std::size_t>(*result));
    return out;
}

TEST(SealMessage, EveryLengthMatchesLibcryptoAndOpensBack) {
    std::mt19937 rng(0x5EA1u);
    CFEncrypt des;
    for (int n = 10; n <= 242; ++n) {
        SCOPED_TRACE(n);
        const Key key = RandomKey(rng);
        const Bytes plain = RandomPlaintext(rng, n);
        const Bytes expected = sealed_oracle::Seal(plain, key);

        int result = 0;
        const Bytes sealed = Sealed(des, plain, key, &result);
        ASSERT_EQ(result, static_cast<int>(expected.size()));
        ASSERT_EQ(sealed, expected);

        Bytes opened(256, 0xEE);
        ASSERT_EQ(des.OpenMessage(opened.data(), sealed.data(), key.data()), 0);
        const std::size_t openedLength = expected.size() - 8;
        EXPECT_EQ(opened[0], openedLength);
        EXPECT_TRUE(std::equal(plain.begin() + 1, plain.end(), opened.begin() + 1));
        for (std::size_t k = plain.size(); k < openedLength; ++k) EXPECT_EQ(opened[k], 0) << k;
        EXPECT_EQ(opened[openedLength], 0xEE) << "wrote past the opened message";
    }
}

TEST(SealMessage, InPlaceEqualsSeparateBuffers) {
    std::mt19937 rng(0x1D1u);
    CFEncrypt des;
    for (int n : {10, 11, 17, 18, 100, 242}) {
        SCOPED_TRACE(n);
        const Key key = RandomKey(rng);
        Bytes buffer = RandomPlaintext(rng, n);
        const Bytes expected = sealed_oracle::Seal(buffer, key);
        buffer.resize(256);
        ASSERT_EQ(des.SealMessage(buffer.data(), buffer.data(), key.data()),
                  static_cast<int>(expected.size()));
        buffer.resize(expected.size());
        EXPECT_EQ(buffer, expected);
    }
}

TEST(SealMessage, RefusesPlaintextWithoutSessionBlockOrTooLongToSeal) {
    CFEncrypt des;
    const Key key{1, 2, 3, 4, 5, 6, 7, 8};
    for (int n : {0, 1, 2, 9, 243, 250, 255}) {
        SCOPED_TRACE(n);
        Bytes plain(256, 0x11);
        plain[0] = static_cast<std::uint8_t>(n);
        Bytes out(256, 0xEE);
        EXPECT_EQ(des.SealMessage(out.data(), plain.data(), key.data()), -1);
        EXPECT_EQ(out, Bytes(256, 0xEE));
    }
}

TEST(OpenMessage, EveryChangedCiphertextOrMacByteFailsTheMac) {
    std::mt19937 rng(0xBADu);
    CFEncrypt des;
    const Key key = RandomKey(rng);
    for (int n : {10, 11, 26, 60}) {
        const Bytes sealed = sealed_oracle::Seal(RandomPlaintext(rng, n), key);
        for (std::size_t position = 2; position < sealed.size(); ++position) {
            SCOPED_TRACE(testing::Message() << "n " << n << " byte " << position);
            Bytes changed = sealed;
            changed[position] ^= static_cast<std::uint8_t>(1u << (position % 8));
            Bytes opened(256);
            EXPECT_EQ(des.OpenMessage(opened.data(), changed.data(), key.data()), -2);
        }
    }
}

TEST(OpenMessage, WrongKeyFailsTheMac) {
    CFEncrypt des;
    const Key key{1, 2, 3, 4, 5, 6, 7, 8}, other{1, 2, 3, 4, 5, 6, 7, 10};
    std::mt19937 rng(3);
    const Bytes sealed = sealed_oracle::Seal(RandomPlaintext(rng, 20), key);
    Bytes opened(256);
    EXPECT_EQ(des.OpenMessage(opened.data(), sealed.data(), other.data()), -2);
}

// A record that cannot hold one block and the MAC, or whose ciphertext ends in a partial block,
// is refused before anything is decrypted: the MAC would lie beyond the record's end.
TEST(OpenMessage, RefusesRecordsThatAreNoSealedMessage) {
    CFEncrypt des;
    const Key key{1, 2, 3, 4, 5, 6, 7, 8};
    for (int length : {0, 1, 2, 9, 10, 17, 19, 25, 27, 255}) {
        SCOPED_TRACE(length);
        Bytes record(300, 0x5A);
        record[0] = static_cast<std::uint8_t>(length);
        Bytes opened(256, 0xEE);
        EXPECT_EQ(des.OpenMessage(opened.data(), record.data(), key.data()), -1);
        EXPECT_EQ(opened, Bytes(256, 0xEE));
    }
}

}  // namespace
