#pragma once
// Virtual-key codes the keystroke output uses, and their keys on a Japanese 106/109 keyboard.
//
// The key of a virtual-key code is given as a Linux input key code (linux/input-event-codes.h,
// KEY_*), the code both injectors understand: uinput sends it as is, and X servers on Linux
// number their keys as these codes plus 8 (the "evdev" keycodes of XKB). For the main block
// these equal the PC set-1 scan codes.
#include <cstdint>

namespace platform::vk {

inline constexpr std::uint8_t Tab = 0x09;
inline constexpr std::uint8_t Return = 0x0D;
inline constexpr std::uint8_t Shift = 0x10;
inline constexpr std::uint8_t Space = 0x20;
inline constexpr std::uint8_t Multiply = 0x6A;  // keypad "*"
inline constexpr std::uint8_t Add = 0x6B;       // keypad "+"
inline constexpr std::uint8_t Subtract = 0x6D;  // keypad "-"
inline constexpr std::uint8_t Decimal = 0x6E;   // keypad "."
inline constexpr std::uint8_t Divide = 0x6F;    // keypad "/"
inline constexpr std::uint8_t NumLock = 0x90;
inline constexpr std::uint8_t Colon = 0xBA;      // JIS ":" "*", right of ";"
inline constexpr std::uint8_t Semicolon = 0xBB;  // JIS ";" "+", right of L
inline constexpr std::uint8_t At = 0xC0;         // JIS "@" "`", right of P
// Digits "0".."9" and letters "A".."Z" are their own character codes.

}  // namespace platform::vk

namespace platform {

// The key of a virtual-key code (Linux input key code); 0 when the code has no key here.
std::uint16_t MapVirtualKeyToScanCode(std::uint8_t virtualKey);

}  // namespace platform
