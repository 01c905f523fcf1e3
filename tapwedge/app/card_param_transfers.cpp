// The card-parameter dialog between its image and its pages: showing an image or an entry,
// storing the visible page, and the switches between the parameters and between view and edit.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>

#include "app/card_param_form.h"
#include "app/card_param_pages.h"
#include "app/typing_limit.h"

namespace tapwedge::app {

int TPosParaForm::ShowParamImage(const CardParamImage& image, QString& message) {
    static_cast<void>(message);
    TempChkBox->setChecked((image.Flags & CardParamImage::kTemporaryChange) != 0);
    const int shown = CardRBtn2->isChecked() ? 1 : 0;
    ShowCardEntry(shown, image.Entries[shown]);
    const int other = 1 - shown;
    SelectItem(KindList(other), KindItemOfEntry(image.Entries[other], other, IsoOffered()));
    ShowWholeText(pages_->PosOutDtEdit1, QString::number(image.Width1));
    ShowWholeText(pages_->PosOutDtEdit2, QString::number(image.Width2));
    return 0;
}

int TPosParaForm::ShowCardEntry(int index, const CardEntry& entry) {
    CardPages pages = pages_->Read();
    const CardPage page = tapwedge::ShowCardEntry(index, entry, IsoOffered(), pages);
    switch (page) {
    case CardPage::Felica:
        pages_->WriteFelica(pages.Felica);
        FelicaLayout();
        break;
    case CardPage::TypeA:
        pages_->WriteTypeA(pages.TypeA);
        TypeALayout();
        break;
    case CardPage::Iso15693:
        pages_->WriteIso15693(pages.Iso15693);
        ICDataRBtnClick(pages.Iso15693.BlockArea ? 1 : 0);
        // The start range follows the block size that is shown.
        ICBlkSizeCBoxChange();
        break;
    case CardPage::None: break;
    }
    ShowPage(page);
    SelectItem(KindList(index), KindItemOfPage(page, index));
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

int TPosParaForm::ReadFixedWidths(std::uint8_t (&widths)[2], QString& message) const {
    std::string text;
    if (ParseFixedWidth(pages_->PosOutDtEdit1->text().toStdString(), widths[0], text) < 0 ||
        ParseFixedWidth(pages_->PosOutDtEdit2->text().toStdString(), widths[1], text) < 0) {
        message = QString::fromStdString(text);
        return -1;
    }
    return 0;
}

int TPosParaForm::StoreShownParameter(int index, QString& message) {
    CardEntry entry = WorkImage.Entries[index];
    if (StoreParameter(index, entry, message) < 0) return -1;
    std::uint8_t widths[2] = {};
    if (ReadFixedWidths(widths, message) < 0) return -1;
    WorkImage.Entries[index] = entry;
    WorkImage.Width1 = widths[0];
    WorkImage.Width2 = widths[1];
    return 0;
}

void TPosParaForm::CardRBtn1Click(int tag) {
    const int shown = tag;
    const int left = 1 - tag;
    QString message;
    std::uint8_t widths[2] = {};
    if (ReadFixedWidths(widths, message) < 0) {
        // The widths belong to neither parameter: the switch is refused and the parameter
        // stays shown as the user left it, with its edits, until the width is mended.
        const QSignalBlocker first(CardRBtn1);
        const QSignalBlocker second(CardRBtn2);
        (left == 0 ? CardRBtn1 : CardRBtn2)->setChecked(true);
        SetStatus(message);
        return;
    }
    KindList(left)->setEnabled(false);
    KindList(shown)->setEnabled(true);
    const bool failed = StoreShownParameter(left, message) < 0;
    ShowCardEntry(shown, WorkImage.Entries[shown]);
    // After the show, whose handlers may write the status bar too, so that the message stays.
    if (failed) SetStatus(message);
}

void TPosParaForm::EditChkBtnClick() {
    const bool editing = EditChkBtn->isChecked();
    UpdatePagesEnabled();
    TempChkBox->setEnabled(editing);
    if (!editing) {
        SetStatus(kViewStatus);
        return;
    }
    SetStatus(kEditStatus);
    CardRBtn1->setChecked(true);
    // A switch refused for a fixed width leaves parameter 2 shown, with its list.
    if (!CardRBtn1->isChecked()) return;
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
    ShowPage(PageOfKindItem(KindList(tag)->currentIndex(), tag, IsoOffered()));
}

void TPosParaForm::ShowPage(CardPage page) {
    pages_->ShowOnly(page);
    // A note of the page that was shown does not stay under another one.
    if (statusNote_ != CardPage::None && statusNote_ != page) SetStatus(QString());
}

}  // namespace tapwedge::app
