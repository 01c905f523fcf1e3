#include "app/protocol_form.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStringList>

#include <algorithm>

#include "app/edit_event_filters.h"
#include "app/fonts.h"
#include "app/title_bar_only.h"
#include "app/ui_hooks.h"
#include "core/comm_form_values.h"
#include "core/hex_text.h"
#include "core/key_filters.h"
#include "core/profile_file.h"
#include "platform/serial_ports.h"

namespace tapwedge::app {
namespace {

constexpr int kFontPixels = 12;
constexpr int kKeyDigits = kKeyTextDigits;  // 8 bytes
constexpr int kMinPortDigits = 2;

template <class Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(name);
    widget->setGeometry(left, top, width, height);
    return widget;
}

// Labels size themselves to their text, as the form's labels do.
QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(FixedJapaneseFont(kFontPixels));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QRadioButton* AddRadio(QWidget* parent, const char* name, const QString& text, int left, int top,
                       int width, int height) {
    return Place(new QRadioButton(text, parent), name, left, top, width, height);
}

// A field whose typed characters pass a key filter: input methods are switched off on it (and
// their text, should it come all the same, is filtered too).
void FilterKeysOf(QWidget* widget, QObject* filter) {
    widget->setAttribute(Qt::WA_InputMethodEnabled, false);
    widget->installEventFilter(filter);
}

QLineEdit* AddKeyEdit(QWidget* parent, const char* name, int top, bool masked) {
    auto* edit = Place(new QLineEdit(parent), name, 74, top, 161, 24);
    edit->setFont(FixedJapaneseFont(kFontPixels));
    edit->setMaxLength(kKeyDigits);
    if (masked) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

}  // namespace

TProtocol::TProtocol(QObject* owner, std::int32_t mode) : QObject(owner), Mode(mode) {}

int TProtocol::Execute(CommSettings& settings) {
    Settings = settings;
    TProtocolForm form(*this);
    if (form.exec() != kResultOk) return 1;
    settings = Settings;
    return 0;
}

TProtocolForm::TProtocolForm(TProtocol& protocol, QWidget* owner)
    : QDialog(owner), protocol_(protocol) {
    ShowTitleBarOnly(this);
    setObjectName("ProtocolForm");
    setWindowTitle("Parameter Set Form");
    setFixedSize(324, 394);
    QFont font = QApplication::font();
    font.setPixelSize(kFontPixels);
    setFont(font);
    // Group captions sit on the frame line, so the controls placed just below them stay inside;
    // hidden keys show as '*'.
    setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 7px; padding: 0px 1px; }"
        "QLineEdit { lineedit-password-character: 42; }");
    BuildControls();
    FillComPortList();
}

