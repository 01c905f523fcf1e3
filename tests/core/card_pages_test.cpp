// The card pages of the card-parameter dialog as plain state: page inputs into entry bytes,
// entry bytes onto the pages, and which page and kind item an entry gets.
#include "core/card_pages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace tapwedge {
namespace {

using Bytes = std::initializer_list<std::pair<int, std::uint8_t>>;

// An entry with the given bytes set and every other byte 0.
CardEntry EntryOf(Bytes bytes) {
    CardEntry entry{};
    auto* raw = reinterpret_cast<std::uint8_t*>(&entry);
    for (const auto& [offset, value] : bytes) raw[offset] = value;
    return entry;
}

std::string Dump(const CardEntry& entry) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&entry);
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < sizeof entry; ++i) {
        std::snprintf(cell, sizeof cell, "%02X ", raw[i]);
        text += cell;
    }
    return text;
}

void ExpectEntry(const CardEntry& actual, const CardEntry& expected) {
    EXPECT_EQ(Dump(actual), Dump(expected));
}

FelicaPageState FelicaBlockPage() {
    FelicaPageState page;
    page.BlockArea = true;
    page.CodeIndex = 0;
    page.ServiceCode1 = "090F";
    page.ServiceCode2 = "0000";
    page.Areas[0] = {"0", "0", "16"};
    page.Areas[1] = {"0", "0", "0"};
    return page;
}

struct FelicaCase {
    const char* name;
    FelicaPageState page;
    int result;
    const char* message;
    Bytes bytes;
};

TEST(CardPageStore, FelicaStandardBytesAndChecks) {
    auto with = [](auto change) {
        FelicaPageState page = FelicaBlockPage();
        change(page);
        return page;
    };
    const FelicaCase cases[] = {
        {"IDm with the hexadecimal code", FelicaPageState{}, 0, "",
         {{0, 0x92}, {1, 0x00}, {2, 0xFF}, {3, 0xFF}}},
        {"block area", FelicaBlockPage(), 0, "",
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 0x10}}},
        {"second service code 1000 has no attribute bits",
         with([](auto& p) { p.ServiceCode2 = "1000"; }), 0, "",
         {{0, 0x98}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 0x10},
          {28, 0x10}}},
        {"second service code 100B", with([](auto& p) { p.ServiceCode2 = "100B"; }), 0, "",
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 0x10},
          {27, 0x0B}, {28, 0x10}}},
        {"system code typed in order, short service code padded",
         with([](auto& p) { p.SystemCode = "12"; p.ServiceCode1 = "ABC"; }), 0, "",
         {{0, 0x90}, {1, 0x01}, {2, 0x12}, {6, 0xC0}, {7, 0xAB}, {26, 0x10}}},
        {"decimal code, length 42 (width 126)",
         with([](auto& p) { p.CodeIndex = 3; p.Areas[0].Length = "42"; }), 0, "",
         {{0, 0x93}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 42}}},
        {"decimal code, length 43 (width 129)",
         with([](auto& p) { p.CodeIndex = 3; p.Areas[0].Length = "43"; }), -1, kLengthError,
         {{0, 0x93}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 43}}},
        {"hexadecimal code, length 64",
         with([](auto& p) { p.CodeIndex = 2; p.Areas[1].Length = "64"; }), 0, "",
         {{0, 0x92}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 16},
          {31, 64}}},
        {"hexadecimal code, length 65",
         with([](auto& p) { p.CodeIndex = 2; p.Areas[0].Length = "65"; }), -1, kLengthError,
         {{0, 0x92}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 65}}},
        {"raw code, length 65 is beyond the reader",
         with([](auto& p) { p.Areas[0].Length = "65"; }), -1, kLengthError,
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 65}}},
        {"start 16", with([](auto& p) { p.Areas[0].Start = "16"; }), -1, kStartError,
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}}},
        {"empty block of area 2 keeps area 1",
         with([](auto& p) { p.Areas[0] = {"7", "15", "1"}; p.Areas[1].Block = ""; }), -1,
         kBlockNumberError,
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {24, 7}, {25, 15},
          {26, 1}}},
        {"empty start and length count as 0",
         with([](auto& p) { p.Areas[0] = {"99", "", ""}; }), 0, "",
         {{0, 0x90}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {24, 99}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardEntry entry{};
        std::string message;
        EXPECT_EQ(StoreFelicaPage(c.page, entry, message), c.result);
        EXPECT_EQ(message, c.message);
        ExpectEntry(entry, EntryOf(c.bytes));
    }
}

