// Decoding of the 244-byte card-parameter image into the engine's entries.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>

#include "core/card_read_engine.h"

namespace tapwedge {
namespace {

struct Image {
    std::array<std::uint8_t, CardReadEngine::kImageSize> Bytes{};

    // Writes bytes into entry i from its byte `offset` on.
    void Put(int entry, int offset, std::initializer_list<std::uint8_t> bytes) {
        int at = 1 + 34 * entry + offset;
        for (auto b : bytes) Bytes[at++] = b;
    }
};

TEST(CardParamDecoder, NewEngineHasUnsetKeyIdsAndItsHelper) {
    CardReadEngine engine;
    for (const auto& entry : engine.Entries) EXPECT_EQ(entry.KeyId, 0xF0F0F0);
    EXPECT_EQ(engine.MatchedEntry, 0);
    EXPECT_NE(engine.Iso15693, nullptr);
}

TEST(CardParamDecoder, FelicaEntryByteOrdersAndAreas) {
    Image image;
    image.Bytes[0] = 0x80;  // the temporary-change flag is no business of the reader
    image.Put(0, 0, {0x91, 0x01, 0x12, 0x34, 0xAA, 0xBB, 0x0B, 0x10});
    image.Put(0, 24, {0x03, 0x12, 100, 0x09, 0x10, 0x07, 0x1F, 65, 0xEE, 0xEE});
    image.Bytes[173] = 12;
    image.Bytes[174] = 255;

    CardReadEngine engine;
    EXPECT_EQ(engine.DecodeCardParams(image.Bytes.data(), 1, 0x123456), 0);
    const DecodedEntry& e = engine.Entries[0];
    EXPECT_EQ(e.Kind, 0x9101);
    EXPECT_EQ(FamilyOf(e.Kind), CardFamily::Felica);
    EXPECT_EQ(OutputCodeOf(e.Kind), 1);
    EXPECT_EQ(e.SystemCode, 0x1234);         // big-endian
    EXPECT_EQ(e.ServiceCode, 0x100B);        // little-endian
    EXPECT_EQ(e.SecondServiceCode, 0x1009);  // little-endian
    EXPECT_EQ(e.Afi, 0);
    EXPECT_EQ(e.BlockConfig, 0);
    EXPECT_EQ(e.Block[0], 3);
    EXPECT_EQ(e.Start[0], 2);    // 0x12: low four bits
    EXPECT_EQ(e.Length[0], 35);  // 100 modulo 65
    EXPECT_EQ(e.Block[1], 7);
    EXPECT_EQ(e.Start[1], 15);  // 0x1F
    EXPECT_EQ(e.Length[1], 0);  // 65: no second area
    for (const auto& entry : engine.Entries) EXPECT_EQ(entry.KeyId, 0x123456);
    EXPECT_EQ(engine.UidNormalOrder, 1);
    EXPECT_EQ(engine.Width1, 12);
    EXPECT_EQ(engine.Width2, 255);  // unsigned
}

TEST(CardParamDecoder, LengthsAreTakenModulo65) {
    const std::pair<std::uint8_t, std::uint8_t> cases[] = {
        {0, 0}, {64, 64}, {65, 0}, {100, 35}, {129, 64}, {130, 0}, {255, 60}};
    for (const auto& [stored, decoded] : cases) {
        Image image;
        image.Put(2, 0, {0x80, 0x41});
        image.Put(2, 26, {stored});
        image.Put(2, 31, {stored});
        CardReadEngine engine;
        engine.DecodeCardParams(image.Bytes.data(), 0, 0);
        EXPECT_EQ(engine.Entries[2].Length[0], decoded) << int(stored);
        EXPECT_EQ(engine.Entries[2].Length[1], decoded) << int(stored);
    }
}

TEST(CardParamDecoder, Iso15693EntryTakesAfiAndBlockConfig) {
    Image image;
    image.Put(1, 0, {0x80, 0xC1, 0x12, 0x34, 0x41, 0x56, 0x78, 0x9A});
    image.Put(1, 24, {0x05, 0x02, 0x08, 0x01, 0x02, 0x09, 0x00, 0x04});
    CardReadEngine engine;
    engine.DecodeCardParams(image.Bytes.data(), 0, 7);
    const DecodedEntry& e = engine.Entries[1];
    EXPECT_EQ(FamilyOf(e.Kind), CardFamily::Iso15693);
    EXPECT_EQ(e.Afi, 0x12);
    EXPECT_EQ(e.BlockConfig, 0x41);
    EXPECT_EQ(e.SystemCode, 0);  // bytes 2 and 3 are not a system code here
    EXPECT_EQ(e.ServiceCode, 0);
    EXPECT_EQ(e.SecondServiceCode, 0x0201);  // decoded for every kind
    EXPECT_EQ(e.Block[0], 5);
    EXPECT_EQ(e.Start[0], 2);
    EXPECT_EQ(e.Length[0], 8);
    EXPECT_EQ(e.Block[1], 9);
    EXPECT_EQ(e.Length[1], 4);
}

TEST(CardParamDecoder, RedecodingLeavesNothingOfTheEarlierKind) {
    Image iso;
    iso.Put(0, 0, {0x80, 0xC0, 0x12, 0x00, 0x40});
    Image felica;
    felica.Put(0, 0, {0x90, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x0B, 0x10});
    CardReadEngine engine;
    engine.DecodeCardParams(iso.Bytes.data(), 0, 0);
    engine.DecodeCardParams(felica.Bytes.data(), 0, 0);
    EXPECT_EQ(engine.Entries[0].Afi, 0);
    EXPECT_EQ(engine.Entries[0].BlockConfig, 0);
    EXPECT_EQ(engine.Entries[0].SystemCode, 0xFE00);
    engine.DecodeCardParams(iso.Bytes.data(), 0, 0);
    EXPECT_EQ(engine.Entries[0].SystemCode, 0);
    EXPECT_EQ(engine.Entries[0].ServiceCode, 0);
}

TEST(CardParamDecoder, FamilyNeedsTheInUseBitAndAKindOfItsOwn) {
    const std::pair<std::uint16_t, CardFamily> cases[] = {
        {0x8000, CardFamily::Felica},  {0x9121, CardFamily::Felica},
        {0xC001, CardFamily::Felica},  // bit 14 is not looked at
        {0x8040, CardFamily::Mifare},  {0x937F, CardFamily::Mifare},
        {0x80C0, CardFamily::Iso15693}, {0x8080, CardFamily::None},
        {0x0000, CardFamily::None},    {0x0040, CardFamily::None},
        {0x00C1, CardFamily::None},
    };
    for (const auto& [kind, family] : cases) EXPECT_EQ(FamilyOf(kind), family) << std::hex << kind;
}

TEST(CardParamDecoder, KindBits8080DecodeAsNoFamilyWithASystemCode) {
    Image image;
    image.Put(0, 0, {0x80, 0x80, 0x12, 0x34});
    CardReadEngine engine;
    engine.DecodeCardParams(image.Bytes.data(), 0, 0);
    EXPECT_EQ(engine.Entries[0].Kind, 0x8080);
    EXPECT_EQ(FamilyOf(engine.Entries[0].Kind), CardFamily::None);
    EXPECT_EQ(engine.Entries[0].SystemCode, 0x1234);
    EXPECT_EQ(engine.Entries[0].Afi, 0);
}

TEST(CardParamDecoder, ZeroImageHasNoEntryInUse) {
    Image image;
    CardReadEngine engine;
    engine.DecodeCardParams(image.Bytes.data(), 0, 0);
    for (const auto& entry : engine.Entries) EXPECT_EQ(FamilyOf(entry.Kind), CardFamily::None);
    EXPECT_EQ(engine.Width1, 0);
    EXPECT_EQ(engine.Width2, 0);
}

}  // namespace
}  // namespace tapwedge
