#include "core/card_param_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tapwedge {
namespace {

TEST(CardEntry, ClassifiesByKindAnd80C0) {
    const struct {
        std::uint8_t high, low;
        CardKind kind;
    } cases[] = {
        {0x00, 0x00, CardKind::None},     {0x92, 0x01, CardKind::Felica},
        {0x90, 0x21, CardKind::Felica},   {0xC0, 0x00, CardKind::Felica},  // bit 6 ignored
        {0x82, 0x7F, CardKind::Mifare},   {0x80, 0xC1, CardKind::Iso15693},
        {0x80, 0x80, CardKind::None},     {0x10, 0x40, CardKind::None},    // not in use
    };
    for (const auto& c : cases) {
        CardEntry e{};
        e.KindBytes[0] = c.high;
        e.KindBytes[1] = c.low;
        EXPECT_EQ(e.Classify(), c.kind) << std::hex << int(c.high) << " " << int(c.low);
    }
}

TEST(CardEntry, FieldsKeepTheirByteOrder) {
    CardEntry e{};
    e.SetKind(0x9201);
    e.SetSystemCode(0xFE00);
    e.SetServiceCode(0x100B);
    e.SetSecondServiceCode(0x2345);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&e);
    const std::uint8_t expected[34] = {0x92, 0x01, 0xFE, 0x00, 0, 0, 0x0B, 0x10, 0, 0, 0, 0,
                                       0,    0,    0,    0,    0, 0, 0,    0,    0, 0, 0, 0,
                                       0,    0,    0,    0x45, 0x23};
    EXPECT_EQ(std::memcmp(raw, expected, sizeof expected), 0);
    EXPECT_EQ(e.Kind(), 0x9201);
    EXPECT_EQ(e.OutputCode(), 2);
    EXPECT_TRUE(e.ReadsData());
    EXPECT_EQ(e.SystemCode(), 0xFE00);
    EXPECT_EQ(e.ServiceCode(), 0x100B);
    EXPECT_EQ(e.SecondServiceCode(), 0x2345);
}

TEST(CardEntry, KindBitsAndReaderViewOfAreas) {
    CardEntry e{};
    e.KindBytes[1] = 0x40 | 0x10 | (2 << 1) | 0x08;  // Mifare, key B, 7-byte UID, SLE55R
    EXPECT_EQ(e.MifareAuthKey(), 1);
    EXPECT_EQ(e.MifareUidSize(), 2);
    EXPECT_TRUE(e.MifareSle55r());
    EXPECT_FALSE(e.ReadsData());
    e.KindSpecific[0] = 0x07;  // ISO15693: AFI, -, BlockConfig
    e.KindSpecific[2] = 0x81;
    EXPECT_EQ(e.Afi(), 0x07);
    EXPECT_EQ(e.BlockConfig(), 0x81);
    e.Areas[0] = {3, 0x1F, 65, {0, 0}};
    e.Areas[1] = {4, 0x02, 100, {0, 0}};
    EXPECT_EQ(e.Areas[0].ReaderStart(), 15);
    EXPECT_EQ(e.Areas[0].ReaderLength(), 0);
    EXPECT_EQ(e.Areas[1].ReaderLength(), 35);
}

TEST(CardParamImage, LayoutOfEntriesWidthsAndReaderKeys) {
    CardParamImage image{};
    image.Entries[2].SetKind(0x80C0);
    image.Width1 = 12;
    image.Width2 = 34;
    TwAuthKeys keys{};
    for (int i = 0; i < 8; ++i) {
        keys.Id[i] = static_cast<std::uint8_t>(i);
        keys.Kcr[i] = static_cast<std::uint8_t>(0xC0 + i);
    }
    image.SetReaderKeys(keys);
    const std::uint8_t* raw = image.Data();
    EXPECT_EQ(raw[EntryOffset(2)], 0x80);
    EXPECT_EQ(raw[EntryOffset(2) + 1], 0xC0);
    EXPECT_EQ(EntryOffset(2), 69u);
    EXPECT_EQ(raw[173], 12);
    EXPECT_EQ(raw[174], 34);
    EXPECT_EQ(raw[175], 1);
    EXPECT_EQ(raw[176], 0);
    EXPECT_EQ(raw[183], 7);
    EXPECT_EQ(raw[200], 0xC0);
    EXPECT_EQ(raw[207], 0xC7);
    EXPECT_TRUE(image.HasReaderKeys());
    image.ReaderKeysPresent = 2;  // any nonzero value counts
    EXPECT_TRUE(image.HasReaderKeys());

    const CardParamImage zero{};
    for (const auto& entry : zero.Entries) EXPECT_EQ(entry.Classify(), CardKind::None);
    EXPECT_FALSE(zero.HasReaderKeys());
}

}  // namespace
}  // namespace tapwedge
