// Card entries onto the dialog's page states, and which page an entry belongs on.
#include <string>

#include "core/card_pages.h"
#include "core/hex_text.h"

namespace tapwedge {
namespace {

const std::uint8_t* Bytes(const CardEntry& entry) {
    return reinterpret_cast<const std::uint8_t*>(&entry);
}

// The item of the entry's output code; a code the lists do not offer selects nothing and is
// kept for the store.
void ShowCode(const CardEntry& entry, int& codeIndex, int& keptCode) {
    const int code = entry.OutputCode();
    codeIndex = code < kOutputCodeItems ? code : kNoItem;
    keptCode = code;
}

std::string HexPair(std::uint8_t high, std::uint8_t low) {
    const std::uint8_t bytes[2] = {high, low};
    return HexText(bytes, 2);
}

void ShowAreas(const CardEntry& entry, AreaTexts (&areas)[2]) {
    for (int n = 0; n < 2; ++n) {
        areas[n].Block = std::to_string(entry.Areas[n].Block);
        areas[n].Start = std::to_string(entry.Areas[n].Start);
        areas[n].Length = std::to_string(entry.Areas[n].Length);
    }
}

void ShowStandardFelica(const CardEntry& entry, FelicaPageState& page) {
    const std::uint8_t* e = Bytes(entry);
    ShowCode(entry, page.CodeIndex, page.KeptCode);
    page.BlockArea = entry.ReadsData();
    page.Ssfc = false;
    page.SystemCode = HexText(e + 2, 2);
    // Both service codes are little-endian in the entry and typed most significant digit first.
    page.ServiceCode1 = HexPair(e[7], e[6]);
    page.ServiceCode2 = HexPair(e[28], e[27]);
    ShowAreas(entry, page.Areas);
}

void ShowSsfc(const CardEntry& entry, FelicaPageState& page) {
    ShowCode(entry, page.CodeIndex, page.KeptCode);
    page.BlockArea = true;
    page.Ssfc = true;
    page.SystemCode = HexText(Bytes(entry) + 2, 2);
    const CardArea* areas = entry.Areas;
    if (areas[0].Block == 1) {
        page.SsfcAreaItem[0] = 0;
        page.SsfcReissue = areas[0].Length > 14;
    } else {
        page.SsfcAreaItem[0] = 1;
    }
    if (areas[1].Block == 1) {
        page.SsfcAreaItem[1] = 0;
        page.SsfcReissue = areas[1].Length > 14;
    } else {
        page.SsfcAreaItem[1] = areas[1].Block == 2 ? 1 : 2;
    }
}

}  // namespace

int OutputWidthFactor(int codeIndex) {
    switch (codeIndex) {
    case 2: return 2;
    case 3: return 3;
    default: return 1;
    }
}

CardPage PageOfEntry(const CardEntry& entry, int parameter, bool isoOffered) {
    if ((entry.KindHigh() & 0xC0) != 0x80) return CardPage::None;
    switch (entry.KindLow() >> 6) {
    case 0: return CardPage::Felica;
    case 1: return CardPage::TypeA;
    case 3: return parameter == 0 && isoOffered ? CardPage::Iso15693 : CardPage::None;
    default: return CardPage::None;
    }
}

int KindItemOfPage(CardPage page, int parameter) {
    switch (page) {
    case CardPage::Felica: return 0;
    case CardPage::TypeA: return 1;
    case CardPage::Iso15693: return 2;
    case CardPage::None: break;
    }
    return parameter == 0 ? kNoItem : 2;
}

CardPage PageOfKindItem(int item, int parameter, bool isoOffered) {
    switch (item) {
    case 0: return CardPage::Felica;
    case 1: return CardPage::TypeA;
    case 2: return parameter == 0 && isoOffered ? CardPage::Iso15693 : CardPage::None;
    default: return CardPage::None;
    }
}

int KindItemOfEntry(const CardEntry& entry, int parameter, bool isoOffered) {
    return KindItemOfPage(PageOfEntry(entry, parameter, isoOffered), parameter);
}

bool DialogKeepsEntry(const CardEntry& entry, CardPage shownPage) {
    return shownPage == CardPage::None && entry.Classify() != CardKind::None;
}

int FelicaLayoutCodeIndex(bool blockArea, bool ssfc, int current) {
    if (!blockArea) return 2;
    return ssfc ? 0 : current;
}

int TypeALayoutCodeIndex(bool blockArea, int current) { return blockArea ? current : 2; }

int KeptOutputCode(int codeIndex, int keptCode) {
    return codeIndex == kNoItem ? keptCode : codeIndex;
}

void ShowFelicaEntry(const CardEntry& entry, FelicaPageState& page) {
    if (entry.FelicaSsfc()) {
        ShowSsfc(entry, page);
    } else {
        ShowStandardFelica(entry, page);
    }
}

void ShowTypeAEntry(const CardEntry& entry, TypeAPageState& page) {
    ShowCode(entry, page.CodeIndex, page.KeptCode);
    page.BlockArea = entry.ReadsData();
    page.Sle55r = entry.MifareSle55r();
    switch (entry.MifareAuthKey()) {
    case 0: page.Auth = MifareAuth::KeyA; break;
    case 1: page.Auth = MifareAuth::KeyB; break;
    default: page.Auth = MifareAuth::None; break;
    }
    const int uidSize = entry.MifareUidSize();
    page.Uid4 = uidSize == 0 || uidSize == 1;
    page.Uid7 = uidSize == 0 || uidSize == 2;
    page.Key = HexText(entry.MifareKey, sizeof entry.MifareKey);
    page.AuthBlock = HexText(&entry.Areas[0].Block, 1);
    ShowAreas(entry, page.Areas);
    // Type A blocks are typed in hexadecimal; area 1's block is the authentication block.
    page.Areas[0].Block = page.AuthBlock;
    page.Areas[1].Block = HexText(&entry.Areas[1].Block, 1);
}

void ShowIso15693Entry(const CardEntry& entry, Iso15693PageState& page) {
    ShowCode(entry, page.CodeIndex, page.KeptCode);
    page.BlockArea = entry.ReadsData();
    page.Afi = HexText(Bytes(entry) + 2, 1);
    const std::uint8_t config = entry.BlockConfig();
    page.ReadSingle = (config & 0x80) != 0;
    page.OptionFlag = (config & 0x40) != 0;
    // The list offers 4 and 8 bytes; larger block sizes select nothing and are kept.
    const int sizeIndex = config & 3;
    page.BlockSizeIndex = sizeIndex < 2 ? sizeIndex : kNoItem;
    page.KeptBlockSize = sizeIndex;
    ShowAreas(entry, page.Areas);
}

CardPage ShowCardEntry(int parameter, const CardEntry& entry, bool isoOffered, CardPages& pages) {
    const CardPage page = PageOfEntry(entry, parameter, isoOffered);
    switch (page) {
    case CardPage::Felica: ShowFelicaEntry(entry, pages.Felica); break;
    case CardPage::TypeA: ShowTypeAEntry(entry, pages.TypeA); break;
    case CardPage::Iso15693: ShowIso15693Entry(entry, pages.Iso15693); break;
    case CardPage::None: break;
    }
    return page;
}

}  // namespace tapwedge
