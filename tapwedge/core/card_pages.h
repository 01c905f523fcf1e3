#pragma once
// The four card pages of the card-parameter dialog as plain state: texts as typed, choices as
// flags and list item indexes (kNoItem: nothing selected). The dialog copies its controls into
// these records, runs the transfers below and copies the records back, so that the mapping
// between a page and the bytes of a card entry is tested without widgets.
#include <cstdint>
#include <string>

#include "core/card_param_image.h"

namespace tapwedge {

inline constexpr int kNoItem = -1;
// Items of each output-code list: index = output code 0 to 3.
inline constexpr int kOutputCodeItems = 4;

// Messages of a page store that fails validation.
inline constexpr const char* kBlockNumberError = "カードパラメータのブロック番号エラー";
inline constexpr const char* kStartError = "カードパラメータのデータ開始位置エラー";
inline constexpr const char* kLengthError = "カードパラメータのデータ長エラー";
inline constexpr const char* kTypeABlockError = "ブロック番号エラー";
inline constexpr const char* kTypeALengthError =
    "カードパラメータのデータ長エラー(領域が一ブロックを超えている可能性が有)";
inline constexpr const char* kBlockSizeError = "ブロックサイズ選択エラー";
// The AFI box holds no hexadecimal byte (it has no key filter of its own).
inline constexpr const char* kAfiError = "カードパラメータのAFIエラー";
// A fixed-width box that does not hold a width.
inline constexpr const char* kFixedWidthError = "固定ﾃﾞｰﾀ長エラー";

enum class CardPage { Felica, TypeA, Iso15693, None };

// The three boxes of one read area.
struct AreaTexts {
    std::string Block;
    std::string Start;
    std::string Length;
};

// FeliCa page, standard and SSFC format.
struct FelicaPageState {
    bool BlockArea = false;  // "Block Area" (BlockRBtn1), else "IDm"
    bool Ssfc = false;       // "SSFC" (SsfcRBtn1), else "標準"
    std::string SystemCode = "FFFF";
    int CodeIndex = 2;  // CCodeCombBox1
    int KeptCode = kNoItem;  // stored while CodeIndex is kNoItem (see KeptOutputCode)
    std::string ServiceCode1;
    std::string ServiceCode2;
    AreaTexts Areas[2] = {{"0", "0", "10"}, {"0", "0", "0"}};
    int SsfcAreaItem[2] = {0, 2};  // SsfcCBox1: "ID", "会社コード"; SsfcCBox2 adds "（無効）"
    bool SsfcReissue = false;      // SsfcChkBox "IDに再発行回数を含む"
};

enum class MifareAuth { None, KeyA, KeyB };

// Type A page (mifare and SLE55R). Block texts are hexadecimal.
struct TypeAPageState {
    bool BlockArea = false;  // MifDataRBtn, else MifUidRBtn
    bool Uid4 = true;        // MifStandardChkBox1 "4バイト"
    bool Uid7 = true;        // MifUltraChkBox1 "7バイト"
    bool Sle55r = false;     // TATypeRBtn2, else TATypeRBtn1 "mifare"
    MifareAuth Auth = MifareAuth::None;
    std::string AuthBlock = "00";
    std::string Key = "3C5A96E1B70D";
    int CodeIndex = 2;  // MifCodeCombBox
    int KeptCode = kNoItem;
    AreaTexts Areas[2] = {{"0", "0", "10"}, {"0", "0", "0"}};
};

// ISO15693 page.
struct Iso15693PageState {
    bool BlockArea = false;  // ICDataRBtn, else ICUidRBtn
    int CodeIndex = 2;       // ICCodeCombBox
    int KeptCode = kNoItem;
    std::string Afi = "00";
    bool ReadSingle = false;  // ReadSingleRBtn, else ReadMultiRBtn
    bool OptionFlag = false;
    int BlockSizeIndex = 0;  // ICBlkSizeCBox: "4bytes", "8bytes"
    int KeptBlockSize = kNoItem;  // stored while BlockSizeIndex is kNoItem
    AreaTexts Areas[2] = {{"0", "0", "10"}, {"0", "0", "0"}};
};

struct CardPages {
    FelicaPageState Felica;
    TypeAPageState TypeA;
    Iso15693PageState Iso15693;
};

// Width factor of an output-code item in the length checks: 2 hexadecimal, 3 decimal, else 1.
int OutputWidthFactor(int codeIndex);

// The page and kind-list item of an entry shown as parameter 0 or 1. ISO15693 has a page only
// for parameter 0 and only when the reader offers it; every other entry the dialog does not
// know is shown on the page "none".
CardPage PageOfEntry(const CardEntry& entry, int parameter, bool isoOffered);
// The kind-list item of a page: 0 FeliCa, 1 Type A, 2 ISO15693 (parameter 0's appended item).
// The page "none" is item 2 "(無効)" of parameter 1; parameter 0's list has no item for it
// (its item 2, when there is one, is "ISO15693"), so it selects nothing.
int KindItemOfPage(CardPage page, int parameter);
// The page of a kind-list item of parameter 0 or 1.
CardPage PageOfKindItem(int item, int parameter, bool isoOffered);
// The item the kind list of a parameter selects for its entry, shown or not.
int KindItemOfEntry(const CardEntry& entry, int parameter, bool isoOffered);
// True when the reader reads the entry but the dialog can only show it as "none": such an entry
// is kept as it is by a store, not cleared.
bool DialogKeepsEntry(const CardEntry& entry, CardPage shownPage);

// The output-code item that the FeliCa page's layout forces when the user chooses it:
// "ｺｰﾄﾞ：0~9,A~F" for IDm, "無変換" for SSFC, else the current one.
int FelicaLayoutCodeIndex(bool blockArea, bool ssfc, int current);
// The Type A page's: "0~9,A~F" for UID, else the current one.
int TypeALayoutCodeIndex(bool blockArea, int current);

// The output code a store writes: the list's item, or, while the list shows no item (an entry
// was shown whose code 4 to 7 the list does not offer), the code of that entry.
int KeptOutputCode(int codeIndex, int keptCode);

// Shows an entry on its page state. The entry's own output code is shown, also where the
// page's layout would force another one on a click: a shown entry stores back as it was.
// Only the fields the show sets change; the rest keep what they held.
void ShowFelicaEntry(const CardEntry& entry, FelicaPageState& page);
void ShowTypeAEntry(const CardEntry& entry, TypeAPageState& page);
void ShowIso15693Entry(const CardEntry& entry, Iso15693PageState& page);
// The page of the entry (PageOfEntry) with its show run; "none" runs no show.
CardPage ShowCardEntry(int parameter, const CardEntry& entry, bool isoOffered, CardPages& pages);

// Stores a page into entry, which is all zero on entry. 0 on success; -1 on a validation error
// with its text in message (the entry then holds what was written before the failing field).
int StoreFelicaPage(const FelicaPageState& page, CardEntry& entry, std::string& message);
int StoreSsfcPage(const FelicaPageState& page, CardEntry& entry, std::string& message);
int StoreTypeAPage(const TypeAPageState& page, CardEntry& entry, std::string& message);
int StoreIso15693Page(const Iso15693PageState& page, CardEntry& entry, std::string& message);

// Clears entry and stores the page of the parameter's kind-list item into it: FeliCa (standard
// or SSFC by the page's format), Type A, ISO15693 (item 2 of parameter 0 when offered). Item 2
// of parameter 1 ("(無効)") and no item leave the entry cleared, result 0.
int StoreCardParameter(const CardPages& pages, int parameter, int kindItem, bool isoOffered,
                       CardEntry& entry, std::string& message);

// The fixed-width boxes: a decimal byte 0 to 255 (the box takes two digits when typed, but
// shows a wider width of an image whole), empty counts as 0. Anything else gives
// kFixedWidthError and -1, width untouched.
int ParseFixedWidth(const std::string& text, std::uint8_t& width, std::string& message);

// Service code 2 check on leaving its box: when code 2 has attribute bits 1 to 3 and its
// security bit (bit 0) differs from code 1's, code 2 with the six attribute bits of code 1,
// as four upper-case hex digits. Otherwise empty (no check, no warning).
std::string CorrectedSecondServiceCode(const std::string& serviceCode1,
                                       const std::string& serviceCode2);

}  // namespace tapwedge