void TProtocolForm::BuildControls() {
    // Created in tab order.
    protocolGrBox_ = Place(new QGroupBox("通信プロトコル", this), "protocolGrBox", 32, 8, 257, 105);
    comPortRBtn_ = AddRadio(protocolGrBox_, "ComPortRBtn", "COMPort指定", 25, 16, 97, 17);
    usbDirectRBtn_ = AddRadio(protocolGrBox_, "UsbDirectRBtn", "USB Direct", 129, 16, 97, 17);
    AddLabel(protocolGrBox_, "ComPortLabel", "COM Port", 24, 43);
    comPortCBox_ = Place(new QComboBox(protocolGrBox_), "ComPortCBox", 120, 38, 114, 21);
    comPortCBox_->setEditable(true);
    comPortCBox_->setInsertPolicy(QComboBox::NoInsert);  // Return must not add the text as a port
    comPortCBox_->setFont(FixedJapaneseFont(kFontPixels));
    comPortCBox_->lineEdit()->setMaxLength(kMinPortDigits);
    FilterKeysOf(comPortCBox_, this);
    FilterKeysOf(comPortCBox_->lineEdit(), this);
    // Ports 0..255: three digits at most, fewer while the box holds fewer.
    InstallPasteFilter(comPortCBox_->lineEdit(), FilterDecimalDigitKey, 3, TooLongPaste::Refused);
    AddLabel(protocolGrBox_, "Label4", "通信速度", 24, 65);
    baudRateCBox_ = Place(new QComboBox(protocolGrBox_), "BaudRateCBox", 120, 61, 114, 21);
    baudRateCBox_->setFont(FixedJapaneseFont(kFontPixels));
    baudRateCBox_->addItems({"    4800 bps", "    9600 bps", "  14400 bps", "  19200 bps",
                             "  28800 bps", "  38400 bps", "  57600 bps", " 115200 bps"});

    auto* keyGrBox = Place(new QGroupBox("認証鍵", this), "KeyGrBox", 32, 120, 257, 129);
    AddLabel(keyGrBox, "Label5", "ID", 24, 22);
    AddLabel(keyGrBox, "Label1", "Kar", 24, 48);
    AddLabel(keyGrBox, "Label3", "Kbr", 24, 72);
    AddLabel(keyGrBox, "Label6", "Kcr", 24, 98);
    idEdit_ = AddKeyEdit(keyGrBox, "IdEdit", 14, false);
    karEdit_ = AddKeyEdit(keyGrBox, "KarEdit", 40, true);
    kbrEdit_ = AddKeyEdit(keyGrBox, "KbrEdit", 66, true);
    kcrEdit_ = AddKeyEdit(keyGrBox, "KcrEdit", 92, true);
    for (QLineEdit* edit : {idEdit_, karEdit_, kbrEdit_, kcrEdit_}) {
        FilterKeysOf(edit, this);
        InstallPasteFilter(edit, FilterHexDigitKey, kKeyDigits, TooLongPaste::ShownWhole);
    }

    authGrBox_ = Place(new QGroupBox("認証方法", this), "AuthGrBox", 32, 254, 257, 41);
    authenRBtn_ = AddRadio(authGrBox_, "AuthenRBtn", "相互認証", 16, 16, 89, 17);
    pwRBtn_ = AddRadio(authGrBox_, "PwRBtn", "パスワード認証", 120, 16, 105, 17);

    groupBox2_ = Place(new QGroupBox("通信形態", this), "GroupBox2", 32, 302, 257, 41);
    comEncRBtn_ = AddRadio(groupBox2_, "ComEncRBtn", "暗号通信", 16, 16, 113, 17);
    comNoEncRBtn_ = AddRadio(groupBox2_, "ComNoEncRBtn", "平文通信", 120, 16, 113, 17);

    okButton_ = Place(new QPushButton("O   K", this), "OKButton", 56, 353, 81, 25);
    cancelButton_ = Place(new QPushButton("ｷｬﾝｾﾙ", this), "CancelButton", 184, 353, 81, 25);

    // Checked as the form is designed, before any handler is connected.
    comPortRBtn_->setChecked(true);
    pwRBtn_->setChecked(true);
    comEncRBtn_->setChecked(true);

    // A radio handler acts for the button that became checked.
    for (QRadioButton* button : {comPortRBtn_, usbDirectRBtn_}) {
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on) ComPortRBtnClick();
        });
    }
    for (QRadioButton* button : {authenRBtn_, pwRBtn_}) {
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on) AuthenRBtnClick();
        });
    }
    connect(okButton_, &QPushButton::clicked, this, [this] {
        if (!EntriesAccepted()) return;
        OKButtonClick();
        done(kResultOk);
    });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { done(kResultCancel); });
}

void TProtocolForm::FillComPortList() {
    comPortCBox_->clear();
    for (const int number : platform::ListSerialPorts()) {
        comPortCBox_->addItem(QString::number(number));
    }
    comPortCBox_->setCurrentIndex(-1);  // no port chosen until the form shows the stored one
    FitComPortLength(0);
}

void TProtocolForm::FitComPortLength(int shownLength) {
    int longest = std::max(kMinPortDigits, shownLength);
    for (int i = 0; i < comPortCBox_->count(); ++i) {
        longest = std::max(longest, static_cast<int>(comPortCBox_->itemText(i).size()));
    }
    comPortCBox_->lineEdit()->setMaxLength(longest);
}

void TProtocolForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TProtocolForm::FormShow() {
    const CommSettings& settings = protocol_.Settings;
    const std::int32_t mode = protocol_.Mode;
    if ((mode & 0xFF) == 1) {
        protocolGrBox_->hide();
        idEdit_->setEnabled(false);
        authGrBox_->hide();
        groupBox2_->hide();
    }
    if (mode & 2) {
        comNoEncRBtn_->setChecked(true);
        authenRBtn_->setEnabled(false);
    }

    if (settings.ComPort == 0) {
        comPortCBox_->setEnabled(false);
        usbDirectRBtn_->setChecked(true);
    } else {
        comPortRBtn_->setChecked(true);
        comPortCBox_->setEnabled(true);
        int match = -1;
        for (int i = 0; i < comPortCBox_->count() && match < 0; ++i) {
            const auto number = ParseDecimal(comPortCBox_->itemText(i).toStdString());
            if (number.value_or(0) == settings.ComPort) match = i;
        }
        if (match >= 0) {
            comPortCBox_->setCurrentIndex(match);
        } else {
            // A port the system does not list now (unplugged, say) stays the stored one: showing
            // another port would move the reader there on OK.
            const QString stored = QString::number(settings.ComPort);
            FitComPortLength(static_cast<int>(stored.size()));
            comPortCBox_->setCurrentIndex(-1);
            comPortCBox_->setEditText(stored);
        }
    }

    baudRateCBox_->setCurrentIndex(BaudRateIndex(settings.Baud));

    const std::uint8_t* keys[] = {settings.Keys.Id, settings.Keys.Kar, settings.Keys.Kbr,
                                  settings.Keys.Kcr};
    for (int i = 0; i < 4; ++i) {
        char text[kKeyDigits + 1];
        FormatHexText(keys[i], kKeyDigits / 2, text);
        KeyEdit(i)->setText(QString::fromLatin1(text));
    }

    if (settings.AuthMethod != 0) {
        pwRBtn_->setChecked(true);
        groupBox2_->setEnabled(false);
        comNoEncRBtn_->setChecked(true);
    } else {
        authenRBtn_->setChecked(true);  // no question: the stored method is already mutual
        groupBox2_->setEnabled(true);
        (settings.CommMode != 0 ? comNoEncRBtn_ : comEncRBtn_)->setChecked(true);
    }
}

