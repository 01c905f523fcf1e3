#pragma once
// Values of the communication settings dialog that need no widget: the speed list, the port
// number of the typed port text, what makes a whole key and the characters the port and key
// fields accept.
#include <cstdint>
#include <string_view>

namespace tapwedge {

// Items of the speed list: 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200 bit/s.
inline constexpr int kBaudRateCount = 8;

// The list item shown for a stored speed: 76800 shows as 115200, a speed not in the list as 9600.
int BaudRateIndex(std::int32_t baud);

// The speed of a list item; no selection (or any index outside the list) gives 9600.
std::int32_t BaudRateOfIndex(int index);

// The COM number of the port text: a decimal number 0..255 (0 = the USB reader); any other
// text, the empty text included, gives 1.
std::uint8_t ComPortOfText(std::string_view text);

// True when the port text is a decimal number above 255: it names no COM port, and OK refuses it
// rather than taking port 1.
bool PortNumberTooLarge(std::string_view text);

// A reader key is 8 bytes, typed as 16 hex digits.
inline constexpr int kKeyTextDigits = 16;

// True when text is a whole key: exactly 16 hex digits and nothing else. A shorter text would be
// padded with zeros and a text with other characters cut short, so either would change the key.
bool IsWholeKeyText(std::string_view text);

// The fields' key filters are the program's own (core/key_filters.h): digits in the port box,
// hex digits in the key fields.

}  // namespace tapwedge
