#include "core/key_filters.h"

namespace tapwedge {
namespace {

bool IsControl(char32_t c) { return c < 32; }

bool IsDecimalDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

}  // namespace

char32_t AsciiFormOf(char32_t c) {
    const bool digit = c >= U'０' && c <= U'９';
    const bool upper = c >= U'Ａ' && c <= U'Ｚ';
    const bool lower = c >= U'ａ' && c <= U'ｚ';
    return digit || upper || lower ? c - U'０' + U'0' : c;
}

char32_t FilterHexDigitKey(char32_t c) {
    if (IsControl(c)) return c;
    c = AsciiFormOf(c);
    if (IsDecimalDigit(c) || (c >= U'A' && c <= U'F')) return c;
    if (c >= U'a' && c <= U'f') return c - U'a' + U'A';
    return 0;
}

char32_t FilterDecimalDigitKey(char32_t c) {
    if (IsControl(c)) return c;
    c = AsciiFormOf(c);
    return IsDecimalDigit(c) ? c : 0;
}

char32_t FoldFullWidthKey(char32_t c) { return AsciiFormOf(c); }

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