TEST(CardPageStore, SsfcAreasAndIdentifierOnly) {
    FelicaPageState page;
    page.BlockArea = true;
    page.Ssfc = true;
    page.CodeIndex = 0;
    page.SsfcAreaItem[0] = 0;
    page.SsfcAreaItem[1] = 2;
    page.SsfcReissue = true;

    CardEntry entry{};
    std::string message;
    EXPECT_EQ(StoreSsfcPage(page, entry, message), 0);
    ExpectEntry(entry, EntryOf({{0, 0x90}, {1, 0x21}, {2, 0xFF}, {3, 0xFF}, {6, 0x0B}, {7, 0xFC},
                                {24, 1}, {25, 0}, {26, 15}}));

    page.SsfcReissue = false;
    page.SsfcAreaItem[0] = 1;
    page.SsfcAreaItem[1] = 0;
    entry = {};
    EXPECT_EQ(StoreSsfcPage(page, entry, message), 0);
    ExpectEntry(entry, EntryOf({{0, 0x90}, {1, 0x21}, {2, 0xFF}, {3, 0xFF}, {6, 0x0B}, {7, 0xFC},
                                {24, 2}, {26, 10}, {29, 1}, {31, 14}}));

    // "SSFC" with "IDm": the page looks like the IDm page and stores an identifier-only entry.
    page.BlockArea = false;
    page.CodeIndex = 2;
    page.SystemCode = "88B4";
    entry = {};
    EXPECT_EQ(StoreSsfcPage(page, entry, message), 0);
    ExpectEntry(entry, EntryOf({{0, 0x92}, {1, 0x00}, {2, 0x88}, {3, 0xB4}}));
    EXPECT_EQ(message, "");
}

TypeAPageState MifareBlockPage() {
    TypeAPageState page;
    page.BlockArea = true;
    page.CodeIndex = 2;
    page.Areas[0] = {"04", "0", "16"};
    page.Areas[1] = {"05", "0", "0"};
    return page;
}

struct TypeACase {
    const char* name;
    TypeAPageState page;
    int result;
    const char* message;
    Bytes bytes;
};

