// The communication settings dialog, run through TProtocol::Execute as the settings menu runs it,
// with the serial ports the platform layer sees bound to a pseudo-terminal.
#include "app/protocol_form.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "edit_paste.h"
#include "platform/serial_ports.h"
#include "pty_port.h"
#include "ui_answers.h"

namespace {

using tapwedge::CommSettings;
using namespace tapwedge::app;

// The dialog while Execute shows it.
struct Dialog {
    TProtocolForm* form;

    template <class Widget>
    Widget* Get(const char* name) const {
        auto* widget = form->findChild<Widget*>(name);
        if (!widget) ADD_FAILURE() << "no control " << name;
        return widget;
    }
    QRadioButton* Radio(const char* name) const { return Get<QRadioButton>(name); }
    QGroupBox* Group(const char* name) const { return Get<QGroupBox>(name); }
    QLineEdit* Edit(const char* name) const { return Get<QLineEdit>(name); }
    QComboBox* Port() const { return Get<QComboBox>("ComPortCBox"); }
    // The text of a field: a key edit itself, or the edit of the port box.
    QLineEdit* TextOf(QWidget* field) const {
        auto* edit = qobject_cast<QLineEdit*>(field);
        return edit != nullptr ? edit : qobject_cast<QComboBox*>(field)->lineEdit();
    }
    QComboBox* Speed() const { return Get<QComboBox>("BaudRateCBox"); }
    void Ok() const { Get<QPushButton>("OKButton")->click(); }
    void Cancel() const { Get<QPushButton>("CancelButton")->click(); }

    // Replaces a field's text by typing.
    static void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
};

// Runs Execute on settings while `act` works the dialog; a dialog that `act` leaves open is
// cancelled.
int RunDialog(TProtocol& protocol, CommSettings& settings, const std::function<void(Dialog&)>& act) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
        TProtocolForm* form = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* f = qobject_cast<TProtocolForm*>(widget); f && f->isVisible()) form = f;
        }
        if (!form) return;
        shown = true;
        Dialog dialog{form};
        act(dialog);
        if (form->isVisible()) form->reject();
    });
    const int result = protocol.Execute(settings);
    EXPECT_TRUE(shown) << "the dialog was not shown";
    return result;
}

CommSettings Stored(std::uint8_t port, std::int32_t authMethod, std::int32_t commMode = 1) {
    CommSettings settings;
    settings.ComPort = port;
    settings.AuthMethod = authMethod;
    settings.CommMode = commMode;
    settings.ReaderType = 0x35;
    return settings;
}

bool SameSettings(const CommSettings& a, const CommSettings& b) {
    return a.ComPort == b.ComPort && a.Baud == b.Baud && a.AuthMethod == b.AuthMethod &&
           a.CommMode == b.CommMode && a.ReaderType == b.ReaderType &&
           std::memcmp(&a.Keys, &b.Keys, sizeof a.Keys) == 0;
}