QLineEdit* TProtocolForm::KeyEdit(int index) const {
    QLineEdit* const edits[] = {idEdit_, karEdit_, kbrEdit_, kcrEdit_};
    return edits[index];
}

void TProtocolForm::ComPortRBtnClick() { comPortCBox_->setEnabled(comPortRBtn_->isChecked()); }

void TProtocolForm::AuthenRBtnClick() {
    if (!authenRBtn_->isChecked()) {
        // Password authentication always runs with plain communication.
        comNoEncRBtn_->setChecked(true);
        groupBox2_->setEnabled(false);
        return;
    }
    if (protocol_.Settings.AuthMethod == 1) {
        const int answer = AskYesNo("相互認証を選択しました",
                                    "相互認証を行うと、以後パスワード認証が出来なくなります。\n"
                                    "相互認証を行いますか",
                                    BoxIcon::Warning);
        if (answer != kResultYes) {
            pwRBtn_->setChecked(true);  // unchecks AuthenRBtn; its handler selects plain
            return;
        }
    }
    groupBox2_->setEnabled(true);
}

bool TProtocolForm::ComPortCBoxKeyPress(QObject* target, QEvent* event) {
    return FilterTypedText(target, event, FilterDecimalDigitKey);
}

bool TProtocolForm::IdEditKeyPress(QObject* target, QEvent* event) {
    return FilterTypedText(target, event, FilterHexDigitKey);
}

bool TProtocolForm::eventFilter(QObject* watched, QEvent* event) {
    // Typed keys and text committed by an input method alike.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod) {
        if (watched == comPortCBox_ || watched == comPortCBox_->lineEdit()) {
            return ComPortCBoxKeyPress(watched, event);
        }
        for (int i = 0; i < 4; ++i) {
            if (watched == KeyEdit(i)) return IdEditKeyPress(watched, event);
        }
    }
    return QDialog::eventFilter(watched, event);
}

// A port number above 255 or a key that is not 16 hex digits would be stored as another port
// or another key (port 1; a key padded with zeros or cut at the first odd character), which the
// reader then refuses. Such an entry is named in a message and the dialog stays open on it.
bool TProtocolForm::EntriesAccepted() {
    QLineEdit* field = nullptr;
    QString problem;
    const QString port = comPortCBox_->currentText();
    if (comPortRBtn_->isChecked() && PortNumberTooLarge(port.toStdString())) {
        field = comPortCBox_->lineEdit();
        problem = QStringLiteral("COM Port「%1」は指定できません。1～255の番号を入力してください。").arg(port);
    }
    static const char* const kKeyNames[4] = {"ID", "Kar", "Kbr", "Kcr"};
    for (int i = 0; i < 4 && field == nullptr; ++i) {
        if (IsWholeKeyText(KeyEdit(i)->text().toStdString())) continue;
        field = KeyEdit(i);
        problem = QStringLiteral("認証鍵 %1 は16桁の16進数（0～9、A～F）で入力してください。")
                      .arg(QLatin1String(kKeyNames[i]));
    }
    if (field == nullptr) return true;
    ShowMessageBox({windowTitle(), problem, BoxIcon::Warning, false});
    if (field->isEnabled()) {
        field->setFocus();
        field->selectAll();
    }
    return false;
}

void TProtocolForm::OKButtonClick() {
    CommSettings& settings = protocol_.Settings;
    settings.ComPort =
        comPortRBtn_->isChecked() ? ComPortOfText(comPortCBox_->currentText().toStdString()) : 0;
    settings.Baud = BaudRateOfIndex(baudRateCBox_->currentIndex());
    std::uint8_t* keys[] = {settings.Keys.Id, settings.Keys.Kar, settings.Keys.Kbr,
                            settings.Keys.Kcr};
    for (int i = 0; i < 4; ++i) {
        // Whole keys only (EntriesAccepted).
        ParseHexText(KeyEdit(i)->text().toUtf8().constData(), keys[i], kKeyDigits / 2);
    }
    settings.AuthMethod = authenRBtn_->isChecked() ? 0 : 1;
    settings.CommMode = comEncRBtn_->isChecked() ? 0 : 1;
}

void TProtocolForm::reject() { done(kResultCancel); }  // Escape or closing: not confirmed

}  // namespace tapwedge::app
