#include "core/hex_text.h"

#include <cstring>

namespace tapwedge {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int ParseHexText(const char* text, std::uint8_t* out, int n) {
    if (n <= 0) return 0;
    const std::size_t limit = 2 * static_cast<std::size_t>(n);
    const std::size_t count = text == nullptr ? 0 : ::strnlen(text, limit);
    int written = 0;
    for (std::size_t i = 0; i < count; i += 2) {
        const int high = HexDigitValue(text[i]);
        if (high < 0) return -1;
        // For an odd count text[i + 1] is the terminating NUL, which counts as "0".
        const int low = HexDigitValue(text[i + 1]);
        out[written++] = static_cast<std::uint8_t>(high * 16 + (low < 0 ? 0 : low));
    }
    while (written < n) out[written++] = 0;
    return 0;
}

void FormatHexText(const std::uint8_t* bytes, int count, char* text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        *text++ = kDigits[bytes[i] >> 4];
        *text++ = kDigits[bytes[i] & 0x0F];
    }
    *text = '\0';
}

std::string HexText(const std::uint8_t* bytes, int count) {
    if (count <= 0) return {};
    std::string text(2 * static_cast<std::size_t>(count) + 1, '\0');
    FormatHexText(bytes, count, text.data());
    text.pop_back();
    return text;
}

std::optional<std::int32_t> ParseHexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace tapwedge
