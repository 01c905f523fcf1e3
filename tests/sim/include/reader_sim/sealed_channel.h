#pragma once
// The reader's side of the sealed channel and of the authentication ciphers, on OpenSSL's DES
// (deliberately not the project's own DES, so that each checks the other).
#include <array>
#include <cstdint>
#include <optional>

#include "reader_sim/frames.h"

namespace tapwedge::sim {

using Block8 = std::array<std::uint8_t, 8>;

Block8 DesEncrypt(const Block8& key, const Block8& in);
Block8 DesDecrypt(const Block8& key, const Block8& in);
// Two-key triple DES, encrypt-decrypt-encrypt: E(a, D(b, E(a, x))) and its inverse.
Block8 TripleDesEncrypt(const Block8& a, const Block8& b, const Block8& in);
Block8 TripleDesDecrypt(const Block8& a, const Block8& b, const Block8& in);

// The sealed body of a message: DES-CBC (zero IV) of `plain` zero-padded to whole blocks,
// followed by the MAC E(P1 ^ ... ^ Pk ^ Ck).
Bytes SealBody(const Block8& key, Bytes plain);
// Opens a sealed body (ciphertext then MAC); nothing when its size or MAC is wrong.
std::optional<Bytes> OpenBody(const Block8& key, const std::uint8_t* body, std::size_t count);

}  // namespace tapwedge::sim
