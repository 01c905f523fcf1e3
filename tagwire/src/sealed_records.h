#pragma once
// The sealed channel's records, without any I/O: a command sealed under the session key with the
// session block (sequence counter and host random) in front of its parameters, a reply record
// opened and verified, and the sequence counter check of an opened reply.
#include <cstdint>

class CFEncrypt;

// Room for the longest sealed command (250 bytes) and the longest opened reply (247 bytes).
constexpr int kSealBufferSize = 256;
// Longest command that can be sealed: its sealed length must fit the one-byte frame length.
constexpr int kMaxSealableCommand = 234;

// Seals the command [L][code][L - 2 parameters] as [L + 8][code][sessionBlock][parameters] into
// `seal`; *sealedLength = s, the frame data being seal[1 .. s - 1]. TW_OK, or TW_ERR_PARAM when
// L is below 2 (no code) or above kMaxSealableCommand (nothing written then).
std::int32_t SealCommand(CFEncrypt& des, std::uint8_t seal[kSealBufferSize],
                         const std::uint8_t* command, const std::uint8_t sessionBlock[8],
                         const std::uint8_t key[8], int* sealedLength);

// Opens a reply record [LEN + 1][code][ciphertext][MAC] into `opened`:
// [LEN + 1 - 8][code][session block][parameters]. TW_OK, TW_ERR_PLAIN_REPLY when the record is
// the plain error frame [2][0x7F], else TW_ERR_MAC for any record that does not open.
std::int32_t OpenReply(CFEncrypt& des, std::uint8_t opened[kSealBufferSize],
                       const std::uint8_t* record, const std::uint8_t key[8]);

// The reader answers host counter h with h + 1; then the host's next counter is h + 2 (16-bit,
// little-endian in bytes 0..1 of both blocks). TW_OK and the host counter advanced, or
// TW_ERR_SEQUENCE and nothing changed. The other bytes of the blocks are not compared.
std::int32_t CheckSequence(std::uint8_t hostBlock[8], const std::uint8_t replyBlock[8]);
