// Copies between the controls of the card pages and their page states.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

#include "app/card_param_pages.h"
#include "app/typing_limit.h"

namespace tapwedge::app {
namespace {

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

// Every value of an entry is shown whole, also one wider than the box takes when typed.
void SetText(QLineEdit* edit, const std::string& text) {
    ShowWholeText(edit, QString::fromStdString(text));
}

AreaTexts ReadArea(const QLineEdit* block, const QLineEdit* start, const QLineEdit* length) {
    return {Text(block), Text(start), Text(length)};
}

void WriteArea(const AreaTexts& area, QLineEdit* block, QLineEdit* start, QLineEdit* length) {
    SetText(block, area.Block);
    SetText(start, area.Start);
    SetText(length, area.Length);
}

// Checks one of two radio buttons; the other follows through their exclusive group.
void Choose(QRadioButton* whenTrue, QRadioButton* whenFalse, bool value) {
    (value ? whenTrue : whenFalse)->setChecked(true);
}

}  // namespace

void SelectItem(QComboBox* list, int item) {
    list->setCurrentIndex(item >= 0 && item < list->count() ? item : -1);
}

QGroupBox* CardPageWidgets::Page(CardPage page) const {
    switch (page) {
    case CardPage::Felica: return FeliCaGrBox;
    case CardPage::TypeA: return MifareGrBox;
    case CardPage::Iso15693: return IcGrBox;
    case CardPage::None: break;
    }
    return NoneGrBox;
}

CardPage CardPageWidgets::VisiblePage() const {
    for (CardPage page : {CardPage::Felica, CardPage::TypeA, CardPage::Iso15693}) {
        if (!Page(page)->isHidden()) return page;
    }
    return CardPage::None;
}

void CardPageWidgets::ShowOnly(CardPage page) {
    for (CardPage each :
         {CardPage::Felica, CardPage::TypeA, CardPage::Iso15693, CardPage::None}) {
        Page(each)->hide();
    }
    Page(page)->show();
}

FelicaPageState CardPageWidgets::ReadFelica() const {
    FelicaPageState page;
    page.BlockArea = BlockRBtn1->isChecked();
    page.Ssfc = SsfcRBtn1->isChecked();
    page.SystemCode = Text(CSysCodeEdit1);
    page.CodeIndex = CCodeCombBox1->currentIndex();
    page.KeptCode = KeptCodes[0];
    page.ServiceCode1 = Text(ServiceCodeEdit1);
    page.ServiceCode2 = Text(ServiceCodeEdit11);
    page.Areas[0] = ReadArea(CDataBlkEdit10, CDataStartEdit10, CDataLenEdit10);
    page.Areas[1] = ReadArea(CDataBlkEdit11, CDataStartEdit11, CDataLenEdit11);
    page.SsfcAreaItem[0] = SsfcCBox1->currentIndex();
    page.SsfcAreaItem[1] = SsfcCBox2->currentIndex();
    page.SsfcReissue = SsfcChkBox->isChecked();
    return page;
}

TypeAPageState CardPageWidgets::ReadTypeA() const {
    TypeAPageState page;
    page.BlockArea = MifDataRBtn->isChecked();
    page.Uid4 = MifStandardChkBox1->isChecked();
    page.Uid7 = MifUltraChkBox1->isChecked();
    page.Sle55r = TATypeRBtn2->isChecked();
    page.Auth = MifKeyBRBtn->isChecked()   ? MifareAuth::KeyB
                : MifKeyARBtn->isChecked() ? MifareAuth::KeyA
                                           : MifareAuth::None;
    page.AuthBlock = Text(MifKeyBlkEdit);
    page.Key = Text(MifKeyEdit);
    page.CodeIndex = MifCodeCombBox->currentIndex();
    page.KeptCode = KeptCodes[1];
    page.Areas[0] = ReadArea(MifDataBlkEdit10, MifDataStartEdit10, MifDataLenEdit10);
    page.Areas[1] = ReadArea(MifDataBlkEdit11, MifDataStartEdit11, MifDataLenEdit11);
    return page;
}

Iso15693PageState CardPageWidgets::ReadIso15693() const {
    Iso15693PageState page;
    page.BlockArea = ICDataRBtn->isChecked();
    page.CodeIndex = ICCodeCombBox->currentIndex();
    page.KeptCode = KeptCodes[2];
    page.Afi = Text(ICAfiEdit);
    page.ReadSingle = ReadSingleRBtn->isChecked();
    page.OptionFlag = ICOptionFlagCBox->isChecked();
    page.BlockSizeIndex = ICBlkSizeCBox->currentIndex();
    page.KeptBlockSize = KeptBlockSize;
    page.Areas[0] = ReadArea(ICDataBlkEdit10, ICDataStartEdit10, ICDataLenEdit10);
    page.Areas[1] = ReadArea(ICDataBlkEdit11, ICDataStartEdit11, ICDataLenEdit11);
    return page;
}

CardPages CardPageWidgets::Read() const { return {ReadFelica(), ReadTypeA(), ReadIso15693()}; }

void CardPageWidgets::WriteFelica(const FelicaPageState& page) {
    KeptCodes[0] = page.KeptCode;
    SelectItem(CCodeCombBox1, page.CodeIndex);
    Choose(BlockRBtn1, IDmRBtn1, page.BlockArea);
    Choose(SsfcRBtn1, NormalRBtn1, page.Ssfc);
    // The layout handler of the radio buttons may have chosen an item: the state's item wins.
    SelectItem(CCodeCombBox1, page.CodeIndex);
    SetText(CSysCodeEdit1, page.SystemCode);
    SetText(ServiceCodeEdit1, page.ServiceCode1);
    SetText(ServiceCodeEdit11, page.ServiceCode2);
    WriteArea(page.Areas[0], CDataBlkEdit10, CDataStartEdit10, CDataLenEdit10);
    WriteArea(page.Areas[1], CDataBlkEdit11, CDataStartEdit11, CDataLenEdit11);
    SelectItem(SsfcCBox1, page.SsfcAreaItem[0]);
    SelectItem(SsfcCBox2, page.SsfcAreaItem[1]);
    SsfcChkBox->setChecked(page.SsfcReissue);
}

void CardPageWidgets::WriteTypeA(const TypeAPageState& page) {
    KeptCodes[1] = page.KeptCode;
    SelectItem(MifCodeCombBox, page.CodeIndex);
    Choose(MifDataRBtn, MifUidRBtn, page.BlockArea);
    Choose(TATypeRBtn2, TATypeRBtn1, page.Sle55r);
    switch (page.Auth) {
    case MifareAuth::KeyA: MifKeyARBtn->setChecked(true); break;
    case MifareAuth::KeyB: MifKeyBRBtn->setChecked(true); break;
    case MifareAuth::None: MifAuthNoRBtn->setChecked(true); break;
    }
    MifStandardChkBox1->setChecked(page.Uid4);
    MifUltraChkBox1->setChecked(page.Uid7);
    SelectItem(MifCodeCombBox, page.CodeIndex);
    SetText(MifKeyEdit, page.Key);
    SetText(MifKeyBlkEdit, page.AuthBlock);
    WriteArea(page.Areas[0], MifDataBlkEdit10, MifDataStartEdit10, MifDataLenEdit10);
    WriteArea(page.Areas[1], MifDataBlkEdit11, MifDataStartEdit11, MifDataLenEdit11);
}

void CardPageWidgets::WriteIso15693(const Iso15693PageState& page) {
    KeptCodes[2] = page.KeptCode;
    KeptBlockSize = page.KeptBlockSize;
    SelectItem(ICCodeCombBox, page.CodeIndex);
    Choose(ICDataRBtn, ICUidRBtn, page.BlockArea);
    SetText(ICAfiEdit, page.Afi);
    Choose(ReadSingleRBtn, ReadMultiRBtn, page.ReadSingle);
    ICOptionFlagCBox->setChecked(page.OptionFlag);
    SelectItem(ICBlkSizeCBox, page.BlockSizeIndex);
    WriteArea(page.Areas[0], ICDataBlkEdit10, ICDataStartEdit10, ICDataLenEdit10);
    WriteArea(page.Areas[1], ICDataBlkEdit11, ICDataStartEdit11, ICDataLenEdit11);
}

}  // namespace tapwedge::app
