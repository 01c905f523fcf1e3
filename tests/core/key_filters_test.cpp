// Keystroke filters of the dialogs' number fields.
#include "core/key_filters.h"

#include <gtest/gtest.h>

namespace tapwedge {
namespace {

TEST(KeyFilters, HexAndDecimalDigits) {
    const struct {
        char32_t typed, hex, decimal;
    } cases[] = {
        {U'0', U'0', U'0'}, {U'9', U'9', U'9'}, {U'A', U'A', 0},   {U'F', U'F', 0},
        {U'a', U'A', 0},    {U'f', U'F', 0},    {U'g', 0, 0},      {U'G', 0, 0},
        {U'-', 0, 0},       {U' ', 0, 0},       {U'~', 0, 0},      {0x7F, 0, 0},
        {U'\b', U'\b', U'\b'}, {U'\r', U'\r', U'\r'}, {0x16, 0x16, 0x16},  // control keys pass
        {0x80, 0x80, 0x80}, {0xFF, 0xFF, 0xFF},                         // bytes 128..255 pass
        {U'ｱ', U'ｱ', U'ｱ'}, {U'あ', U'あ', U'あ'},                     // so does all non-ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterHexDigitKey(c.typed), c.hex) << std::hex << unsigned(c.typed);
        EXPECT_EQ(FilterDecimalDigitKey(c.typed), c.decimal) << std::hex << unsigned(c.typed);
    }
}

}  // namespace
}  // namespace tapwedge