QStringList ItemTexts(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

QStringList PlatformPortTexts() {
    QStringList texts;
    for (const int number : platform::ListSerialPorts()) texts << QString::number(number);
    return texts;
}

// COM1 and COM5 exist, bound to one pseudo-terminal.
class ProtocolDialog : public ::testing::Test {
protected:
    ProtocolDialog() { ports.Bind(5); }

    PtyPort ports{1};
    tapwedge_test::UiAnswers answers;
};

TEST_F(ProtocolDialog, ShowsTheStoredMethodAsTheModeAllowsAndStoresItOnOk) {
    struct Case {
        const char* name;
        std::int32_t mode, authMethod, commMode;
        bool authenChecked, authenEnabled, plainChecked, commGroupEnabled, settingsHidden;
        std::int32_t storedAuth, storedCommMode;
    };
    const Case cases[] = {
        {"mode 2, password", 2, 1, 0, false, false, true, false, false, 1, 1},
        {"mode 2, mutual encrypted", 2, 0, 0, true, false, false, true, false, 0, 0},
        {"mode 0, mutual plain", 0, 0, 1, true, true, true, true, false, 0, 1},
        {"mode 0, mutual encrypted", 0, 0, 0, true, true, false, true, false, 0, 0},
        {"mode 0, password", 0, 1, 0, false, true, true, false, false, 1, 1},
        {"mode 0, method 5 counts as password", 0, 5, 0, false, true, true, false, false, 1, 1},
        {"mode 1, keys only", 1, 1, 1, false, true, true, false, true, 1, 1},
        {"mode 0x101: low byte 1", 0x101, 1, 1, false, true, true, false, true, 1, 1},
        {"mode 3: low byte not 1, bit 2", 3, 1, 1, false, false, true, false, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TProtocol protocol(qApp, c.mode);
        CommSettings settings = Stored(5, c.authMethod, c.commMode);
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            EXPECT_EQ(d.Radio("AuthenRBtn")->isChecked(), c.authenChecked);
            EXPECT_EQ(d.Radio("PwRBtn")->isChecked(), !c.authenChecked);
            EXPECT_EQ(d.Radio("AuthenRBtn")->isEnabled(), c.authenEnabled);
            EXPECT_EQ(d.Radio("ComNoEncRBtn")->isChecked(), c.plainChecked);
            EXPECT_EQ(d.Radio("ComEncRBtn")->isChecked(), !c.plainChecked);
            EXPECT_EQ(d.Group("GroupBox2")->isEnabled(), c.commGroupEnabled);
            for (const char* group : {"protocolGrBox", "AuthGrBox", "GroupBox2"}) {
                EXPECT_EQ(d.Group(group)->isHidden(), c.settingsHidden) << group;
            }
            EXPECT_FALSE(d.Group("KeyGrBox")->isHidden());
            EXPECT_EQ(d.Edit("IdEdit")->isEnabled(), !c.settingsHidden);
            EXPECT_TRUE(d.Edit("KarEdit")->isEnabled());
            d.Ok();
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(settings.AuthMethod, c.storedAuth);
        EXPECT_EQ(settings.CommMode, c.storedCommMode);
        EXPECT_EQ(settings.ComPort, 5);
        EXPECT_EQ(settings.ReaderType, 0x35) << "the reader type is not the dialog's";
    }
    EXPECT_TRUE(answers.Boxes.empty()) << "showing the dialog asks nothing";
}

TEST_F(ProtocolDialog, ChoosingMutualAfterPasswordAsksFirst) {
    struct Case {
        const char* name;
        int answer;
        bool chooseEncrypted;
        bool authenChecked, commGroupEnabled;
        std::int32_t storedAuth, storedCommMode;
    };
    const Case cases[] = {
        {"yes, then encrypted", kResultYes, true, true, true, 0, 0},
        {"yes, plain kept", kResultYes, false, true, true, 0, 1},
        {"no", kResultNo, false, false, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answers.Boxes.clear();
        answers.YesNo = {c.answer};
        TProtocol protocol(qApp, 0);
        CommSettings settings = Stored(5, 1);
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            d.Radio("AuthenRBtn")->click();
            EXPECT_EQ(d.Radio("AuthenRBtn")->isChecked(), c.authenChecked);
            EXPECT_EQ(d.Radio("PwRBtn")->isChecked(), !c.authenChecked);
            EXPECT_TRUE(d.Radio("ComNoEncRBtn")->isChecked());
            EXPECT_EQ(d.Group("GroupBox2")->isEnabled(), c.commGroupEnabled);
            if (c.chooseEncrypted) d.Radio("ComEncRBtn")->click();
            d.Ok();
        });
        ASSERT_EQ(answers.Boxes.size(), 1u);
        const MessageBoxRequest& box = answers.Boxes[0];
        EXPECT_EQ(box.Caption, QString("相互認証を選択しました"));
        EXPECT_EQ(box.Text, QString("相互認証を行うと、以後パスワード認証が出来なくなります。\n"
                                    "相互認証を行いますか"));
        EXPECT_TRUE(box.YesNo);
        EXPECT_EQ(box.Icon, BoxIcon::Warning);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(settings.AuthMethod, c.storedAuth);
        EXPECT_EQ(settings.CommMode, c.storedCommMode);
    }
}

TEST_F(ProtocolDialog, StoredMutualMethodGoesToPasswordAndBackWithoutAQuestion) {
    TProtocol protocol(qApp, 0);
    CommSettings settings = Stored(5, 0, 0);
    const int result = RunDialog(protocol, settings, [](Dialog& d) {
        EXPECT_TRUE(d.Radio("ComEncRBtn")->isChecked());
        d.Radio("PwRBtn")->click();
        EXPECT_TRUE(d.Radio("ComNoEncRBtn")->isChecked());
        EXPECT_FALSE(d.Group("GroupBox2")->isEnabled());
        d.Radio("AuthenRBtn")->click();
        EXPECT_TRUE(d.Radio("AuthenRBtn")->isChecked());
        EXPECT_TRUE(d.Group("GroupBox2")->isEnabled());
        d.Ok();
    });
    EXPECT_TRUE(answers.Boxes.empty());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(settings.AuthMethod, 0);
    EXPECT_EQ(settings.CommMode, 1) << "password authentication switched to plain";
}

TEST_F(ProtocolDialog, ListsThePlatformPortsAndKeepsTheStoredPort) {
    ASSERT_FALSE(platform::SerialPortExists(9)) << "this machine has a COM9; the case needs none";
    ASSERT_FALSE(platform::SerialPortExists(200));
    struct Case {
        std::uint8_t stored;
        bool usb, listed;
        const char* text;
    };
    const Case cases[] = {
        {5, false, true, "5"},
        {9, false, false, "9"},  // not listed now: shown as it is, not as the first port
        {200, false, false, "200"},
        {0, true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.stored));
        TProtocol protocol(qApp, 2);
        CommSettings settings = Stored(c.stored, 1);
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            QComboBox* port = d.Port();
            EXPECT_EQ(ItemTexts(port), PlatformPortTexts());
            EXPECT_TRUE(ItemTexts(port).contains("1"));
            EXPECT_EQ(port->currentIndex(), c.listed ? port->findText(c.text) : -1);
            EXPECT_EQ(port->currentText(), QString(c.text));
            EXPECT_EQ(port->isEnabled(), !c.usb);
            EXPECT_EQ(d.Radio("UsbDirectRBtn")->isChecked(), c.usb);
            EXPECT_EQ(d.Radio("ComPortRBtn")->isChecked(), !c.usb);
            d.Ok();
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(settings.ComPort, c.stored);
    }
}

