#pragma once
// Typed hexadecimal digits into bytes, for the card-parameter and communication dialogs.
#include <cstdint>

namespace tapwedge {

// Converts the hex digits of the NUL-terminated text into exactly n bytes at out: at most 2n
// characters are taken, two per byte, high nibble first; an odd last digit gets a low nibble of 0,
// and so does any invalid second character of a pair. The bytes after the text are 0.
// Returns 0, or -1 at once when the first character of a pair is not a hex digit (bytes already
// written stay; nothing further is written).
int ParseHexText(const char* text, std::uint8_t* out, int n);

}  // namespace tapwedge
