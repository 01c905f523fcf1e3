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
        // Full-width digits and Latin letters are taken as their ASCII forms.
        {U'０', U'0', U'0'}, {U'９', U'9', U'9'}, {U'Ａ', U'A', 0},   {U'Ｆ', U'F', 0},
        {U'ａ', U'A', 0},    {U'ｆ', U'F', 0},    {U'Ｇ', 0, 0},      {U'ｚ', 0, 0},
        // Any other character beyond ASCII is dropped as an ASCII one would be, the full-width
        // signs and blank around the digits and letters included.
        {0x80, 0, 0}, {0xFF, 0, 0}, {U'é', 0, 0}, {U'ｱ', 0, 0}, {U'あ', 0, 0}, {U'／', 0, 0},
        {U'：', 0, 0}, {U'＠', 0, 0}, {U'［', 0, 0}, {U'｀', 0, 0}, {U'｛', 0, 0}, {U'　', 0, 0},
        {U'\U0001F600', 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterHexDigitKey(c.typed), c.hex) << std::hex << unsigned(c.typed);
        EXPECT_EQ(FilterDecimalDigitKey(c.typed), c.decimal) << std::hex << unsigned(c.typed);
    }
}

// Boxes without a key filter of their own take full-width digits and letters as ASCII too, and
// keep every other character for their own check.
TEST(KeyFilters, FullWidthFolding) {
    const struct {
        char32_t typed, kept;
    } cases[] = {
        {U'０', U'0'}, {U'９', U'9'}, {U'Ａ', U'A'}, {U'Ｚ', U'Z'}, {U'ａ', U'a'}, {U'ｚ', U'z'},
        {U'z', U'z'},  {U'あ', U'あ'}, {U'：', U'：'}, {U'\b', U'\b'},
    };
    for (const auto& c : cases) EXPECT_EQ(FoldFullWidthKey(c.typed), c.kept) << unsigned(c.typed);
}

TEST(KeyFilters, PastedAndCommittedTextPassesTheSameFilter) {
    const struct {
        std::u32string text, hex, decimal;
    } cases[] = {
        {U"１２３４", U"1234", U"1234"},
        {U"ｆＦ０９", U"FF09", U"09"},
        {U"12 34\t56\n", U"123456", U"123456"},
        {U"０ｘ１Ｆ，é2ｇ", U"01F2", U"012"},
        {U"あいう", U"", U""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterPastedText(c.text, FilterHexDigitKey), c.hex);
        EXPECT_EQ(FilterPastedText(c.text, FilterDecimalDigitKey), c.decimal);
    }
}

}  // namespace
}  // namespace tapwedge
