#include "core/key_filters.h"

namespace tapwedge {
namespace {

// Below 32 as a signed byte: control characters and everything from 0x80 on.
bool PassesUnchanged(char32_t c) { return c < 32 || c >= 128; }

bool IsDecimalDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

}  // namespace

char32_t FilterHexDigitKey(char32_t c) {
    if (PassesUnchanged(c) || IsDecimalDigit(c) || (c >= U'A' && c <= U'F')) return c;
    if (c >= U'a' && c <= U'f') return c - U'a' + U'A';
    return 0;
}

char32_t FilterDecimalDigitKey(char32_t c) {
    return PassesUnchanged(c) || IsDecimalDigit(c) ? c : 0;
}

std::u32string FilterPastedText(std::u32string_view text,
                                const std::function<char32_t(char32_t)>& filter) {
    std::u32string kept;
    for (const char32_t c : text) {
        if (c < 32 || c == 127) continue;
        if (const char32_t changed = filter(c); changed != 0) kept.push_back(changed);
    }
    return kept;
}

}  // namespace tapwedge
