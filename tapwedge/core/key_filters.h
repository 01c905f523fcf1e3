#pragma once
// Keystroke filters of the dialogs' number fields. A character whose code, taken as a signed
// byte of the system code page, is below 32 passes unchanged: the control keys (backspace,
// return, the clipboard shortcuts), and every character outside ASCII, whose code-page bytes are
// 0x80 and above. Each filter returns the character to insert, or 0 to drop it.
#include <functional>
#include <string>
#include <string_view>

namespace tapwedge {

// 0-9 and A-F pass, a-f become A-F, every other printable ASCII character is dropped.
char32_t FilterHexDigitKey(char32_t c);

// 0-9 pass, every other printable ASCII character is dropped.
char32_t FilterDecimalDigitKey(char32_t c);

// Text pasted into a field with one of these filters (or any other of the same form): each
// character as the filter gives it, those it drops left out. Control characters are left out too:
// typed, they are editing keys; pasted, they would become part of the text.
std::u32string FilterPastedText(std::u32string_view text,
                                const std::function<char32_t(char32_t)>& filter);

}  // namespace tapwedge