TEST(CardPageStore, TypeABytesAndChecks) {
    auto with = [](auto change) {
        TypeAPageState page = MifareBlockPage();
        change(page);
        return page;
    };
    TypeAPageState keyB;
    keyB.Auth = MifareAuth::KeyB;
    keyB.AuthBlock = "3C";
    keyB.Key = "A1B2C3D4E5F6";
    TypeAPageState neither;
    neither.Uid4 = false;
    neither.Uid7 = false;
    TypeAPageState only7;
    only7.Uid4 = false;
    const TypeACase cases[] = {
        {"key B, UID only, both UID boxes", keyB, 0, "",
         {{0, 0x82}, {1, 0x50}, {8, 0xA1}, {9, 0xB2}, {10, 0xC3}, {11, 0xD4}, {12, 0xE5},
          {13, 0xF6}, {24, 0x3C}}},
        {"no authentication, neither UID box", neither, 0, "", {{0, 0x82}, {1, 0x66}}},
        {"7-byte UIDs only", only7, 0, "", {{0, 0x82}, {1, 0x64}}},
        {"block area, area 2 length 0 stores area 1 only", MifareBlockPage(), 0, "",
         {{0, 0x82}, {1, 0x61}, {24, 0x04}, {26, 16}}},
        {"area 2 stored when its length is above 0",
         with([](auto& p) { p.Areas[0].Length = "4"; p.Areas[1] = {"1F", "12", "4"}; }), 0, "",
         {{0, 0x92}, {1, 0x61}, {24, 0x04}, {26, 4}, {29, 0x1F}, {30, 12}, {31, 4}}},
        {"start 10, length 6", with([](auto& p) { p.Areas[0] = {"04", "10", "6"}; }), 0, "",
         {{0, 0x82}, {1, 0x61}, {24, 0x04}, {25, 10}, {26, 6}}},
        {"start 10, length 7", with([](auto& p) { p.Areas[0] = {"04", "10", "7"}; }), -1,
         kTypeALengthError, {{0, 0x82}, {1, 0x61}, {24, 0x04}, {25, 10}, {26, 7}}},
        {"empty block", with([](auto& p) { p.Areas[0].Block = ""; }), -1, kTypeABlockError,
         {{0, 0x82}, {1, 0x61}}},
        {"start 16", with([](auto& p) { p.Areas[0].Start = "16"; }), -1, kStartError,
         {{0, 0x82}, {1, 0x61}, {24, 0x04}}},
        {"key A keeps the key and the authentication block before the areas",
         with([](auto& p) {
             p.Auth = MifareAuth::KeyA;
             p.AuthBlock = "08";
             p.Key = "FFFFFFFFFFFF";
             p.Areas[0].Block = "08";
         }),
         0, "",
         {{0, 0x82}, {1, 0x41}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}, {12, 0xFF},
          {13, 0xFF}, {24, 0x08}, {26, 16}}},
        {"SLE55R: no key, no authentication block",
         with([](auto& p) {
             p.Sle55r = true;
             p.Auth = MifareAuth::KeyB;
             p.Uid4 = false;
             p.Areas[0] = {"10", "0", "8"};
         }),
         0, "", {{0, 0x82}, {1, 0x6D}, {24, 0x10}, {26, 8}}},
        // An SLE55R page holds 8 bytes, as its labels 0～7 and 1～8 say.
        {"SLE55R start 2, length 6",
         with([](auto& p) { p.Sle55r = true; p.Areas[0] = {"10", "2", "6"}; }), 0, "",
         {{0, 0x82}, {1, 0x69}, {24, 0x10}, {25, 2}, {26, 6}}},
        {"SLE55R start 2, length 7",
         with([](auto& p) { p.Sle55r = true; p.Areas[0] = {"10", "2", "7"}; }), -1,
         kTypeALengthError, {{0, 0x82}, {1, 0x69}, {24, 0x10}, {25, 2}, {26, 7}}},
        {"SLE55R start 8",
         with([](auto& p) { p.Sle55r = true; p.Areas[0] = {"10", "8", "0"}; }), -1, kStartError,
         {{0, 0x82}, {1, 0x69}, {24, 0x10}}},
        {"SLE55R area 2 beyond its page",
         with([](auto& p) {
             p.Sle55r = true;
             p.Areas[0] = {"10", "0", "8"};
             p.Areas[1] = {"10", "4", "5"};
         }),
         -1, kTypeALengthError,
         {{0, 0x92}, {1, 0x69}, {24, 0x10}, {26, 8}, {29, 0x10}, {30, 4}, {31, 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardEntry entry{};
        std::string message;
        EXPECT_EQ(StoreTypeAPage(c.page, entry, message), c.result);
        EXPECT_EQ(message, c.message);
        ExpectEntry(entry, EntryOf(c.bytes));
    }
}

Iso15693PageState IsoBlockPage() {
    Iso15693PageState page;
    page.BlockArea = true;
    page.Areas[0] = {"0", "0", "16"};
    page.Areas[1] = {"0", "0", "0"};
    return page;
}

struct IsoCase {
    const char* name;
    Iso15693PageState page;
    int result;
    const char* message;
    Bytes bytes;
};

TEST(CardPageStore, Iso15693BytesAndChecks) {
    auto with = [](auto change) {
        Iso15693PageState page = IsoBlockPage();
        change(page);
        return page;
    };
    const IsoCase cases[] = {
        {"UID with AFI", with([](auto& p) { p.BlockArea = false; p.Afi = "A5"; p.Areas[1].Block = "1"; }),
         0, "", {{0, 0x82}, {1, 0xC0}, {2, 0xA5}}},
        {"both blocks 0: two areas", IsoBlockPage(), 0, "",
         {{0, 0x92}, {1, 0xC1}, {26, 16}}},
        {"blocks 0 and 1: one area", with([](auto& p) { p.Areas[1].Block = "1"; }), 0, "",
         {{0, 0x82}, {1, 0xC1}, {26, 16}}},
        {"single reads, option flag, 8-byte blocks",
         with([](auto& p) {
             p.ReadSingle = true;
             p.OptionFlag = true;
             p.BlockSizeIndex = 1;
             p.Areas[1] = {"3", "7", "4"};
         }),
         0, "", {{0, 0x92}, {1, 0xC1}, {4, 0xC1}, {26, 16}, {29, 3}, {30, 7}, {31, 4}}},
        {"hexadecimal code, length 32", with([](auto& p) { p.Areas[0].Length = "32"; }), 0, "",
         {{0, 0x92}, {1, 0xC1}, {26, 32}}},
        {"hexadecimal code, length 33", with([](auto& p) { p.Areas[0].Length = "33"; }), -1,
         kLengthError, {{0, 0x92}, {1, 0xC1}, {26, 33}}},
        {"no block size", with([](auto& p) { p.BlockSizeIndex = kNoItem; }), -1, kBlockSizeError,
         {{0, 0x92}, {1, 0xC1}}},
        {"no block size item: the shown entry's 16-byte blocks are kept",
         with([](auto& p) {
             p.BlockSizeIndex = kNoItem;
             p.KeptBlockSize = 3;
         }),
         0, "", {{0, 0x92}, {1, 0xC1}, {4, 0x03}, {26, 16}}},
        {"no code item: the shown entry's code is kept",
         with([](auto& p) {
             p.CodeIndex = kNoItem;
             p.KeptCode = 4;
             p.Areas[0].Length = "64";  // the factor of no item is 1
         }),
         0, "", {{0, 0x94}, {1, 0xC1}, {26, 64}}},
        {"start has no upper bound", with([](auto& p) { p.Areas[0].Start = "9"; }), 0, "",
         {{0, 0x92}, {1, 0xC1}, {25, 9}, {26, 16}}},
        // The AFI box stores what it shows, or refuses: nothing falls back to 00 silently.
        {"AFI empty", with([](auto& p) { p.BlockArea = false; p.Afi = ""; p.Areas[1].Block = "1"; }),
         0, "", {{0, 0x82}, {1, 0xC0}}},
        {"AFI of one digit", with([](auto& p) { p.BlockArea = false; p.Afi = "7"; p.Areas[1].Block = "1"; }),
         0, "", {{0, 0x82}, {1, 0xC0}, {2, 0x07}}},
        {"AFI in small letters", with([](auto& p) { p.BlockArea = false; p.Afi = "ff"; p.Areas[1].Block = "1"; }),
         0, "", {{0, 0x82}, {1, 0xC0}, {2, 0xFF}}},
        {"AFI zz", with([](auto& p) { p.Afi = "zz"; }), -1, kAfiError, {{0, 0x92}, {1, 0xC1}}},
        {"AFI 1z", with([](auto& p) { p.BlockArea = false; p.Afi = "1z"; }), -1, kAfiError,
         {{0, 0x92}, {1, 0xC0}}},
        {"AFI beyond ASCII", with([](auto& p) { p.Afi = "\xEF\xBC\xA6\xEF\xBC\xA6"; }), -1, kAfiError,
         {{0, 0x92}, {1, 0xC1}}},
        {"AFI of three digits", with([](auto& p) { p.Afi = "100"; }), -1, kAfiError,
         {{0, 0x92}, {1, 0xC1}}},
        {"AFI with a sign", with([](auto& p) { p.Afi = "-1"; }), -1, kAfiError,
         {{0, 0x92}, {1, 0xC1}}},
        {"empty block fields are equal: two areas, then the block error",
         with([](auto& p) { p.Areas[0].Block = ""; p.Areas[1].Block = ""; }), -1,
         kBlockNumberError, {{0, 0x92}, {1, 0xC1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardEntry entry{};
        std::string message;
        EXPECT_EQ(StoreIso15693Page(c.page, entry, message), c.result);
        EXPECT_EQ(message, c.message);
        ExpectEntry(entry, EntryOf(c.bytes));
    }
}

TEST(CardPageStore, ParameterStoreClearsAndDispatchesByKindItem) {
    CardPages pages;
    pages.Felica = FelicaBlockPage();
    pages.TypeA = MifareBlockPage();
    pages.Iso15693 = IsoBlockPage();
    const struct {
        int parameter, item;
        bool iso;
        std::uint8_t low;  // expected entry byte 1; 0 with byte 0 also 0 = cleared
    } cases[] = {
        {0, 0, false, 0x01}, {1, 1, false, 0x61}, {0, 2, true, 0xC1},
        {0, 2, false, 0x00}, {1, 2, true, 0x00},  {0, kNoItem, true, 0x00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.parameter << " item " << c.item << " iso " << c.iso);
        CardEntry entry = EntryOf({{0, 0xFF}, {1, 0xFF}, {33, 0xFF}});
        std::string message;
        EXPECT_EQ(StoreCardParameter(pages, c.parameter, c.item, c.iso, entry, message), 0);
        EXPECT_EQ(entry.KindLow(), c.low);
        EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&entry)[33], 0);
        if (c.low == 0) ExpectEntry(entry, CardEntry{});
    }
    pages.Felica.Ssfc = true;
    CardEntry entry{};
    std::string message;
    EXPECT_EQ(StoreCardParameter(pages, 1, 0, false, entry, message), 0);
    EXPECT_EQ(entry.KindLow(), 0x21);
}

TEST(CardPageShow, FelicaStandardAndSsfc) {
    FelicaPageState page;
    ShowFelicaEntry(EntryOf({{0, 0x93}, {1, 0x01}, {2, 0x12}, {3, 0x34}, {6, 0x0F}, {7, 0x09},
                             {24, 3}, {25, 15}, {26, 42}, {27, 0x0B}, {28, 0x10}, {29, 200},
                             {30, 1}, {31, 2}}),
                    page);
    EXPECT_TRUE(page.BlockArea);
    EXPECT_FALSE(page.Ssfc);
    EXPECT_EQ(page.CodeIndex, 3);
    EXPECT_EQ(page.SystemCode, "1234");
    EXPECT_EQ(page.ServiceCode1, "090F");
    EXPECT_EQ(page.ServiceCode2, "100B");
    EXPECT_EQ(page.Areas[0].Block, "3");
    EXPECT_EQ(page.Areas[0].Start, "15");
    EXPECT_EQ(page.Areas[0].Length, "42");
    EXPECT_EQ(page.Areas[1].Block, "200");
    EXPECT_EQ(page.Areas[1].Length, "2");

    // The entry's own code also for IDm (a click on "IDm" selects the hexadecimal code); an
    // output code the list lacks selects nothing and is kept.
    ShowFelicaEntry(EntryOf({{0, 0x93}, {1, 0x00}, {2, 0xFF}, {3, 0xFF}}), page);
    EXPECT_FALSE(page.BlockArea);
    EXPECT_EQ(page.CodeIndex, 3);
    ShowFelicaEntry(EntryOf({{0, 0x95}, {1, 0x01}}), page);
    EXPECT_EQ(page.CodeIndex, kNoItem);
    EXPECT_EQ(page.KeptCode, 5);

    // SSFC: the areas choose the list items; service codes and area texts stay.
    ShowFelicaEntry(EntryOf({{0, 0x93}, {1, 0x21}, {2, 0xFF}, {3, 0xFF}, {24, 1}, {26, 15}}),
                    page);
    EXPECT_TRUE(page.BlockArea);
    EXPECT_TRUE(page.Ssfc);
    EXPECT_EQ(page.CodeIndex, 3);
    EXPECT_EQ(page.SsfcAreaItem[0], 0);
    EXPECT_TRUE(page.SsfcReissue);
    EXPECT_EQ(page.SsfcAreaItem[1], 2);
    EXPECT_EQ(page.ServiceCode2, "0000");
    ShowFelicaEntry(EntryOf({{0, 0x90}, {1, 0x21}, {24, 1}, {26, 14}, {29, 2}, {31, 10}}), page);
    EXPECT_EQ(page.SsfcAreaItem[0], 0);
    EXPECT_FALSE(page.SsfcReissue);
    EXPECT_EQ(page.SsfcAreaItem[1], 1);
}

TEST(CardPageShow, TypeAAndIso15693) {
    TypeAPageState typeA;
    ShowTypeAEntry(EntryOf({{0, 0x83}, {1, 0x57}, {8, 0x3C}, {9, 0x5A}, {13, 0x0D}, {24, 0x3C},
                            {25, 1}, {26, 15}, {29, 0x3D}, {30, 2}, {31, 3}}),
                   typeA);
    EXPECT_TRUE(typeA.BlockArea);
    EXPECT_EQ(typeA.CodeIndex, 3);
    EXPECT_FALSE(typeA.Sle55r);
    EXPECT_EQ(typeA.Auth, MifareAuth::KeyB);
    EXPECT_FALSE(typeA.Uid4);
    EXPECT_FALSE(typeA.Uid7);
    EXPECT_EQ(typeA.Key, "3C5A0000000D");
    EXPECT_EQ(typeA.AuthBlock, "3C");
    EXPECT_EQ(typeA.Areas[0].Block, "3C");
    EXPECT_EQ(typeA.Areas[0].Start, "1");
    EXPECT_EQ(typeA.Areas[0].Length, "15");
    EXPECT_EQ(typeA.Areas[1].Block, "3D");
    const struct {
        std::uint8_t low;
        bool uid4, uid7, sle;
        MifareAuth auth;
        int code;
    } kinds[] = {
        {0x40, true, true, false, MifareAuth::KeyA, 3},  // UID keeps the entry's code too
        {0x62, true, false, false, MifareAuth::None, 3},
        {0x6D, false, true, true, MifareAuth::None, 3},
    };
    for (const auto& k : kinds) {
        ShowTypeAEntry(EntryOf({{0, 0x83}, {1, k.low}}), typeA);
        EXPECT_EQ(typeA.Uid4, k.uid4) << int(k.low);
        EXPECT_EQ(typeA.Uid7, k.uid7) << int(k.low);
        EXPECT_EQ(typeA.Sle55r, k.sle) << int(k.low);
        EXPECT_EQ(typeA.Auth, k.auth) << int(k.low);
        EXPECT_EQ(typeA.CodeIndex, k.code) << int(k.low);
    }

    Iso15693PageState iso;
    ShowIso15693Entry(EntryOf({{0, 0x93}, {1, 0xC1}, {2, 0x0A}, {4, 0xC1}, {24, 5}, {26, 8}}),
                      iso);
    EXPECT_TRUE(iso.BlockArea);
    EXPECT_EQ(iso.CodeIndex, 3);
    EXPECT_EQ(iso.Afi, "0A");
    EXPECT_TRUE(iso.ReadSingle);
    EXPECT_TRUE(iso.OptionFlag);
    EXPECT_EQ(iso.BlockSizeIndex, 1);
    EXPECT_EQ(iso.Areas[0].Block, "5");
    ShowIso15693Entry(EntryOf({{0, 0x80}, {1, 0xC0}, {4, 0x02}}), iso);
    EXPECT_FALSE(iso.BlockArea);
    EXPECT_FALSE(iso.ReadSingle);
    EXPECT_EQ(iso.BlockSizeIndex, kNoItem);  // 12-byte blocks are not offered
    EXPECT_EQ(iso.KeptBlockSize, 2);
}

// Pages the dialog writes come back unchanged through show and store.
TEST(CardPageShow, StoredPagesShowAndStoreAgainTheSameBytes) {
    CardPages pages;
    pages.Felica = FelicaBlockPage();
    pages.Felica.ServiceCode2 = "1000";
    pages.TypeA = MifareBlockPage();
    pages.TypeA.Auth = MifareAuth::KeyB;
    pages.TypeA.AuthBlock = "04";
    pages.TypeA.Areas[1].Length = "3";
    pages.Iso15693 = IsoBlockPage();
    pages.Iso15693.ReadSingle = true;
    const struct {
        int parameter, item;
        bool ssfc;
    } cases[] = {{0, 0, false}, {1, 0, true}, {1, 1, false}, {0, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        pages.Felica.Ssfc = c.ssfc;
        CardEntry first{};
        std::string message;
        ASSERT_EQ(StoreCardParameter(pages, c.parameter, c.item, true, first, message), 0);
        CardPages shown;
        const CardPage page = ShowCardEntry(c.parameter, first, true, shown);
        EXPECT_EQ(KindItemOfPage(page, c.parameter), c.item);
        CardEntry second{};
        ASSERT_EQ(StoreCardParameter(shown, c.parameter, c.item, true, second, message), 0);
        ExpectEntry(second, first);
    }
}

TEST(CardPageKinds, PagesItemsAndKeptEntries) {
    const struct {
        std::uint8_t high, low;
        int parameter;
        bool iso;
        CardPage page;
        int item;  // of the parameter's kind list; parameter 0 has no item for "none"
        bool kept;
    } cases[] = {
        {0x92, 0x01, 1, false, CardPage::Felica, 0, false},
        {0x80, 0x61, 0, false, CardPage::TypeA, 1, false},
        {0x80, 0xC1, 0, true, CardPage::Iso15693, 2, false},
        {0x80, 0xC1, 0, false, CardPage::None, kNoItem, true},  // the reader does not offer it
        {0x80, 0xC1, 1, true, CardPage::None, 2, true},         // never in parameter 2
        {0xC2, 0x01, 0, true, CardPage::None, kNoItem, true},   // the reader ignores bit 6
        {0x80, 0x80, 0, true, CardPage::None, kNoItem, false},  // no kind: the reader skips it
        {0x00, 0x00, 1, true, CardPage::None, 2, false},
        {0x00, 0x00, 0, true, CardPage::None, kNoItem, false},  // not "ISO15693"
        {0x10, 0x40, 0, true, CardPage::None, kNoItem, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.high) << " " << int(c.low));
        const CardEntry entry = EntryOf({{0, c.high}, {1, c.low}});
        const CardPage page = PageOfEntry(entry, c.parameter, c.iso);
        EXPECT_EQ(page, c.page);
        EXPECT_EQ(KindItemOfEntry(entry, c.parameter, c.iso), c.item);
        EXPECT_EQ(KindItemOfPage(page, c.parameter), c.item);
        EXPECT_EQ(DialogKeepsEntry(entry, page), c.kept);
    }
    EXPECT_EQ(PageOfKindItem(2, 0, true), CardPage::Iso15693);
    EXPECT_EQ(PageOfKindItem(2, 0, false), CardPage::None);
    EXPECT_EQ(PageOfKindItem(2, 1, true), CardPage::None);
    EXPECT_EQ(PageOfKindItem(kNoItem, 0, true), CardPage::None);
}

TEST(CardPageFields, FixedWidthsAndServiceCodeAttribute) {
    const struct {
        const char* text;
        int result;
        int width;
    } widths[] = {{"", 0, 0},       {"0", 0, 0},     {"12", 0, 12},   {"99", 0, 99},
                  {" 7", 0, 7},      {"120", 0, 120}, {"255", 0, 255}, {"256", -1, 55},
                  {"-1", -1, 55},    {"1a", -1, 55},  {"x", -1, 55}};
    for (const auto& w : widths) {
        std::uint8_t width = 55;
        std::string message;
        EXPECT_EQ(ParseFixedWidth(w.text, width, message), w.result) << w.text;
        EXPECT_EQ(width, w.width) << w.text;
        EXPECT_EQ(message, w.result == 0 ? "" : kFixedWidthError) << w.text;
    }

    const struct {
        const char *first, *second, *corrected;
    } codes[] = {
        {"1009", "2008", "2009"},  // security off in 1, on in 2: 2 gets 1's attribute
        {"1009", "FFCA", "FFC9"},  // all six attribute bits are copied
        {"100A", "200B", "200A"},
        {"1009", "2009", ""},      // same security
        {"1009", "1000", ""},      // no attribute bits 1 to 3
        {"1009", "0000", ""},
        {"", "2008", ""},          // empty code 1 counts as 0: security on, like 2008
    };
    for (const auto& c : codes) {
        EXPECT_EQ(CorrectedSecondServiceCode(c.first, c.second), c.corrected)
            << c.first << " " << c.second;
    }
}

}  // namespace
}  // namespace tapwedge
