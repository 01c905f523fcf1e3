#pragma once
// Hexadecimal text of bytes and back, for the card-parameter and communication dialogs.
#include <cstdint>

namespace tapwedge {

// Converts the hex digits of the NUL-terminated text into exactly n bytes at out: at most 2n
// characters are taken, two per byte, high nibble first; an odd last digit gets a low nibble of 0,
// and so does any invalid second character of a pair. The bytes after the text are 0.
// Returns 0, or -1 at once when the first character of a pair is not a hex digit (bytes already
// written stay; nothing further is written).
int ParseHexText(const char* text, std::uint8_t* out, int n);

// Writes two upper-case hex digits per byte (high nibble first, in byte order) and a terminating
// NUL into text, which must hold 2 * count + 1 characters. count <= 0 writes just the NUL.
void FormatHexText(const std::uint8_t* bytes, int count, char* text);

}  // namespace tapwedge