TEST_F(ProtocolDialog, ConnectionButtonsSwitchThePortList) {
    TProtocol protocol(qApp, 2);
    CommSettings settings = Stored(5, 1);
    const int result = RunDialog(protocol, settings, [](Dialog& d) {
        d.Radio("UsbDirectRBtn")->click();
        EXPECT_FALSE(d.Port()->isEnabled());
        d.Radio("ComPortRBtn")->click();
        EXPECT_TRUE(d.Port()->isEnabled());
        d.Radio("UsbDirectRBtn")->click();
        d.Ok();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(settings.ComPort, 0) << "USB Direct stores port 0 whatever the port text";
}

TEST(ProtocolDialogPorts, WithoutBoundPortsListsOnlyWhatTheSystemHas) {
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() / ("tapwedge-no-ports-" + std::to_string(getpid()));
    std::filesystem::create_directory(empty);
    platform::SetSerialPortFolder(empty.string());
    TProtocol protocol(qApp, 2);
    CommSettings settings = Stored(0, 1);
    RunDialog(protocol, settings, [](Dialog& d) {
        // Empty on a machine without serial devices.
        EXPECT_EQ(ItemTexts(d.Port()), PlatformPortTexts());
        EXPECT_EQ(d.Port()->currentText(), QString());
    });
    platform::SetSerialPortFolder("");
    std::filesystem::remove(empty);
}

TEST_F(ProtocolDialog, PortTextOnOk) {
    struct Case {
        const char* typed;
        std::uint8_t stored;
    };
    const Case cases[] = {
        {"", 1},    // no number
        {"0", 0},   // the USB reader
        {"12", 12},
        {"7x", 7},  // the letter cannot be typed
        {"123", 12},  // two digits while no listed port has three
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TProtocol protocol(qApp, 2);
        CommSettings settings = Stored(5, 1);
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            Dialog::Type(d.Port()->lineEdit(), c.typed);
            d.Ok();
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(settings.ComPort, c.stored);
    }
}

TEST_F(ProtocolDialog, PortOfThreeDigitsIsNeverCutShort) {
    ports.Bind(100);
    struct Case {
        const char* name;
        std::uint8_t stored;
        const char* typed;  // nullptr: choose the item "100" from the list
        std::uint8_t result;
    };
    const Case cases[] = {
        {"stored 100", 100, "", 100},
        {"chosen from the list", 5, nullptr, 100},
        {"typed", 5, "100", 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TProtocol protocol(qApp, 2);
        CommSettings settings = Stored(c.stored, 1);
        RunDialog(protocol, settings, [&](Dialog& d) {
            QComboBox* port = d.Port();
            if (c.typed == nullptr) {
                port->setCurrentIndex(port->findText("100"));
                EXPECT_EQ(port->currentText(), QString("100"));
            } else if (*c.typed != '\0') {
                Dialog::Type(port->lineEdit(), c.typed);
            }
            d.Ok();
        });
        EXPECT_EQ(settings.ComPort, c.result);
    }
}

TEST_F(ProtocolDialog, PortAbove255IsRefusedWithTheDialogOpen) {
    ports.Bind(100);  // a three-digit port is listed, so three digits can be typed
    TProtocol protocol(qApp, 2);
    CommSettings settings = Stored(5, 1);
    const int result = RunDialog(protocol, settings, [&](Dialog& d) {
        Dialog::Type(d.Port()->lineEdit(), "256");
        d.Ok();
        EXPECT_TRUE(d.form->isVisible());
        ASSERT_EQ(answers.Boxes.size(), 1u);
        EXPECT_TRUE(answers.Boxes[0].Text.contains("256")) << answers.Boxes[0].Text.toStdString();
        EXPECT_EQ(answers.Boxes[0].Icon, BoxIcon::Warning);
        EXPECT_EQ(protocol.Settings.ComPort, 5) << "nothing is stored while the dialog stays open";
        Dialog::Type(d.Port()->lineEdit(), "255");
        d.Ok();
        EXPECT_FALSE(d.form->isVisible());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(settings.ComPort, 255);
    EXPECT_EQ(answers.Boxes.size(), 1u);
}

TEST_F(ProtocolDialog, SpeedShownAndStored) {
    struct Case {
        std::int32_t stored;
        const char* shown;
        int choose;  // item the user picks, -1 none
        std::int32_t result;
    };
    const Case cases[] = {
        {4800, "    4800 bps", -1, 4800},
        {9600, "    9600 bps", -1, 9600},
        {57600, "  57600 bps", -1, 57600},
        {115200, " 115200 bps", -1, 115200},
        {76800, " 115200 bps", -1, 115200},
        {12345, "    9600 bps", -1, 9600},
        {9600, "    9600 bps", 2, 14400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TProtocol protocol(qApp, 2);
        CommSettings settings = Stored(5, 1);
        settings.Baud = c.stored;
        RunDialog(protocol, settings, [&](Dialog& d) {
            EXPECT_EQ(d.Speed()->count(), 8);
            EXPECT_EQ(d.Speed()->currentText(), QString(c.shown));
            if (c.choose >= 0) d.Speed()->setCurrentIndex(c.choose);
            d.Ok();
        });
        EXPECT_EQ(settings.Baud, c.result);
    }
}

TEST_F(ProtocolDialog, FieldsTakeOnlyTheirCharacters) {
    struct Case {
        const char* field;
        QString typed;
        int backspaces;
        const char* text;
    };
    const Case cases[] = {
        {"IdEdit", "a", 0, "A"},
        {"KarEdit", "0123456789abcdefABCDEF", 0, "0123456789ABCDEF"},  // 16 at most
        {"KbrEdit", "1g2-3 F", 0, "123F"},
        {"KcrEdit", QString::fromUtf8("9é８ｆ"), 0, "98F"},  // full-width as ASCII, no other
        {"IdEdit", "abc", 1, "AB"},
        {"ComPortCBox", "3a-9", 0, "39"},
        {"ComPortCBox", QString::fromUtf8("é４2"), 0, "42"},
        {"ComPortCBox", "47", 1, "4"},
    };
    TProtocol protocol(qApp, 0);
    CommSettings settings = Stored(5, 0);
    RunDialog(protocol, settings, [&](Dialog& d) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " " + c.typed.toStdString());
            // The port box gets its keys as the combo box, which hands them to its edit.
            QWidget* target = d.Get<QWidget>(c.field);
            ASSERT_NE(target, nullptr);
            QLineEdit* edit = d.TextOf(target);
            edit->clear();
            for (const QChar ch : c.typed) {
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch),
                                    Qt::NoModifier);
            }
            for (int i = 0; i < c.backspaces; ++i) QTest::keyClick(target, Qt::Key_Backspace);
            EXPECT_EQ(edit->text(), QString(c.text));
            EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
        }
    });
}

// A Japanese input method commits full-width text in one event: it passes the fields' filters
// as typed text does, and text still being composed is not shown.
TEST_F(ProtocolDialog, TextCommittedByAnInputMethodPassesTheFieldsKeyFilters) {
    struct Case {
        const char* field;
        QString committed;
        const char* text;
    };
    const Case cases[] = {
        {"IdEdit", QString::fromUtf8("１２ａｂ３ｚ-"), "12AB3"},
        {"KcrEdit", QString::fromUtf8("ＦＦ００"), "FF00"},
        {"ComPortCBox", QString::fromUtf8("１２"), "12"},
        {"ComPortCBox", QString::fromUtf8("ｃｏｍ３"), "3"},
    };
    TProtocol protocol(qApp, 0);
    CommSettings settings = Stored(5, 0);
    RunDialog(protocol, settings, [&](Dialog& d) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " " + c.committed.toStdString());
            QWidget* target = d.Get<QWidget>(c.field);
            QLineEdit* edit = d.TextOf(target);
            edit->clear();
            QInputMethodEvent composing(c.committed, {});
            QCoreApplication::sendEvent(target, &composing);
            EXPECT_EQ(edit->displayText(), QString());
            QInputMethodEvent committed;
            committed.setCommitString(c.committed);
            QCoreApplication::sendEvent(target, &committed);
            EXPECT_EQ(edit->text(), QString(c.text));
        }
        d.Edit("KcrEdit")->setText("1122334455667788");
        d.Edit("IdEdit")->setText("1122334455667788");
        d.TextOf(d.Get<QWidget>("ComPortCBox"))->clear();
        QInputMethodEvent port;
        port.setCommitString(QString::fromUtf8("１２"));
        QCoreApplication::sendEvent(d.Get<QWidget>("ComPortCBox"), &port);
        d.Ok();
    });
    EXPECT_EQ(settings.ComPort, 12);
}

