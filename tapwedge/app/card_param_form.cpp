// The frame of the card-parameter dialog: construction, the file list, loading, OK and the
// hand-back of the result.
#include "app/card_param_form.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>
#include <cstring>

#include "app/card_param_pages.h"
#include "app/form_building.h"
#include "app/title_bar_only.h"
#include "app/ui_hooks.h"
#include "core/param_file_cipher.h"
#include "core/param_file_list.h"
#include "core/settings.h"

namespace tapwedge::app {
namespace {

// The image bytes the dialog takes from its caller: everything up to the reader keys.
constexpr std::size_t kCallerImageBytes = 208;
constexpr int kFileNameInputMax = 255;
const char* const kEditableFileName = "Card.set";
const QString kSaveError = QStringLiteral("Paramter保存エラー");
const QString kReadError = QStringLiteral("パラメータ読み取りエラー");

QString FromFileName(const std::string& name) { return QFile::decodeName(name.c_str()); }

}  // namespace

TPosParaForm::TPosParaForm(const std::string& cardFileName, const CardParamImage& image,
                           std::uint16_t flags, const std::string& folder, QWidget* parent)
    : QDialog(parent), CardDialogFlags(flags) {
    // A fixed-size dialog: a title bar with a close box (Cancel), no minimise or maximise box.
    ShowTitleBarOnly(this);
    setWindowFlag(Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Card"));
    BuildFrame();
    BindHandlers();
    RBtn1Click();
    MifUidRBtnClick();
    ICDataRBtnClick(0);

    FileName.clear();
    SelectItem(pages_->CCodeCombBox1, 2);
    SelectItem(pages_->MifCodeCombBox, 2);
    SelectItem(pages_->ICCodeCombBox, 2);
    SelCardTypeCBox->setCurrentIndex(0);
    SelCardTypeCBox2->setCurrentIndex(2);
    if ((flags & kDialogOffersSsfc) != 0) {
        pages_->SsfcRBtn1->setEnabled(true);
    } else {
        pages_->SsfcRBtn1->setEnabled(false);
        pages_->NormalRBtn1->setChecked(true);
    }
    if ((flags & kDialogOffersIso15693) != 0) SelCardTypeCBox->addItem(QStringLiteral("ISO15693"));
    pages_->SsfcCBox1->setCurrentIndex(0);
    pages_->SsfcCBox2->setCurrentIndex(2);
    std::memcpy(WorkImage.Data(), image.Data(), kCallerImageBytes);
    QString message;
    ShowParamImage(image, message);
    ListParamFiles(folder);

    if ((image.Flags & CardParamImage::kTemporaryChange) != 0) {
        SelectRow(-1);
        EditChkBtn->setChecked(true);
        SetStatus(QStringLiteral("一時的に変更されたパラメータです"));
    } else {
        const int row = FindListedName(listedNames_, cardFileName);
        if (row >= 0) {
            SelectRow(row);
            FileName = listedNames_[static_cast<std::size_t>(row)];
            shownRow_ = row;
            // The file is not read here: the image the program works with is its image.
            shownFileImage_ = WorkImage;
        }
    }
    if (std::find(listedNames_.begin(), listedNames_.end(), kEditableFileName) !=
        listedNames_.end()) {
        EditPanel->show();
        EditViewPanel->show();
    }
    layout()->activate();
    setFixedSize(sizeHint());
}

TPosParaForm::~TPosParaForm() {
    // No leave handler may run on controls that are being destroyed.
    for (QObject* filter : exitFilters_) delete filter;
}

void TPosParaForm::BuildFrame() {
    QBoxLayout* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    QBoxLayout* body = new QHBoxLayout;
    body->setContentsMargins(8, 8, 8, 4);
    body->setSpacing(8);
    root->addLayout(body, 1);

    QBoxLayout* left = new QVBoxLayout;
    left->addWidget(MakeLabel(this, QStringLiteral("カード読み取りパラメータ一覧")));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setFixedWidth(190);
    left->addWidget(ListBox1, 1);
    EditViewPanel = MakePanel(this, "EditViewPanel");
    QLabel* hint = MakeLabel(
        EditViewPanel,
        QStringLiteral("パラメータを変更／追加する場合は、本ボタンをクリック【OKボタンで確定】"));
    hint->setWordWrap(true);
    Column(EditViewPanel)->addWidget(hint);
    EditViewPanel->setFixedWidth(190);
    EditViewPanel->hide();
    left->addWidget(EditViewPanel);
    EditPanel = MakePanel(this, "EditPanel");
    EditChkBtn = MakeCheck(EditPanel, "EditChkBtn", QStringLiteral("パラメータ変更"), false);
    TempChkBox = MakeCheck(EditPanel, "TempChkBox", QStringLiteral("ファイルへの保存無"), false);
    TempChkBox->setEnabled(false);
    QBoxLayout* editColumn = Column(EditPanel);
    editColumn->addWidget(EditChkBtn);
    editColumn->addWidget(TempChkBox);
    EditPanel->hide();
    left->addWidget(EditPanel);
    QBoxLayout* buttons = new QHBoxLayout;
    OkBitBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBitBtn->setObjectName(QStringLiteral("OkBitBtn"));
    OkBitBtn->setAutoDefault(false);
    CacelBitBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CacelBitBtn->setObjectName(QStringLiteral("CacelBitBtn"));
    CacelBitBtn->setAutoDefault(false);
    buttons->addWidget(OkBitBtn);
    buttons->addWidget(CacelBitBtn);
    left->addLayout(buttons);
    body->addLayout(left);

    ViewParaPanel = MakePanel(this, "ViewParaPanel");
    ViewParaPanel->setEnabled(false);
    QBoxLayout* view = Column(ViewParaPanel);
    QLabel* heading = MakeLabel(ViewParaPanel, QStringLiteral("パラメータの表示／設定"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    view->addWidget(heading);
    view->addWidget(
        MakeLabel(ViewParaPanel, QStringLiteral("カードパラメータは、最大二種類まで設定可能です。")));
    QGridLayout* kinds = new QGridLayout;
    kinds->addWidget(MakeLabel(ViewParaPanel, QStringLiteral("対象カード")), 0, 0, 2, 1);
    CardRBtn1 = MakeRadio(ViewParaPanel, "CardRBtn1", QStringLiteral("パラメータ１"), true);
    CardRBtn2 = MakeRadio(ViewParaPanel, "CardRBtn2", QStringLiteral("パラメータ2"), false);
    SelCardTypeCBox = MakeList(ViewParaPanel, "SelCardTypeCBox",
                               {QStringLiteral("FeliCa"), QStringLiteral("TypeA(mifare)")});
    SelCardTypeCBox2 = MakeList(ViewParaPanel, "SelCardTypeCBox2",
                                {QStringLiteral("FeliCa"), QStringLiteral("TypeA(mifare)"),
                                 QStringLiteral("(無効)")});
    SelCardTypeCBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SelCardTypeCBox->setMinimumContentsLength(14);
    SelCardTypeCBox2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SelCardTypeCBox2->setMinimumContentsLength(14);
    kinds->addWidget(CardRBtn1, 0, 1);
    kinds->addWidget(SelCardTypeCBox, 0, 2);
    kinds->addWidget(CardRBtn2, 1, 1);
    kinds->addWidget(SelCardTypeCBox2, 1, 2);
    kinds->setColumnStretch(3, 1);
    view->addLayout(kinds);

    QWidget* pageArea = new QWidget(ViewParaPanel);
    QGridLayout* stack = new QGridLayout(pageArea);
    stack->setContentsMargins(0, 0, 0, 0);
    pages_ = std::make_unique<CardPageWidgets>(pageArea);
    QSize largest;
    for (CardPage page : {CardPage::Felica, CardPage::TypeA, CardPage::Iso15693, CardPage::None}) {
        QGroupBox* box = pages_->Page(page);
        stack->addWidget(box, 0, 0);
        largest = largest.expandedTo(box->sizeHint());
    }
    // Every page fits the area, whichever is shown and whatever its parts show.
    pageArea->setMinimumSize(largest);
    view->addWidget(pageArea, 1);
    view->addWidget(pages_->GroupBox1);
    body->addWidget(ViewParaPanel, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    root->addWidget(StatusBar1);
    SetStatus(kViewStatus);
}

QComboBox* TPosParaForm::KindList(int index) const {
    return index == 0 ? SelCardTypeCBox : SelCardTypeCBox2;
}

bool TPosParaForm::IsoOffered() const { return (CardDialogFlags & kDialogOffersIso15693) != 0; }

int TPosParaForm::SelectedRow() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.front());
}

void TPosParaForm::SelectRow(int row) {
    const QSignalBlocker blocker(ListBox1);
    if (row < 0) {
        ListBox1->clearSelection();
        ListBox1->setCurrentRow(-1);
    } else {
        ListBox1->setCurrentRow(row);
    }
}

void TPosParaForm::SetStatus(const QString& text) {
    StatusBar1->showMessage(text);
    statusNote_ = CardPage::None;
}

void TPosParaForm::SetPageNote(CardPage page, const QString& text) {
    StatusBar1->showMessage(text);
    statusNote_ = page;
}

int TPosParaForm::ListParamFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (ListParamFileNames(folder, names) != 0) return -1;
    for (const std::string& name : names) {
        listedNames_.push_back(name);
        ListBox1->addItem(FromFileName(name));
    }
    return 0;
}

void TPosParaForm::ListBox1Click() {
    const int row = SelectedRow();
    if (row < 0) return;
    const std::string& name = listedNames_[static_cast<std::size_t>(row)];
    ParamFileCipher cipher;
    if (cipher.ReadParamFile(WorkImage.Data(), kCardParamImageSize, name) != 0) {
        // The file stays selected, so that the keys walk on past it, but shows nothing under its
        // name: the pages keep the last image read, disabled, and OK refuses while it is selected.
        UpdatePagesEnabled();
        SetStatus(kReadError);
        return;
    }
    if (StatusBar1->currentMessage() == kReadError) {
        SetStatus(EditChkBtn->isChecked() ? kEditStatus : kViewStatus);
    }
    QString message;
    ShowParamImage(WorkImage, message);
    FileName = name;
    shownRow_ = row;
    shownFileImage_ = WorkImage;
    UpdatePagesEnabled();
}

bool TPosParaForm::UnreadableFileSelected() const {
    const int row = SelectedRow();
    return row >= 0 && row != shownRow_;
}

void TPosParaForm::UpdatePagesEnabled() {
    ViewParaPanel->setEnabled(EditChkBtn->isChecked() && !UnreadableFileSelected());
}

void TPosParaForm::OkBitBtnClick() {
    if (UnreadableFileSelected()) {
        ShowMessage(kReadError);
        return;
    }
    if (EditChkBtn->isChecked()) {
        QString message;
        if (StoreShownParameter(CardRBtn1->isChecked() ? 0 : 1, message) < 0) {
            ShowMessage(message);
            return;
        }
        if (TempChkBox->isChecked() || SaveWorkImage()) done(kResultOk);
        return;
    }
    // View mode accepts the selected file: its own image as read when it was selected, never
    // edits left unsaved (those go back only saved, or kept in memory with their mark).
    const int row = SelectedRow();
    if (row < 0) {
        ShowMessage(QStringLiteral("ファイルが選択されていません"));
        return;
    }
    WorkImage = shownFileImage_;
    FileName = listedNames_[static_cast<std::size_t>(row)];
    done(kResultOk);
}

bool TPosParaForm::AskFileName(std::string& name) {
    QString typed = FromFileName(FileName);
    for (;;) {
        if (!InputBox(QStringLiteral("ファイル名入力"), QStringLiteral("保存するファイル名："),
                      typed, kFileNameInputMax)) {
            return false;
        }
        // A bare name that the application's CardFileName can hold once ".set" is on it.
        name = WithParamFileExtension(QFile::encodeName(typed).toStdString());
        if (IsSavableParamFileName(name, kCardFileNameMax)) return true;
        ShowMessage(kSaveError);
    }
}

bool TPosParaForm::SaveWorkImage() {
    std::string name;
    if (!AskFileName(name)) return false;
    FileName = name;
    // Saved, the parameters are no longer a change kept only in memory: no file holds the mark.
    WorkImage.Flags &= static_cast<std::uint8_t>(~CardParamImage::kTemporaryChange);
    int result = -1;
    try {
        ParamFileCipher cipher;
        result = cipher.WriteParamFile(WorkImage.Data(), kCardParamImageSize, FileName);
    } catch (...) {
        result = -1;
    }
    if (result != 0) {
        ShowMessage(kSaveError);
        return false;
    }
    return true;
}

int TPosParaForm::TakeResult(CardParamImage& image, std::string& fileName) const {
    image = WorkImage;
    fileName = FileName;
    return EditChkBtn->isChecked() && !TempChkBox->isChecked() ? 1 : 0;
}

bool TPosParaForm::KeptOnlyInMemory() const {
    return EditChkBtn->isChecked() && TempChkBox->isChecked();
}

void TPosParaForm::reject() { done(kResultCancel); }

}  // namespace tapwedge::app
