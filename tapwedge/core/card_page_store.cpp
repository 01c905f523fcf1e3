// The dialog's page states into card entries, with the validation of each page.
#include <cstring>
#include <string>

#include "core/card_pages.h"
#include "core/hex_text.h"
#include "core/profile_file.h"

namespace tapwedge {
namespace {

std::uint8_t* Bytes(CardEntry& entry) { return reinterpret_cast<std::uint8_t*>(&entry); }

std::int32_t Decimal(const std::string& text, std::int32_t fallback) {
    return ParseDecimal(text).value_or(fallback);
}

std::int32_t Hex(const std::string& text, std::int32_t fallback) {
    return ParseHexNumber(text).value_or(fallback);
}

// High byte of the kind: the output code and the in-use bits.
std::uint8_t KindHigh(int codeIndex, int keptCode, std::uint8_t bits) {
    return static_cast<std::uint8_t>((KeptOutputCode(codeIndex, keptCode) & 7) | bits);
}

// Two typed hex digits pairs stored second pair first (a little-endian service code).
void StoreReversedHex(const std::string& text, std::uint8_t* out) {
    std::uint8_t parsed[2] = {};
    ParseHexText(text.c_str(), parsed, 2);
    out[0] = parsed[1];
    out[1] = parsed[0];
}

int Fail(std::string& message, const char* text) {
    message = text;
    return -1;
}

}  // namespace

int StoreFelicaPage(const FelicaPageState& page, CardEntry& entry, std::string& message) {
    std::uint8_t* e = Bytes(entry);
    e[0] = KindHigh(page.CodeIndex, page.KeptCode, 0x90);
    e[1] = page.BlockArea ? 1 : 0;
    ParseHexText(page.SystemCode.c_str(), e + 2, 2);
    if (!page.BlockArea) return 0;

    e[4] = 0;
    e[5] = 0;
    StoreReversedHex(page.ServiceCode1, e + 6);
    StoreReversedHex(page.ServiceCode2, e + 27);
    const auto second = static_cast<std::uint16_t>(Hex(page.ServiceCode2, 0));
    if (second != 0 && (second & 0x0E) == 0) e[0] |= 0x18;

    const int factor = OutputWidthFactor(page.CodeIndex);
    for (int n = 0; n < 2; ++n) {
        CardArea& area = entry.Areas[n];
        const std::int32_t block = Decimal(page.Areas[n].Block, -1);
        if (block < 0) return Fail(message, kBlockNumberError);
        area.Block = static_cast<std::uint8_t>(block);
        const std::int32_t start = Decimal(page.Areas[n].Start, 0);
        if (start < 0 || start > 15) return Fail(message, kStartError);
        area.Start = static_cast<std::uint8_t>(start);
        const std::int32_t length = Decimal(page.Areas[n].Length, 0);
        area.Length = static_cast<std::uint8_t>(length);
        // The reader takes a length modulo 65, so a length above 64 would read the wrong
        // number of bytes even where its output width fits.
        const std::int64_t width = std::int64_t{factor} * length;
        if (width < 0 || width > 128 || length > 64) return Fail(message, kLengthError);
    }
    return 0;
}

int StoreSsfcPage(const FelicaPageState& page, CardEntry& entry, std::string& message) {
    static_cast<void>(message);
    std::uint8_t* e = Bytes(entry);
    e[0] = KindHigh(page.CodeIndex, page.KeptCode, 0x90);
    // With "IDm" chosen the entry reads the identifier only, as the page then shows.
    if (!page.BlockArea) {
        e[1] = 0x00;
        ParseHexText(page.SystemCode.c_str(), e + 2, 2);
        return 0;
    }
    e[1] = 0x21;
    ParseHexText(page.SystemCode.c_str(), e + 2, 2);
    e[6] = 0x0B;
    e[7] = 0xFC;
    for (int n = 0; n < 2; ++n) {
        CardArea& area = entry.Areas[n];
        switch (page.SsfcAreaItem[n]) {
        case 0:  // "ID", with the reissue count when asked
            area.Block = 1;
            area.Start = 0;
            area.Length = page.SsfcReissue ? 15 : 14;
            break;
        case 1:  // "会社コード"
            area.Block = 2;
            area.Start = 0;
            area.Length = 10;
            break;
        default: break;
        }
    }
    return 0;
}

int StoreTypeAPage(const TypeAPageState& page, CardEntry& entry, std::string& message) {
    std::uint8_t* e = Bytes(entry);
    e[0] = KindHigh(page.CodeIndex, page.KeptCode, 0x80);
    const bool twoAreas = Decimal(page.Areas[1].Length, 0) > 0;
    if (twoAreas) e[0] |= 0x10;

    if (!page.Sle55r) {
        e[1] = 0x40;
        if (page.Auth == MifareAuth::None) {
            e[1] |= 0x20;
        } else {
            if (page.Auth == MifareAuth::KeyB) e[1] |= 0x10;
            const std::int32_t authBlock = Hex(page.AuthBlock, 0);
            if (authBlock < 0 || authBlock > 255) return Fail(message, kTypeABlockError);
            entry.Areas[0].Block = static_cast<std::uint8_t>(authBlock);
            ParseHexText(page.Key.c_str(), entry.MifareKey, sizeof entry.MifareKey);
        }
    } else {
        e[1] = 0x68;  // Type A, SLE55R, no authentication
    }

    if (page.Uid4 && !page.Uid7) e[1] |= 0x02;
    if (!page.Uid4 && page.Uid7) e[1] |= 0x04;
    if (!page.Uid4 && !page.Uid7) e[1] |= 0x06;
    if (!page.BlockArea) return 0;

    e[1] |= 0x01;
    // A mifare block holds 16 bytes, an SLE55R page 8 (the page's range labels say so): an area
    // beyond the page would make every read of the card fail.
    const int blockBytes = page.Sle55r ? 8 : 16;
    for (int n = 0; n < (twoAreas ? 2 : 1); ++n) {
        CardArea& area = entry.Areas[n];
        const std::int32_t block = Hex(page.Areas[n].Block, -1);
        if (block < 0 || block > 255) return Fail(message, kTypeABlockError);
        area.Block = static_cast<std::uint8_t>(block);
        const std::int32_t start = Decimal(page.Areas[n].Start, 0);
        if (start < 0 || start >= blockBytes) return Fail(message, kStartError);
        area.Start = static_cast<std::uint8_t>(start);
        const std::int32_t length = Decimal(page.Areas[n].Length, 0);
        area.Length = static_cast<std::uint8_t>(length);
        const std::int64_t end = std::int64_t{start} + length;
        if (end < 0 || end > blockBytes) return Fail(message, kTypeALengthError);
    }
    return 0;
}

int StoreIso15693Page(const Iso15693PageState& page, CardEntry& entry, std::string& message) {
    std::uint8_t* e = Bytes(entry);
    e[1] = static_cast<std::uint8_t>((page.BlockArea ? 1 : 0) | 0xC0);
    e[0] = KindHigh(page.CodeIndex, page.KeptCode, 0x80);
    const bool twoAreas = Decimal(page.Areas[1].Length, 0) > 0 ||
                          Decimal(page.Areas[0].Block, -1) == Decimal(page.Areas[1].Block, -1);
    if (twoAreas) e[0] |= 0x10;
    // An empty box is no AFI (0); any other text must be the byte it shows.
    const std::int32_t afi = page.Afi.empty() ? 0 : Hex(page.Afi, -1);
    if (afi < 0 || afi > 0xFF) return Fail(message, kAfiError);
    e[2] = static_cast<std::uint8_t>(afi);
    if (!page.BlockArea) return 0;

    e[4] = static_cast<std::uint8_t>((page.ReadSingle ? 0x80 : 0) | (page.OptionFlag ? 0x40 : 0));
    // A block size the list does not offer stays as the shown entry had it.
    const int sizeIndex =
        page.BlockSizeIndex == kNoItem ? page.KeptBlockSize : page.BlockSizeIndex;
    if (sizeIndex < 0 || sizeIndex > 3) return Fail(message, kBlockSizeError);
    e[4] |= static_cast<std::uint8_t>(sizeIndex);

    const int factor = OutputWidthFactor(page.CodeIndex);
    for (int n = 0; n < (twoAreas ? 2 : 1); ++n) {
        CardArea& area = entry.Areas[n];
        const std::int32_t block = Decimal(page.Areas[n].Block, -1);
        if (block < 0) return Fail(message, kBlockNumberError);
        area.Block = static_cast<std::uint8_t>(block);
        const std::int32_t start = Decimal(page.Areas[n].Start, 0);
        if (start < 0) return Fail(message, kStartError);
        area.Start = static_cast<std::uint8_t>(start);
        const std::int32_t length = Decimal(page.Areas[n].Length, 0);
        area.Length = static_cast<std::uint8_t>(length);
        const std::int64_t width = std::int64_t{factor} * length;
        if (width < 0 || width > 64) return Fail(message, kLengthError);
    }
    return 0;
}

int StoreCardParameter(const CardPages& pages, int parameter, int kindItem, bool isoOffered,
                       CardEntry& entry, std::string& message) {
    std::memset(&entry, 0, sizeof entry);
    switch (PageOfKindItem(kindItem, parameter, isoOffered)) {
    case CardPage::Felica:
        return pages.Felica.Ssfc ? StoreSsfcPage(pages.Felica, entry, message)
                                 : StoreFelicaPage(pages.Felica, entry, message);
    case CardPage::TypeA: return StoreTypeAPage(pages.TypeA, entry, message);
    case CardPage::Iso15693: return StoreIso15693Page(pages.Iso15693, entry, message);
    case CardPage::None: return 0;
    }
    return 0;
}

int ParseFixedWidth(const std::string& text, std::uint8_t& width, std::string& message) {
    const std::int32_t value = text.empty() ? 0 : Decimal(text, -1);
    if (value < 0 || value > 255) return Fail(message, kFixedWidthError);
    width = static_cast<std::uint8_t>(value);
    return 0;
}

std::string CorrectedSecondServiceCode(const std::string& serviceCode1,
                                       const std::string& serviceCode2) {
    const std::int32_t first = Hex(serviceCode1, 0);
    const std::int32_t second = Hex(serviceCode2, 0);
    const std::int32_t a = first & 0x3F;
    const std::int32_t b = second & 0x3F;
    if ((b & 0x0E) == 0 || (a & 1) == (b & 1)) return {};
    const auto corrected = static_cast<std::uint16_t>((second & 0xFFC0) | a);
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(corrected >> 8),
                                   static_cast<std::uint8_t>(corrected)};
    return HexText(bytes, 2);
}

}  // namespace tapwedge