TEST_F(ProtocolDialog, PastedTextPassesTheFieldsKeyFilters) {
    struct Case {
        const char* field;
        QString pasted;
        const char* text;
    };
    const Case cases[] = {
        {"IdEdit", "11 22 33 44 55 66 77 88", "1122334455667788"},
        {"KarEdit", "11 22 33 44 55 66 77 88", "1122334455667788"},
        {"KbrEdit", "11 22 33 44 55 66 77 88", "1122334455667788"},
        {"KcrEdit", "11 22 33 44 55 66 77 88", "1122334455667788"},
        {"KarEdit", "aa-bb:cc\tdd\nee ff 00 11\n", "AABBCCDDEEFF0011"},
        {"KbrEdit", QString::fromUtf8("0x1Ｆ,é2g"), "01F2"},  // "x", "g" and non-ASCII dropped
        {"ComPortCBox", " 1 2 ", "12"},
        {"ComPortCBox", "COM7", "7"},
    };
    for (const tapwedge_test::PasteWay& way : tapwedge_test::PasteWays()) {
        SCOPED_TRACE(way.name);
        TProtocol protocol(qApp, 0);
        CommSettings settings = Stored(5, 0);
        RunDialog(protocol, settings, [&](Dialog& d) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.field) + " " + c.pasted.toStdString());
                QLineEdit* edit = d.TextOf(d.Get<QWidget>(c.field));
                tapwedge_test::Paste(edit, c.pasted, way);
                EXPECT_EQ(edit->text(), QString(c.text));
            }
            // Nothing left that the filter takes: the field keeps its text.
            tapwedge_test::Paste(d.Edit("KcrEdit"), QString::fromUtf8("ｘｙ-z"), way);
            EXPECT_EQ(d.Edit("KcrEdit")->text(), QString("1122334455667788"));
            // A paste is never cut short to fit and mixed with the old digits.
            tapwedge_test::Paste(d.Edit("IdEdit"), "99 88", way, false);
            EXPECT_EQ(d.Edit("IdEdit")->text(), QString("11223344556677889988"));
            Dialog::Type(d.Edit("IdEdit"), "1122334455667788");
            d.Edit("KbrEdit")->setText("1122334455667788");
            d.Ok();
        });
        const std::uint8_t kar[8] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x11};
        const std::uint8_t kcr[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
        EXPECT_EQ(std::memcmp(settings.Keys.Kar, kar, 8), 0) << "the pasted keys themselves are stored";
        EXPECT_EQ(std::memcmp(settings.Keys.Kcr, kcr, 8), 0);
        EXPECT_EQ(settings.ComPort, 7);
    }
}

