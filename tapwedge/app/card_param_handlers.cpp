// The card-parameter dialog's handlers of the page controls, and the binding of every handler to
// its controls.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "app/card_param_form.h"
#include "app/card_param_pages.h"
#include "app/edit_event_filters.h"
#include "app/ui_hooks.h"
#include "core/key_filters.h"

namespace tapwedge::app {
namespace {

// A radio button's click: acts only for the button that became checked.
template <typename Handler>
void OnChecked(QRadioButton* button, Handler handler) {
    QObject::connect(button, &QRadioButton::toggled, button, [handler](bool checked) {
        if (checked) handler();
    });
}

// The control's own Enabled, whatever its parents are.
bool OwnEnabled(const QWidget* widget) { return !widget->testAttribute(Qt::WA_ForceDisabled); }

}  // namespace

void TPosParaForm::BindHandlers() {
    CardPageWidgets& p = *pages_;
    // Every click on a file loads it, also on the file already selected (whose contents may
    // differ from the pages by then), and so does a selection moved with the keys. A press that
    // selects a file has loaded it already.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        pressSelected_ = true;
        ListBox1Click();
    });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] {
        if (!pressSelected_) ListBox1Click();
    });
    InstallMousePressHandler(ListBox1->viewport(), [this] { pressSelected_ = false; });
    connect(OkBitBtn, &QPushButton::clicked, this, [this] { OkBitBtnClick(); });
    connect(CacelBitBtn, &QPushButton::clicked, this, [this] { done(kResultCancel); });
    OnChecked(CardRBtn1, [this] { CardRBtn1Click(0); });
    OnChecked(CardRBtn2, [this] { CardRBtn1Click(1); });
    connect(EditChkBtn, &QCheckBox::toggled, this, [this] { EditChkBtnClick(); });
    connect(TempChkBox, &QCheckBox::toggled, this, [this] { TempChkBoxClick(); });
    for (int tag : {0, 1}) {
        connect(KindList(tag), &QComboBox::activated, this, [this, tag] {
            // The user chose a kind: the entry is now whatever that page stores.
            keepsEntry_[tag] = false;
            SelCardTypeCBoxChange(tag);
        });
    }

    for (QRadioButton* button : {p.IDmRBtn1, p.BlockRBtn1, p.NormalRBtn1, p.SsfcRBtn1}) {
        OnChecked(button, [this] { RBtn1Click(); });
    }
    OnChecked(p.MifUidRBtn, [this] { MifUidRBtnClick(); });
    OnChecked(p.MifDataRBtn, [this] { MifUidRBtnClick(); });
    OnChecked(p.TATypeRBtn1, [this] { TATypeRBtn1Click(); });
    OnChecked(p.TATypeRBtn2, [this] { TATypeRBtn1Click(); });
    OnChecked(p.ICUidRBtn, [this] { ICDataRBtnClick(0); });
    OnChecked(p.ICDataRBtn, [this] { ICDataRBtnClick(1); });
    connect(p.ICBlkSizeCBox, &QComboBox::activated, this, [this] { ICBlkSizeCBoxChange(); });
    exitFilters_.push_back(
        InstallExitHandler(p.ServiceCodeEdit11, [this] { ServiceCodeEdit11Exit(); }));
    exitFilters_.push_back(InstallExitHandler(p.MifKeyBlkEdit, [this] { MifKeyBlkEditExit(); }));
    exitFilters_.push_back(
        InstallExitHandler(p.MifDataBlkEdit10, [this] { MifDataBlkEdit10Exit(); }));

    // Typed and pasted text alike: pasting passes no key press.
    const auto filterWith = [](QLineEdit* edit, KeyFilterFunction filter) {
        InstallKeyFilter(edit, filter);
        InstallPasteFilter(edit, filter, edit->maxLength(), TooLongPaste::Refused);
    };
    for (QLineEdit* edit : {p.CSysCodeEdit1, p.ServiceCodeEdit1, p.ServiceCodeEdit11, p.MifKeyEdit,
                            p.MifKeyBlkEdit, p.MifDataBlkEdit10, p.MifDataBlkEdit11}) {
        filterWith(edit, [this](char32_t key) {
            HexCodeKeyPress(key);
            return key;
        });
    }
    for (QLineEdit* edit :
         {p.CDataBlkEdit10, p.CDataStartEdit10, p.CDataLenEdit10, p.CDataBlkEdit11,
          p.CDataStartEdit11, p.CDataLenEdit11, p.MifDataStartEdit10, p.MifDataLenEdit10,
          p.MifDataStartEdit11, p.MifDataLenEdit11, p.ICDataBlkEdit10, p.ICDataStartEdit10,
          p.ICDataLenEdit10, p.ICDataBlkEdit11, p.ICDataStartEdit11, p.ICDataLenEdit11}) {
        filterWith(edit, [this](char32_t key) {
            CDataBlkEdit11KeyPress(key);
            return key;
        });
    }
    // Boxes that check their own text when it is stored still take full-width digits and
    // letters as the ASCII ones they show.
    for (QLineEdit* edit : {p.ICAfiEdit, p.PosOutDtEdit1, p.PosOutDtEdit2}) {
        filterWith(edit, FoldFullWidthKey);
    }
}

