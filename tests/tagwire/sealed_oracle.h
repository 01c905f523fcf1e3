#pragma once
// The sealed message form computed with OpenSSL's libcrypto, independently of our DES:
// [n' + 8][code][DES-CBC of bytes 2 .. n' - 1, zero IV][MAC = E(P1 ^ ... ^ Pk ^ Ck)].
#include <openssl/des.h>

#include <array>
#include <cstdint>
#include <vector>

namespace sealed_oracle {

using Bytes = std::vector<std::uint8_t>;
using Key = std::array<std::uint8_t, 8>;

inline std::array<std::uint8_t, 8> Encrypt(const Key& key, const std::uint8_t* in) {
    DES_cblock keyBlock, input, output;
    for (int k = 0; k < 8; ++k) keyBlock[k] = key[k], input[k] = in[k];
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_ecb_encrypt(&input, &output, &schedule, DES_ENCRYPT);
    std::array<std::uint8_t, 8> out{};
    for (int k = 0; k < 8; ++k) out[k] = output[k];
    return out;
}

// Seals the plaintext [n][code][n - 2 bytes].
inline Bytes Seal(const Bytes& plain, const Key& key) {
    Bytes padded = plain;
    while ((padded.size() - 2) % 8 != 0) padded.push_back(0);
    Bytes out(padded.begin(), padded.begin() + 2);
    out[0] = static_cast<std::uint8_t>(padded.size() + 8);
    std::array<std::uint8_t, 8> chain{}, mac{};
    for (std::size_t offset = 2; offset < padded.size(); offset += 8) {
        std::uint8_t block[8];
        for (int k = 0; k < 8; ++k) {
            mac[k] ^= padded[offset + k];
            block[k] = padded[offset + k] ^ chain[k];
        }
        chain = Encrypt(key, block);
        out.insert(out.end(), chain.begin(), chain.end());
    }
    for (int k = 0; k < 8; ++k) mac[k] ^= chain[k];
    const auto tag = Encrypt(key, mac.data());
    out.insert(out.end(), tag.begin(), tag.end());
    return out;
}

}  // namespace sealed_oracle
