#pragma once
// Keystroke filters of the dialogs' number and hexadecimal boxes, one set for the whole program.
// Japanese input often comes full-width: the full-width digits and Latin letters (U+FF10 to
// U+FF19, U+FF21 to U+FF3A, U+FF41 to U+FF5A) are taken as their ASCII forms, so that a box
// never shows "１６" while its value is stored as 0. Control characters (below 32: backspace,
// return, the clipboard shortcuts) pass unchanged; they are editing keys. Each filter returns the
// character to insert, or 0 to drop it.
#include <functional>
#include <string>
#include <string_view>

namespace tapwedge {

// The ASCII form of a full-width digit or Latin letter; any other character as it is.
char32_t AsciiFormOf(char32_t c);

// 0-9 and A-F pass, a-f become A-F (full-width ones likewise); every other character is dropped.
char32_t FilterHexDigitKey(char32_t c);

// 0-9 pass (full-width ones as 0-9); every other character is dropped.
char32_t FilterDecimalDigitKey(char32_t c);

// For number boxes without a filter of their own, which check their text when it is stored:
// full-width digits and letters as ASCII, every other character as it is.
char32_t FoldFullWidthKey(char32_t c);

// Text pasted or committed by an input method into a box with one of these filters (or any
// other of the same form): each character as the filter gives it, those it drops left out.
// Control characters are left out too: typed, they are editing keys; pasted, they would become
// part of the text.
std::u32string FilterPastedText(std::u32string_view text,
                                const std::function<char32_t(char32_t)>& filter);

}  // namespace tapwedge
