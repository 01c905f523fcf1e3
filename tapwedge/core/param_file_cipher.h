#pragma once
// The cipher of the card-parameter files ("*.set"): single DES in CBC mode with an all-zero
// initial vector over the plaintext, its pad to a multiple of 8 bytes and a check block
// "CheckCod". A file whose check block does not decrypt to the check text is refused.
#include <cstdint>
#include <string>

namespace tapwedge {

class ParamFileCipher {
public:
    std::uint8_t Key[8];        // DES key of the card-parameter files
    std::uint8_t CheckText[8];  // "CheckCod", no terminator

    // Key = the default file key, CheckText = "CheckCod".
    ParamFileCipher();

    // Reads fileName and decrypts its first length bytes of plaintext into destination.
    // 0 success; -1 the file cannot be opened or is no regular file (a named pipe, a device, a
    // folder: reading never waits for a writer); -2 it is shorter than the padded length + 8;
    // -10 the check block is wrong (destination untouched). Bytes after the check block are
    // not read.
    int ReadParamFile(std::uint8_t* destination, std::int32_t length, const std::string& fileName);

    // Encrypts length bytes of source into fileName. The new file replaces the old one only
    // when it was written whole, so a failure leaves the previous file as it was. The file holds
    // reader keys: it is for its user alone (0600).
    // 0 success; -1 the file cannot be created; -2 fewer bytes written than asked.
    int WriteParamFile(const std::uint8_t* source, std::int32_t length, const std::string& fileName);

    // Bytes in a file for a plaintext of length bytes: the padded length + 8.
    static std::int64_t FileSize(std::int32_t length);

private:
    // One CBC step over an 8-byte block; chain holds the previous ciphertext block.
    void EncryptBlock(std::uint8_t block[8], std::uint8_t chain[8]) const;
    void DecryptBlock(std::uint8_t block[8], std::uint8_t chain[8]) const;
};

}  // namespace tapwedge