TEST_F(ProtocolDialog, OkTakesOnlyKeysOfSixteenHexDigits) {
    struct Case {
        const char* name;
        const char* field;
        const char* keyName;
        std::function<void(QLineEdit*)> enter;
    };
    const auto type = [](const char* digits) {
        return [digits](QLineEdit* edit) { Dialog::Type(edit, digits); };
    };
    const auto paste = [](const char* text) {
        return [text](QLineEdit* edit) {
            tapwedge_test::Paste(edit, text, tapwedge_test::PasteWays().front());
        };
    };
    const Case cases[] = {
        {"15 digits typed", "KarEdit", "Kar", type("123456789ABCDEF")},
        {"17 digits pasted", "KbrEdit", "Kbr", paste("11 22 33 44 55 66 77 88 9")},
        {"15 digits pasted", "KcrEdit", "Kcr", paste("11 22 33 44 55 66 77 8")},
        {"empty", "IdEdit", "ID", type("")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answers.Boxes.clear();
        TProtocol protocol(qApp, 2);
        CommSettings settings = Stored(5, 1);
        std::memset(settings.Keys.Kar, 0x52, 8);
        const CommSettings before = settings;
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            QLineEdit* edit = d.Edit(c.field);
            c.enter(edit);
            d.Ok();
            EXPECT_TRUE(d.form->isVisible()) << "the dialog stays open on the key";
            ASSERT_EQ(answers.Boxes.size(), 1u);
            const QString text = answers.Boxes[0].Text;
            EXPECT_TRUE(text.contains(QString(" %1 ").arg(c.keyName))) << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("16桁"))) << text.toStdString();
            EXPECT_TRUE(SameSettings(protocol.Settings, before)) << "nothing is stored";
            EXPECT_EQ(edit->selectedText(), edit->text()) << "the key is selected for retyping";
            // Corrected, the dialog takes it.
            Dialog::Type(edit, "0123456789abcdef");
            d.Ok();
            EXPECT_FALSE(d.form->isVisible());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(answers.Boxes.size(), 1u);
        const std::uint8_t corrected[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
        const std::string field = c.field;
        const std::uint8_t* stored = field == "IdEdit"    ? settings.Keys.Id
                                     : field == "KarEdit" ? settings.Keys.Kar
                                     : field == "KbrEdit" ? settings.Keys.Kbr
                                                          : settings.Keys.Kcr;
        EXPECT_EQ(std::memcmp(stored, corrected, 8), 0);
    }
}

