#pragma once
// Hexadecimal text of the card-parameter and communication dialogs: typed digits into bytes,
// bytes into digits, and a typed hexadecimal number.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tapwedge {

// Converts the hex digits of the NUL-terminated text into exactly n bytes at out: at most 2n
// characters are taken, two per byte, high nibble first; an odd last digit gets a low nibble of 0,
// and so does any invalid second character of a pair. The bytes after the text are 0.
// Returns 0, or -1 at once when the first character of a pair is not a hex digit (bytes already
// written stay; nothing further is written).
int ParseHexText(const char* text, std::uint8_t* out, int n);

// Writes two upper-case hex digits per byte (high nibble first) and a terminating NUL; text has
// room for 2 count + 1 characters. A count of 0 or less writes only the NUL.
void FormatHexText(const std::uint8_t* bytes, int count, char* text);
// The same digits as a string.
std::string HexText(const std::uint8_t* bytes, int count);

// A typed field read as one hexadecimal number, as if "0x" stood in front of it: one to eight
// hex digits, nothing else (no blanks, no sign, no prefix of its own). Eight digits wrap into
// the signed range. Empty or invalid text gives nullopt.
std::optional<std::int32_t> ParseHexNumber(std::string_view text);

}  // namespace tapwedge
