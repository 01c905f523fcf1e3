// The card-parameter dialog between its image and its pages: showing an image or an entry,
// storing the visible page, and the switches between the parameters and between view and edit.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>

#include "app/card_param_form.h"
#include "app/card_param_pages.h"

namespace tapwedge::app {

int TPosParaForm::ShowParamImage(const CardParamImage& image, QString& message) {
    static_cast<void>(message);
    TempChkBox->setChecked((image.Flags & CardParamImage::kTemporaryChange) != 0);
    const int shown = CardRBtn2->isChecked() ? 1 : 0;
    ShowCardEntry(shown, image.Entries[shown]);
    const int other = 1 - shown;
    SelectItem(KindList(other), KindItemOfEntry(image.Entries[other]));
    pages_->PosOutDtEdit1->setText(QString::number(image.Width1));
    pages_->PosOutDtEdit2->setText(QString::number(image.Width2));
    return 0;
}

int TPosParaForm::ShowCardEntry(int index, const CardEntry& entry) {
    CardPages pages = pages_->Read();
    const CardPage page = tapwedge::ShowCardEntry(index, entry, IsoOffered(), pages);
    switch (page) {
    case CardPage::Felica:
        pages_->WriteFelica(pages.Felica);
        RBtn1Click();
        break;
    case CardPage::TypeA:
        pages_->WriteTypeA(pages.TypeA);
        MifUidRBtnClick();
        break;
    case CardPage::Iso15693:
        pages_->WriteIso15693(pages.Iso15693);
        ICDataRBtnClick(pages.Iso15693.BlockArea ? 1 : 0);
        // The start range follows the block size that is shown.
        ICBlkSizeCBoxChange();
        break;
    case CardPage::None: break;
    }
    pages_->ShowOnly(page);
    SelectItem(KindList(index), KindItemOfPage(page));
    keepsEntry_[index] = DialogKeepsEntry(entry, page);
    return 0;
}

int TPosParaForm::StoreParameter(int index, CardEntry& entry, QString& message) {
    // Clearing an entry the reader uses but the dialog cannot show would lose it.
    if (keepsEntry_[index]) return 0;
    std::string text;
    const int result = StoreCardParameter(pages_->Read(), index, KindList(index)->currentIndex(),
                                          IsoOffered(), entry, text);
    message = QString::fromStdString(text);
    return result;
}

int TPosParaForm::StoreShownParameter(int index, QString& message) {
    CardEntry entry = WorkImage.Entries[index];
    if (StoreParameter(index, entry, message) < 0) return -1;
    std::uint8_t widths[2] = {};
    std::string text;
    if (ParseFixedWidth(pages_->PosOutDtEdit1->text().toStdString(), widths[0], text) < 0 ||
        ParseFixedWidth(pages_->PosOutDtEdit2->text().toStdString(), widths[1], text) < 0) {
        message = QString::fromStdString(text);
        return -1;
    }
    WorkImage.Entries[index] = entry;
    WorkImage.Width1 = widths[0];
    WorkImage.Width2 = widths[1];
    return 0;
}

void TPosParaForm::CardRBtn1Click(int tag) {
    const int shown = tag;
    const int left = 1 - tag;
    KindList(left)->setEnabled(false);
    KindList(shown)->setEnabled(true);
    QString message;
    const bool failed = StoreShownParameter(left, message) < 0;
    ShowCardEntry(shown, WorkImage.Entries[shown]);
    // After the show, whose handlers may write the status bar too, so that the message stays.
    if (failed) SetStatus(message);
}

void TPosParaForm::EditChkBtnClick() {
    const bool editing = EditChkBtn->isChecked();
    ViewParaPanel->setEnabled(editing);
    TempChkBox->setEnabled(editing);
    if (!editing) {
        SetStatus(QStringLiteral("パラメータファイルを選択してください"));
        return;
    }
    SetStatus(QStringLiteral("パラメータは既存ファイルを更新または新規ファイルへ保存します"));
    CardRBtn1->setChecked(true);
    SelCardTypeCBox->setEnabled(true);
    SelCardTypeCBox2->setEnabled(false);
    if (!pages_->NoneGrBox->isHidden()) SelCardTypeCBoxChange(0);
}

void TPosParaForm::TempChkBoxClick() {
    SetStatus(TempChkBox->isChecked()
                  ? QStringLiteral("編集したパラメータは保存されません")
                  : QStringLiteral("編集したパラメータは、OKボタンを押せば任意のファイルへ保存可能です"));
}

void TPosParaForm::SelCardTypeCBoxChange(int tag) {
    pages_->ShowOnly(PageOfKindItem(KindList(tag)->currentIndex(), tag, IsoOffered()));
}

}  // namespace tapwedge::app
