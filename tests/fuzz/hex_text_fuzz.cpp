// ParseHexText on any text and byte count against the rule it follows: pairs of characters,
// high nibble first; an invalid first character of a pair stops at once with -1 (what was
// written stays), an invalid second one counts as 0; then zeros up to n bytes. The text sits
// in a buffer of exactly its length (with its 0 byte, unless it is 2n characters or longer,
// which the parser must not read past) and the output in exactly n bytes.
#include <algorithm>
#include <cstring>

#include "core/hex_text.h"
#include "rig/fuzz_check.h"

namespace {

using fuzz_rig::Bytes;
using fuzz_rig::Record;

int Digit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The rule, over the text's characters before its end (its 0 byte or 2n characters).
int Expected(const Bytes& text, Bytes& out) {
    const std::size_t count = std::min(text.size(), 2 * out.size());
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; i += 2) {
        const int high = Digit(text[i]);
        if (high < 0) return -1;
        const int low = i + 1 < count ? Digit(text[i + 1]) : -1;
        out[written++] = static_cast<std::uint8_t>(high * 16 + std::max(low, 0));
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), 0);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int n = in.ConsumeIntegralInRange(-1, 140);
    Bytes text = in.ConsumeRemainingBytes<std::uint8_t>();
    text.erase(std::find(text.begin(), text.end(), 0), text.end());

    Bytes buffer = text;
    const std::size_t wanted = n > 0 ? 2 * static_cast<std::size_t>(n) : 0;
    if (buffer.size() < wanted || n <= 0) buffer.push_back(0);  // longer texts end unread
    Record textRecord(buffer);
    Record out(static_cast<std::size_t>(std::max(n, 0)));  // filled with 0xEE

    const int result = tapwedge::ParseHexText(reinterpret_cast<const char*>(textRecord.data()), out.data(), n);
    FUZZ_CHECK(textRecord.Unchanged(), "the text was written");
    if (n <= 0) {
        FUZZ_CHECK(result == 0, "no bytes asked for, yet not 0");
        return 0;
    }
    Bytes expected(static_cast<std::size_t>(n), 0xEE);  // as the output was: -1 keeps the rest
    const int expectedResult = Expected(text, expected);
    FUZZ_CHECK(result == expectedResult, "result differs from the rule");
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), out.data()), "bytes differ from the rule");
    return 0;
}
