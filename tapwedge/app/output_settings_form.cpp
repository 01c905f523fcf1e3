#include "app/output_settings_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <utility>

#include "app/edit_event_filters.h"
#include "app/title_bar_only.h"
#include "app/typing_limit.h"
#include "app/ui_hooks.h"
#include "core/key_filters.h"
#include "core/profile_file.h"

namespace tapwedge::app {
namespace {

// A control character (line break, tab, DEL...) would not read back from the settings file or
// names no file anyone means.
bool HasControlCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

constexpr int kWaitTimeMaxLength = 3;
// Wrapped explanations keep this width so the dialog's height follows from it.
constexpr int kTextWidth = 330;

template <typename Widget, typename... Args>
Widget* Named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* Label(const char* name, const QString& text) { return Named<QLabel>(name, text); }

QLabel* WrappedLabel(const char* name, const QString& text) {
    QLabel* label = Label(name, text);
    label->setWordWrap(true);
    label->setFixedWidth(kTextWidth);
    return label;
}

// A framed pair of radio buttons with its heading (and a note under it); the frame makes the
// pair exclusive.
QFrame* RadioPanel(const char* name, const QString& heading, QRadioButton* first,
                   QRadioButton* second, QLabel* note = nullptr) {
    auto* panel = Named<QFrame>(name);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* headings = new QVBoxLayout;
    headings->addWidget(new QLabel(heading));
    if (note != nullptr) headings->addWidget(note);
    auto* layout = new QHBoxLayout(panel);
    layout->addLayout(headings);
    layout->addStretch();
    layout->addWidget(first);
    layout->addWidget(second);
    return panel;
}

// The chosen folder with exactly one "/" at its end; the root stays "/".
QString WithOneTrailingSeparator(QString folder) {
    while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder + QLatin1Char('/');
}

}  // namespace

TForm2::TForm2(QWidget* owner, const OutputOptions& options, const OutputItems& items)
    : QDialog(owner) {
    // A title bar with a close box (Cancel) only: a minimised modal dialog would hide itself and
    // keep polling paused.
    ShowTitleBarOnly(this);
    setWindowFlag(Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("設定フォーム"));
    BuildControls();
    Fill(options, items);
    previousFolder_ = options.CsvFolder;
    previousFileName_ = options.CsvFileName.empty() ? "log.csv" : options.CsvFileName;
}

void TForm2::BuildControls() {
    // Display parameters: the four output items and the key replacement.
    auto* display = Named<QGroupBox>("GroupBox1", QStringLiteral("表示パラメータ"));
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->addWidget(Label("Label1", QStringLiteral("1.ｷｰボードエミュレート時の表示指定")));
    auto* itemGrid = new QGridLayout;
    itemGrid->setContentsMargins(16, 0, 0, 0);
    itemGrid->addWidget(Label("Label2", QStringLiteral("表示項目")), 0, 0);
    itemGrid->addWidget(Label("Label8", QStringLiteral("区切り文字")), 0, 1);
    static const char* const kItemNames[4][2] = {{"OutChkBox1", "SegCBox1"},
                                                 {"OutChkBox2", "SegCBox2"},
                                                 {"OutChkBox3", "SegCBox3"},
                                                 {"OutChkBox4", "SegCBox4"}};
    const QString itemCaptions[4] = {QStringLiteral("1. IDm/UID"), QStringLiteral("2. 第一リード領域"),
                                     QStringLiteral("3. 第二リード領域"), QStringLiteral("4. IDm/UID")};
    for (int i = 0; i < 4; ++i) {
        OutChkBox[i] = Named<QCheckBox>(kItemNames[i][0], itemCaptions[i]);
        SegCBox[i] = Named<QComboBox>(kItemNames[i][1]);
        SegCBox[i]->addItems({QStringLiteral("TAB"), QStringLiteral("ENTER"), QStringLiteral("無")});
        SegCBox[i]->setCurrentIndex(-1);
        itemGrid->addWidget(OutChkBox[i], i + 1, 0);
        itemGrid->addWidget(SegCBox[i], i + 1, 1);
    }
    displayLayout->addLayout(itemGrid);
    displayLayout->addWidget(WrappedLabel(
        "Label3", QStringLiteral("第一／第二リード領域とは、カードのデータ領域を意味します。"
                                 "設定した読み取り領域によっては無効です。")));
    displayLayout->addSpacing(8);
    displayLayout->addWidget(Label("Label10", QStringLiteral("2.非対応コードの表示")));
    displayLayout->addWidget(WrappedLabel(
        "Label11", QStringLiteral("NULL文字や制御（TAB,改行etc）文字やカタカナなど、"
                                  "キーボード出力できないコードを別のコードに置き換えます。")));
    auto* replaceRow = new QHBoxLayout;
    replaceRow->addWidget(Label("Label12", QStringLiteral("置き換えるコード")));
    ReplaceCBox = Named<QComboBox>("ReplaceCBox");
    ReplaceCBox->addItems({QStringLiteral("非表示"), QStringLiteral("空白"), QStringLiteral("@"),
                           QStringLiteral(".")});
    ReplaceCBox->setCurrentIndex(-1);
    replaceRow->addWidget(ReplaceCBox);
    replaceRow->addStretch();
    displayLayout->addLayout(replaceRow);
    displayLayout->addSpacing(8);
    displayLayout->addWidget(Label("Label13", QStringLiteral("3.他")));
    displayLayout->addWidget(WrappedLabel(
        "Label14", QStringLiteral("CapsLockの設定のため、大文字と小文字を切り替えたい場合に設定します。")));
    CodeChangeBox = Named<QCheckBox>("CodeChangeBox", QStringLiteral("大文字／小文字表示の切り替え"));
    displayLayout->addWidget(CodeChangeBox);
    displayLayout->addStretch();

    // Where the reads go: typed keys and the CSV file.
    auto* destination = Named<QGroupBox>("GroupBox3", QStringLiteral("出力先"));
    auto* destinationLayout = new QGridLayout(destination);
    OutKeybordCBox = Named<QCheckBox>("OutKeybordCBox", QStringLiteral("キーボードエミュレート"));
    OutKeybordCBox->setChecked(true);
    WaitTimeEdit = Named<QLineEdit>("WaitTimeEdit", QStringLiteral("0"));
    LimitTyping(WaitTimeEdit, kWaitTimeMaxLength);
    WaitTimeEdit->setFixedWidth(WaitTimeEdit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    WaitTimeEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
    WaitTimeEdit->installEventFilter(this);
    InstallPasteFilter(WaitTimeEdit, FilterDecimalDigitKey, kWaitTimeMaxLength,
                       TooLongPaste::Refused);
    auto* waitRow = new QHBoxLayout;
    waitRow->addWidget(Label("Label6", QStringLiteral("1文字出力間隔")));
    waitRow->addWidget(WaitTimeEdit);
    waitRow->addStretch();
    OutFileCBox = Named<QCheckBox>("OutFileCBox", QStringLiteral("ファイル"));
    FolderEdit = Named<QLineEdit>("FolderEdit");
    // Chosen with the folder button only: drawn on the window's colour, as a field that takes no
    // typing, and left out of the tab order.
    FolderEdit->setReadOnly(true);
    FolderEdit->setFocusPolicy(Qt::ClickFocus);
    QPalette readOnly = FolderEdit->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    FolderEdit->setPalette(readOnly);
    FolderEdit->setEnabled(false);
    FolderSelectSBtn = Named<QToolButton>("FolderSelectSBtn");
    FolderSelectSBtn->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    FolderSelectSBtn->setEnabled(false);
    FileEdit = Named<QLineEdit>("FileEdit", QStringLiteral("log.csv"));
    FileEdit->setEnabled(false);
    destinationLayout->addWidget(OutKeybordCBox, 0, 0, 1, 3);
    destinationLayout->addLayout(waitRow, 1, 1, 1, 2);
    destinationLayout->addWidget(
        WrappedLabel("Label9", QStringLiteral("文字化けする場合は、任意の値を入力してみて下さい。(初期値：0)")),
        2, 1, 1, 2);
    destinationLayout->addWidget(OutFileCBox, 3, 0, 1, 3);
    destinationLayout->addWidget(Label("Label5", QStringLiteral("フォルダ名")), 4, 1);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(FolderEdit);
    folderRow->addWidget(FolderSelectSBtn);
    destinationLayout->addLayout(folderRow, 4, 2);
    destinationLayout->addWidget(Label("Label4", QStringLiteral("ファイル名")), 5, 1);
    destinationLayout->addWidget(FileEdit, 5, 2);
    destinationLayout->addWidget(
        WrappedLabel("Label7", QStringLiteral("IDm/UID,第一ﾘｰﾄﾞ領域,第二リード領域の順に出力します。"
                                              "区切り文字はカンマです。")),
        6, 1, 1, 2);
    destinationLayout->setColumnMinimumWidth(0, 16);

    // The beep, the UID order and the state at the next start.
    auto* other = Named<QGroupBox>("GroupBox2", QStringLiteral("その他"));
    auto* otherLayout = new QVBoxLayout(other);
    BeepOnRBtn = Named<QRadioButton>("BeepOnRBtn", QStringLiteral("有"));
    BeepOffRBtn = Named<QRadioButton>("BeepOffRBtn", QStringLiteral("無"));
    BeepOnRBtn->setChecked(true);
    otherLayout->addWidget(
        RadioPanel("Panel1", QStringLiteral("カード検出時のBeep音"), BeepOnRBtn, BeepOffRBtn));
    UidDispNormalRBtn = Named<QRadioButton>("UidDispNormalRBtn", QStringLiteral("UID[0]...[n]"));
    UidDispReverseRBtn = Named<QRadioButton>("UidDispReverseRBtn", QStringLiteral("UID[n]...[0]"));
    UidDispNormalRBtn->setChecked(true);
    otherLayout->addWidget(RadioPanel("Panel2", QStringLiteral("UID表示の順番"), UidDispNormalRBtn,
                                      UidDispReverseRBtn,
                                      Label("Label15", QStringLiteral("（MIFARE/ISO15693）"))));
    StartRBn = Named<QRadioButton>("StartRBn", QStringLiteral("動作"));
    StopRBtn = Named<QRadioButton>("StopRBtn", QStringLiteral("停止"));
    StartRBn->setChecked(true);
    otherLayout->addWidget(
        RadioPanel("Panel3", QStringLiteral("起動時の初期状態"), StartRBn, StopRBtn));

    auto* okButton = Named<QPushButton>("OkBtn", QStringLiteral("OK"));
    auto* cancelButton = Named<QPushButton>("CancelBtn", QStringLiteral("Cancel"));
    okButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* right = new QVBoxLayout;
    right->addWidget(destination);
    right->addWidget(other);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addWidget(display);
    columns->addLayout(right);
    auto* main = new QVBoxLayout(this);
    main->addLayout(columns);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(OutChkBox[0], &QCheckBox::toggled, this, &TForm2::OutChkBox1Click);
    connect(OutChkBox[3], &QCheckBox::toggled, this, &TForm2::OutChkBox4Click);
    connect(OutKeybordCBox, &QCheckBox::toggled, this, &TForm2::OutKeybordCBoxClick);
    connect(OutFileCBox, &QCheckBox::toggled, this, &TForm2::OutFileCBoxClick);
    connect(FolderSelectSBtn, &QToolButton::clicked, this, &TForm2::FolderSelectSBtnClick);
    connect(okButton, &QPushButton::clicked, this, &TForm2::OkBtnClick);
    connect(cancelButton, &QPushButton::clicked, this, &TForm2::reject);
}

// Filled in this order with the handlers connected, so that each programmatic change of a check
// box runs its handler and the enabling rules hold once the dialog is built.
void TForm2::Fill(const OutputOptions& options, const OutputItems& items) {
    for (int i = 0; i < 4; ++i) {
        OutChkBox[i]->setChecked(items[i].Enabled != 0);
        // Outside 0..2 the list shows no selection.
        SegCBox[i]->setCurrentIndex(items[i].Separator >= 0 && items[i].Separator < 3
                                        ? items[i].Separator
                                        : -1);
    }
    (options.Beep == 1 ? BeepOnRBtn : BeepOffRBtn)->setChecked(true);
    (options.UidNormalOrder == 1 ? UidDispNormalRBtn : UidDispReverseRBtn)->setChecked(true);
    WaitTimeEdit->setEnabled(OutKeybordCBox->isChecked());
    OutKeybordCBox->setChecked(options.KeyboardOutput != 0);
    OutFileCBox->setChecked(options.FileOutput != 0);
    FolderEdit->setText(QString::fromStdString(options.CsvFolder));
    FileEdit->setText(QString::fromStdString(options.CsvFileName));
    if (options.StartStopped != 0) StopRBtn->setChecked(true);
    CodeChangeBox->setChecked(options.CaseSwitch != 0);
    // A longer stored wait (from an edited INI file) is shown whole and applied unchanged; typing
    // never makes the text longer than three digits.
    ShowWholeText(WaitTimeEdit, QString::number(options.WaitTime));
    ReplaceCBox->setCurrentIndex(options.ReplaceKey >= 0 && options.ReplaceKey <= 3
                                     ? options.ReplaceKey
                                     : -1);
}

bool TForm2::Apply(OutputItems& items, OutputOptions& options) const {
    if (result() != kResultOk) return false;
    for (int i = 0; i < 4; ++i) {
        items[i].Enabled = OutChkBox[i]->isChecked() ? 1 : 0;
        items[i].Separator = std::max(SegCBox[i]->currentIndex(), 0);
    }
    options.KeyboardOutput = OutKeybordCBox->isChecked() ? 1 : 0;
    options.FileOutput = OutFileCBox->isChecked() ? 1 : 0;
    options.Beep = BeepOnRBtn->isChecked() ? 1 : 0;
    options.UidNormalOrder = UidDispNormalRBtn->isChecked() ? 1 : 0;
    // With file output off the names are not used: one that is empty or would not read back is
    // not taken, the previous one stays (OK refuses them while file output is on).
    const bool fileOutput = OutFileCBox->isChecked();
    const QString folder = FolderEdit->text();
    const QString name = FileEdit->text();
    options.CsvFolder = fileOutput || !HasControlCharacter(folder) ? folder.toStdString()
                                                                   : previousFolder_;
    options.CsvFileName = fileOutput || (!name.isEmpty() && !HasControlCharacter(name))
                              ? name.toStdString()
                              : previousFileName_;
    options.StartStopped = StopRBtn->isChecked() ? 1 : 0;
    options.CaseSwitch = CodeChangeBox->isChecked() ? 1 : 0;
    options.WaitTime = ParseDecimal(WaitTimeEdit->text().toStdString()).value_or(0);
    const auto replaceKey = static_cast<std::int8_t>(ReplaceCBox->currentIndex() & 0xFF);
    options.ReplaceKey = replaceKey >= 0 && replaceKey <= 3 ? replaceKey : 0;
    return true;
}

bool TForm2::BrowseFolder(QWidget* /*owner: the browser is application-modal*/, QString& folder,
                          const QString& title) {
    QString start = folder;
    if (start.size() > 1 && start.endsWith(QLatin1Char('/'))) start.chop(1);
    if (!BrowseForFolder(title, start) || start.isEmpty()) return false;
    folder = start;
    return true;
}

void TForm2::FormShow() {
    // Nothing to hide: the dialog is transient for the program and has no task-bar entry.
}

void TForm2::OutChkBox1Click() { ExcludeOtherIdItem(OutChkBox[0], OutChkBox[3]); }

void TForm2::OutChkBox4Click() { ExcludeOtherIdItem(OutChkBox[3], OutChkBox[0]); }

// The ID goes either before or after the data: a checked box unchecks and disables the other.
void TForm2::ExcludeOtherIdItem(QCheckBox* clicked, QCheckBox* other) {
    if (clicked->isChecked()) other->setChecked(false);
    other->setEnabled(!clicked->isChecked());
}

void TForm2::OutKeybordCBoxClick() { WaitTimeEdit->setEnabled(OutKeybordCBox->isChecked()); }

void TForm2::OutFileCBoxClick() {
    const bool on = OutFileCBox->isChecked();
    FolderSelectSBtn->setEnabled(on);
    FolderEdit->setEnabled(on);
    FileEdit->setEnabled(on);
}

void TForm2::WaitTimeEditKeyPress(QChar& key) {
    key = QChar(static_cast<char16_t>(FilterDecimalDigitKey(key.unicode())));
}

void TForm2::FolderSelectSBtnClick() {
    QString folder = QDir::currentPath();
    if (BrowseFolder(this, folder, QStringLiteral("保存先Forderを選択してください"))) {
        FolderEdit->setText(WithOneTrailingSeparator(folder));
    }
}

void TForm2::reject() { done(kResultCancel); }

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    // Typed keys and text committed by an input method alike.
    if (watched == WaitTimeEdit &&
        FilterTypedText(watched, event, [this](char32_t typed) -> char32_t {
            if (typed > 0xFFFF) return 0;  // no digit beyond the basic plane
            QChar key(static_cast<char16_t>(typed));
            WaitTimeEditKeyPress(key);
            return key.unicode();
        })) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::OkBtnClick() {
    if (NamesAccepted()) done(kResultOk);
}

// The name is kept without blanks around it, as the settings file reads it back. With file output
// on, a folder or name that would not read back from the settings file (a control character: a
// line break cuts it there) or that cannot name a file in the chosen folder would lose CSV lines
// without a word, so it is refused, with a message naming the field, which is then selected. The
// dialog stays open. With file output off the names are not used (Apply keeps the previous ones
// in place of unusable ones).
bool TForm2::NamesAccepted() {
    const QString name = FileEdit->text().trimmed();
    if (name != FileEdit->text()) FileEdit->setText(name);
    if (!OutFileCBox->isChecked()) return true;
    QString problem;
    QWidget* field = FileEdit;
    if (HasControlCharacter(FolderEdit->text())) {
        problem = QStringLiteral("フォルダ名に制御文字（改行、タブなど）が含まれています。"
                                 "別のフォルダを選択してください。");
        field = FolderSelectSBtn;
    } else if (name.isEmpty()) {
        problem = QStringLiteral("ファイル名を入力してください。");
    } else if (HasControlCharacter(name)) {
        problem = QStringLiteral("ファイル名に制御文字（改行、タブなど）は使えません。");
    } else if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
               name == QLatin1String("..")) {
        problem = QStringLiteral("ファイル名「%1」は使えません。"
                                 "\"/\" を含まないファイル名を入力してください。")
                      .arg(name);
    }
    if (problem.isEmpty()) return true;
    ShowMessageBox({windowTitle(), problem, BoxIcon::Warning, false});
    field->setFocus();
    if (field == FileEdit) FileEdit->selectAll();
    return false;
}

}  // namespace tapwedge::app