void TPosParaForm::HexCodeKeyPress(char32_t& key) { key = FilterHexDigitKey(key); }

void TPosParaForm::CDataBlkEdit11KeyPress(char32_t& key) { key = FilterDecimalDigitKey(key); }

void TPosParaForm::FelicaLayout() {
    CardPageWidgets& p = *pages_;
    const bool blockArea = p.BlockRBtn1->isChecked();
    const bool ssfc = p.SsfcRBtn1->isChecked();
    p.SsfcGrBox->setVisible(blockArea && ssfc);
    p.CodeChangePanel->setVisible(blockArea && !ssfc);
    p.DataAreaPanel1->setVisible(blockArea && !ssfc);
    p.BlockGrBox10->setVisible(blockArea && !ssfc);
    p.BlockGrBox11->setVisible(blockArea && !ssfc);
}

void TPosParaForm::RBtn1Click() {
    FelicaLayout();
    CardPageWidgets& p = *pages_;
    const int code = FelicaLayoutCodeIndex(p.BlockRBtn1->isChecked(), p.SsfcRBtn1->isChecked(),
                                           p.CCodeCombBox1->currentIndex());
    if (code != p.CCodeCombBox1->currentIndex()) SelectItem(p.CCodeCombBox1, code);
}

void TPosParaForm::TypeALayout() {
    CardPageWidgets& p = *pages_;
    const bool blockArea = p.MifDataRBtn->isChecked();
    p.MifBlockGrBox10->setVisible(blockArea);
    p.MifBlockGrBox11->setVisible(blockArea);
    p.MifCodeChangePanel->setVisible(blockArea);
}

void TPosParaForm::MifUidRBtnClick() {
    TypeALayout();
    CardPageWidgets& p = *pages_;
    const int code =
        TypeALayoutCodeIndex(p.MifDataRBtn->isChecked(), p.MifCodeCombBox->currentIndex());
    if (code != p.MifCodeCombBox->currentIndex()) SelectItem(p.MifCodeCombBox, code);
}

void TPosParaForm::ICDataRBtnClick(int tag) {
    CardPageWidgets& p = *pages_;
    const bool blockArea = tag != 0;
    p.IcParaGrBox->setVisible(blockArea);
    p.ISOBlockGrBox10->setVisible(blockArea);
    p.ISOBlockGrBox11->setVisible(blockArea);
}

void TPosParaForm::ICBlkSizeCBoxChange() {
    CardPageWidgets& p = *pages_;
    const QString range = p.ICBlkSizeCBox->currentIndex() == 0 ? QStringLiteral("0～3")
                                                               : QStringLiteral("0～7");
    p.IcStartPtLabel1->setText(range);
    p.IcStartPtLabel2->setText(range);
}

void TPosParaForm::TATypeRBtn1Click() {
    CardPageWidgets& p = *pages_;
    const bool mifare = p.TATypeRBtn1->isChecked();
    const int divisor = mifare ? 1 : 2;
    if (mifare) {
        p.RMifKeyPanel->show();
        p.MifAuthPanel->setEnabled(true);
        p.MifDataBlkEdit11->setEnabled(true);
        p.MifDataBlkEdit10->setEnabled(false);
        p.MifDataBlkEdit10->setReadOnly(true);
        p.MifDataBlkEdit10->setText(p.MifKeyBlkEdit->text());
        SetPageNote(CardPage::TypeA, QStringLiteral("mifareは1ブロック16バイト"));
    } else {
        p.RMifKeyPanel->hide();
        p.MifAuthPanel->setEnabled(false);
        p.MifAuthNoRBtn->setChecked(true);
        p.MifDataBlkEdit11->setEnabled(false);
        p.MifDataBlkEdit10->setReadOnly(false);
        p.MifDataBlkEdit10->setEnabled(true);
        SetPageNote(CardPage::TypeA, QStringLiteral("SLE55Rは1ブロック8バイトのみ対応"));
    }
    const QString start = QStringLiteral("0～") + QString::number(15 / divisor);
    const QString length = QStringLiteral("1～") + QString::number(16 / divisor);
    p.TAStartLbl1->setText(start);
    p.TAStartLbl2->setText(start);
    p.TALenLbl1->setText(length);
    p.TALenLbl2->setText(length);
}

void TPosParaForm::ServiceCodeEdit11Exit() {
    CardPageWidgets& p = *pages_;
    const std::string corrected = CorrectedSecondServiceCode(
        p.ServiceCodeEdit1->text().toStdString(), p.ServiceCodeEdit11->text().toStdString());
    if (corrected.empty()) return;
    ShowMessageBox({QStringLiteral("入力エラー"),
                    QStringLiteral("サービスコード１と同じ属性（セキュリティ有無）にしてください"),
                    BoxIcon::Warning, false});
    p.ServiceCodeEdit11->setText(QString::fromStdString(corrected));
}

void TPosParaForm::MifKeyBlkEditExit() {
    pages_->MifDataBlkEdit10->setText(pages_->MifKeyBlkEdit->text());
}

void TPosParaForm::MifDataBlkEdit10Exit() {
    if (OwnEnabled(pages_->MifDataBlkEdit11)) return;
    pages_->MifDataBlkEdit11->setText(pages_->MifDataBlkEdit10->text());
}

}  // namespace tapwedge::app
