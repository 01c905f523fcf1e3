#pragma once
// DES work area and the bit-array DES routines (FIPS 46, single DES and two-key triple DES).
// Every bit lives in a byte of its own holding 0 or 1 ("bit-bytes"), most significant first;
// bit-byte 0 of a block is FIPS 46's bit 1. Shared by the reader library and the program's
// card-parameter file cipher.
#include <cstdint>

class CFEncrypt {
public:
    std::uint8_t MacBits[64];        // MAC accumulator of the sealed channel
    std::uint8_t Key1Bits[64];       // first triple-DES key
    std::uint8_t Key2Bits[64];       // second triple-DES key; the session key when sealing
    std::uint8_t BlockBits[64];      // the block being processed
    std::uint8_t ChainBits[64];      // previous ciphertext block / output block
    std::uint8_t Schedule1[16][48];  // subkeys K1..K16 of Key1Bits
    std::uint8_t Schedule2[16][48];  // subkeys K1..K16 of Key2Bits

    // out = E(key1, D(key2, E(key1, in))); out may be in. Returns 0.
    int TripleDesEncryptBlock(std::uint8_t out[8], const std::uint8_t in[8],
                              const std::uint8_t key1[8], const std::uint8_t key2[8]);
    // out = D(key1, E(key2, D(key1, in))); out may be in. Returns 0.
    int TripleDesDecryptBlock(std::uint8_t out[8], const std::uint8_t in[8],
                              const std::uint8_t key1[8], const std::uint8_t key2[8]);

    // Sealed channel (seal_message.cpp): DES-CBC with a zero initial vector under `key`, and
    // the MAC E(P1 ^ P2 ^ ... ^ Pk ^ Ck). Use MacBits, BlockBits, ChainBits, Key2Bits, Schedule2.
    //
    // Seals the plaintext src = [n][code][n - 2 bytes] (n from 10 to 242) into dest (may be
    // src): [n' + 8][code][C1 .. Ck][MAC], n' = n rounded up so that n' - 2 is a multiple of 8,
    // the gap zero-filled; dest receives n' + 8 bytes (at most 250). Returns n' + 8, or -1 when
    // n is below 10 or the sealed message would not fit its one-byte length.
    int SealMessage(std::uint8_t* dest, const std::uint8_t* src, const std::uint8_t key[8]);
    // Opens the sealed record src = [s][code][C1 .. Ck][MAC] into dest: [s - 8][code][P1 .. Pk]
    // (dest receives s - 8 bytes). Returns 0, -1 when src is no sealed record (s below 18, or
    // the ciphertext no whole number of blocks; dest untouched), -2 when the MAC does not match
    // (dest keeps the decrypted bytes).
    int OpenMessage(std::uint8_t* dest, const std::uint8_t* src, const std::uint8_t key[8]);

    // One DES block operation over 64 bit-bytes; direction 0 encrypts, 1 decrypts; out may be in.
    // Uses the process-wide working storage: one operation at a time in the process.
    static void DesCrypt(int direction, std::uint8_t out[64], const std::uint8_t in[64],
                         const std::uint8_t schedule[16][48]);
    // The cipher function f(R, K).
    static void DesRoundFunction(std::uint8_t out[32], const std::uint8_t right[32],
                                 const std::uint8_t subkey[48]);
    // The 4-bit value of S-box `box` (0..7) for six bit-bytes.
    static int DesSBoxLookup(int box, const std::uint8_t bits[6]);
    // The low n bits of value into out[0..n-1], most significant first.
    static void DesIntToBits(std::int32_t value, std::uint8_t* out, int n);
    // The 16 subkeys of a 64 bit-byte key.
    static void DesKeySchedule(std::uint8_t schedule[16][48], const std::uint8_t key[64]);
    // Packs bit-bytes into a byte; with n = 8 bit-byte 0 is the most significant bit.
    static std::uint8_t DesBitsToByte(const std::uint8_t* bits, int n);
    // Unpacks a byte into 8 bit-bytes, most significant bit first.
    static void DesByteToBits(std::uint8_t value, std::uint8_t out[8]);
};