TEST_F(ProtocolDialog, KeysShownAsSixteenDigitsAndStoredAsTyped) {
    TProtocol protocol(qApp, 2);
    CommSettings settings = Stored(5, 1);
    const std::uint8_t id[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const std::uint8_t kar[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A};
    const std::uint8_t kbr[8] = {0xF0, 0x0F, 0xFF, 0x10, 0x20, 0x30, 0x40, 0x50};
    std::memcpy(settings.Keys.Id, id, 8);
    std::memcpy(settings.Keys.Kar, kar, 8);
    std::memcpy(settings.Keys.Kbr, kbr, 8);
    std::memset(settings.Keys.Kcr, 0xA5, 8);
    const int result = RunDialog(protocol, settings, [](Dialog& d) {
        EXPECT_EQ(d.Edit("IdEdit")->text(), QString("0123456789ABCDEF"));
        EXPECT_EQ(d.Edit("KarEdit")->text(), QString("000000000000000A"));
        EXPECT_EQ(d.Edit("KbrEdit")->text(), QString("F00FFF1020304050"));
        EXPECT_EQ(d.Edit("KcrEdit")->text(), QString("A5A5A5A5A5A5A5A5"));
        EXPECT_EQ(d.Edit("IdEdit")->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(d.Edit("KarEdit")->echoMode(), QLineEdit::Password);
        Dialog::Type(d.Edit("KarEdit"), "abcdef0123456789");
        d.Ok();
    });
    EXPECT_EQ(result, 0);
    const std::uint8_t karStored[8] = {0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89};
    std::uint8_t kcr[8];
    std::memset(kcr, 0xA5, 8);
    EXPECT_EQ(std::memcmp(settings.Keys.Id, id, 8), 0) << "an unchanged key reads back the same";
    EXPECT_EQ(std::memcmp(settings.Keys.Kar, karStored, 8), 0);
    EXPECT_EQ(std::memcmp(settings.Keys.Kbr, kbr, 8), 0);
    EXPECT_EQ(std::memcmp(settings.Keys.Kcr, kcr, 8), 0);
}

TEST_F(ProtocolDialog, NotConfirmedLeavesTheRecord) {
    struct Case {
        const char* name;
        std::function<void(Dialog&)> close;
    };
    const Case cases[] = {
        {"Cancel", [](Dialog& d) { d.Cancel(); }},
        {"Escape", [](Dialog& d) { QTest::keyClick(d.form, Qt::Key_Escape); }},
        {"closed", [](Dialog& d) { d.form->close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answers.YesNo = {kResultYes};
        TProtocol protocol(qApp, 0);
        CommSettings settings = Stored(5, 1);
        settings.Baud = 76800;
        const CommSettings before = settings;
        bool closed = false;
        const int result = RunDialog(protocol, settings, [&](Dialog& d) {
            Dialog::Type(d.Port()->lineEdit(), "1");
            d.Speed()->setCurrentIndex(0);
            Dialog::Type(d.Edit("IdEdit"), "FFFF");
            d.Radio("AuthenRBtn")->click();
            d.Radio("ComEncRBtn")->click();
            c.close(d);
            closed = !d.form->isVisible();
        });
        EXPECT_TRUE(closed);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(SameSettings(settings, before));
        EXPECT_TRUE(SameSettings(protocol.Settings, before)) << "the copy changes only on OK";
    }
}

}  // namespace
