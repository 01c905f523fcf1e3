// The tray menu's settings items around their dialogs, with the real dialogs answered as a user
// would, the simulated reader and real files in a scratch program folder.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/card_param_form.h"
#include "app/main_form.h"
#include "app/tasktray_icon.h"
#include "core/param_file_cipher.h"
#include "core/settings.h"
#include "platform/message_pump.h"
#include "platform/recording_key_injector.h"
#include "program_rig.h"
#include "ui_answers.h"

namespace tapwedge_test {
namespace {

using tapwedge::CardParamImage;
using tapwedge::app::TForm1;

CardParamImage ImageWithEntry() {
    CardParamImage image{};
    image.Entries[0].SetKind(0x9200);
    image.Entries[0].SetSystemCode(0xFFFF);
    image.Width1 = 7;
    return image;
}

class SettingsItems : public ::testing::Test {
protected:
    SettingsItems() {
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        folder.WriteCardSet(ImageWithEntry());
        folder.WriteIni("[COMUNICATION]\nCOM=0\n");
        form = std::make_unique<TForm1>(folder.Folder(), &keys);
        form->Timer1->stop();
        for (int i = 0; i < 3 && form->ReaderState != 3; ++i) form->Timer1Timer();
    }
    ~SettingsItems() override {
        form.reset();
        platform::SetMessagePump({});
    }

    void Choose(QAction* item) { ChooseFromTrayMenu(*form, item); }

    CardParamImage StoredImage() const {
        CardParamImage image{};
        tapwedge::ParamFileCipher cipher;
        EXPECT_EQ(cipher.ReadParamFile(image.Data(), tapwedge::kCardParamImageSize,
                                       folder.File("Card.set")),
                  0);
        return image;
    }

    ScratchProgramFolder folder;
    UiAnswers ui;
    platform::RecordingKeyInjector keys;
    SimulatedReader reader{Link::Usb, folder};
    std::unique_ptr<TForm1> form;
};

TEST_F(SettingsItems, CommunicationWithUnchangedKeysSavesOnlyTheCommunicationSection) {
    ASSERT_EQ(form->ReaderState, 3);
    const std::string cardFile = folder.Read("Card.set");
    bool pausedDuringDialog = false;
    AnswerNextDialog([&](QDialog& dialog) {
        pausedDuringDialog = form->ReaderState == 0 && !form->Timer1->isActive() &&
                             !form->N5CloseMItem->isEnabled();
        Click(dialog, "OKButton");
    });
    Choose(form->N3PortMItem);
    EXPECT_TRUE(pausedDuringDialog);
    EXPECT_EQ(folder.Read("Card.set"), cardFile);
    const std::string ini = folder.Read("Wedgetap.ini");
    EXPECT_EQ(ini.find("[PARAMETER"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[COMUNICATION]"), std::string::npos) << ini;
    EXPECT_TRUE(form->N5CloseMItem->isEnabled());

    // The reader is connected anew.
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1->stop();
    for (int i = 0; i < 3 && form->ReaderState != 3; ++i) form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 3);
}

TEST_F(SettingsItems, ChangedKeysGoIntoTheCardFileWhichKeepsItsEntries) {
    // A change of the entries kept only in memory must not reach the file.
    form->Image.Entries[0].SetKind(0x9240);
    AnswerNextDialog([&](QDialog& dialog) {
        auto* kar = dialog.findChild<QLineEdit*>(QStringLiteral("KarEdit"));
        ASSERT_NE(kar, nullptr);
        kar->setText(QStringLiteral("0123456789ABCDEF"));
        Click(dialog, "OKButton");
    });
    Choose(form->N3PortMItem);
    EXPECT_TRUE(ui.Boxes.empty());
    const CardParamImage stored = StoredImage();
    EXPECT_EQ(stored.ReaderKeysPresent, 1);
    const std::uint8_t kar[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(std::memcmp(stored.ReaderKeys.Kar, kar, 8), 0);
    EXPECT_EQ(std::memcmp(form->Settings.CommSettings.Keys.Kar, kar, 8), 0);
    EXPECT_EQ(stored.Entries[0].Kind(), 0x9200);
    EXPECT_EQ(stored.Width1, 7);
}

TEST_F(SettingsItems, ACancelledCommunicationDialogChangesNothingButReconnects) {
    const tapwedge::CommSettings before = form->Settings.CommSettings;
    AnswerNextDialog([](QDialog& dialog) { Click(dialog, "CancelButton"); });
    Choose(form->N3PortMItem);
    EXPECT_FALSE(std::filesystem::exists(folder.File("Wedgetap.ini.bak")));
    EXPECT_EQ(folder.Read("Wedgetap.ini"), "[COMUNICATION]\nCOM=0\n");
    EXPECT_EQ(std::memcmp(&form->Settings.CommSettings.Keys, &before.Keys, sizeof before.Keys), 0);
    EXPECT_EQ(form->ReaderState, 0);
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(SettingsItems, StopCheckedKeepsPollingStoppedAfterADialog) {
    Choose(form->N4StopMItem);
    ASSERT_TRUE(form->N4StopMItem->isChecked());
    AnswerNextDialog([](QDialog& dialog) { dialog.reject(); });
    Choose(form->N6VerMItem);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 1);
    EXPECT_EQ(form->ReaderState, 0x13);
}

TEST_F(SettingsItems, AMenuDismissedWhileADialogIsOpenLeavesPollingPaused) {
    bool pausedAfterMenu = false;
    AnswerNextDialog([&](QDialog& dialog) {
        // The tray icon opens the menu again above the dialog; it is left without a choice.
        DismissTrayMenu(*form);
        QCoreApplication::processEvents();
        emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        pausedAfterMenu = !form->Timer1->isActive() && form->Settings.PollingStopped == 1;
        Click(dialog, "CancelButton");
    });
    Choose(form->N3PortMItem);
    EXPECT_TRUE(pausedAfterMenu);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->ReaderState, 0);
}

TEST_F(SettingsItems, OutputSettingsConfirmedAreAppliedAndSaved) {
    AnswerNextDialog([](QDialog& dialog) {
        auto* normal = dialog.findChild<QRadioButton*>(QStringLiteral("UidDispNormalRBtn"));
        ASSERT_NE(normal, nullptr);
        normal->setChecked(true);
        Click(dialog, "OkBtn");
    });
    Choose(form->N1SetMItem);
    EXPECT_EQ(form->Settings.OutputOptions.UidNormalOrder, 1);
    EXPECT_EQ(form->Engine.UidNormalOrder, 1);
    EXPECT_NE(folder.Read("Wedgetap.ini").find("UIDDISP=0"), std::string::npos);
    EXPECT_TRUE(form->Timer1->isActive());
}

// A settings file that cannot be saved (here a folder stands in its place) holds the change for
// this run and says so once beside the tray icon, again only after a save succeeded in between.
TEST_F(SettingsItems, AFailedSaveOfTheSettingsIsToldOnceUntilASaveSucceeds) {
    const auto confirmOutputSettings = [&] {
        AnswerNextDialog([](QDialog& dialog) {
            auto* off = dialog.findChild<QRadioButton*>(QStringLiteral("BeepOffRBtn"));
            ASSERT_NE(off, nullptr);
            off->setChecked(true);
            Click(dialog, "OkBtn");
        });
        Choose(form->N1SetMItem);
    };
    const std::string ini = folder.File("Wedgetap.ini");
    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    const int before = form->TrayIcon->MessagesShown;

    confirmOutputSettings();
    EXPECT_EQ(form->Settings.OutputOptions.Beep, 0) << "the change holds for this run";
    ASSERT_EQ(form->TrayIcon->MessagesShown, before + 1);
    EXPECT_TRUE(form->TrayIcon->LastMessage.startsWith(QStringLiteral("設定を保存できません。")))
        << form->TrayIcon->LastMessage.toStdString();
    EXPECT_TRUE(form->TrayIcon->LastMessage.contains(QString::fromStdString(ini)))
        << form->TrayIcon->LastMessage.toStdString();
    confirmOutputSettings();
    EXPECT_EQ(form->TrayIcon->MessagesShown, before + 1) << "told once";

    std::filesystem::remove(ini);
    confirmOutputSettings();
    EXPECT_EQ(form->TrayIcon->MessagesShown, before + 1);
    EXPECT_NE(folder.Read("Wedgetap.ini").find("BEEP=OFF"), std::string::npos);

    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    confirmOutputSettings();
    EXPECT_EQ(form->TrayIcon->MessagesShown, before + 2) << "told anew after a save in between";
    EXPECT_TRUE(ui.Boxes.empty()) << "no box stops the program";
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(SettingsItems, AWrongOrCancelledPasswordOpensNothing) {
    for (const char* typed : {"12345", ""}) {
        SCOPED_TRACE(typed);
        bool cardDialogOpened = false;
        AnswerNextDialog([&](QDialog& dialog) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("PasswordEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(QString::fromLatin1(typed));
            if (*typed) {
                Click(dialog, "OkBtn");
            } else {
                Click(dialog, "CancelBtn");
            }
        });
        // Anything modal that opened after the password would be the card dialog.
        QTimer::singleShot(300, [&] {
            if (auto* next = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                cardDialogOpened = true;
                next->reject();
            }
        });
        Choose(form->N2CardMItem);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 400) QCoreApplication::processEvents();
        EXPECT_FALSE(cardDialogOpened);
        EXPECT_TRUE(form->Timer1->isActive());
        form->Timer1->stop();
    }
}

// A minimised modal dialog would hide itself and keep polling paused: the settings dialogs ask
// for a title bar without minimise and maximise boxes, as the program's other dialogs.
TEST_F(SettingsItems, TheSettingsDialogsOfferNoMinimiseOrMaximiseBox) {
    const auto titleBarOnly = [](const QDialog& dialog) {
        const Qt::WindowFlags flags = dialog.windowFlags();
        return flags.testFlag(Qt::CustomizeWindowHint) && flags.testFlag(Qt::WindowTitleHint) &&
               !flags.testFlag(Qt::WindowMinimizeButtonHint) &&
               !flags.testFlag(Qt::WindowMaximizeButtonHint);
    };
    bool outputDialog = false;
    AnswerNextDialog([&](QDialog& dialog) {
        outputDialog = titleBarOnly(dialog);
        dialog.reject();
    });
    Choose(form->N1SetMItem);
    EXPECT_TRUE(outputDialog) << "設定フォーム";
    bool cardDialog = false;
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        cardDialog = titleBarOnly(card);
        card.reject();
    });
    Choose(form->N2CardMItem);
    EXPECT_TRUE(cardDialog) << "Card";
}

TEST_F(SettingsItems, TheCardDialogOffersIso15693OnlyWhileTheReaderHandlesIt) {
    std::uint16_t offered = 0;
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        offered = card.CardDialogFlags;
        card.reject();
    });
    Choose(form->N2CardMItem);
    EXPECT_EQ(offered & 0x80, 0x80);  // "TQ5862" reads ISO15693

    reader.Unplug();
    form->Timer1Timer();
    ASSERT_EQ(form->ReaderState, 0);
    offered = 0xFF;
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        offered = card.CardDialogFlags;
        card.reject();
    });
    Choose(form->N2CardMItem);
    EXPECT_EQ(offered & 0x80, 0);
}

TEST_F(SettingsItems, AChangeKeptInMemoryIsDecodedAndSavesAnEmptyFileName) {
    // An image changed only in memory before: the dialog opens on it with no file selected.
    form->Image.Flags = CardParamImage::kTemporaryChange;
    form->Image.ReaderKeysPresent = 1;  // the keys section in memory stays as it is
    AnswerCardDialog([](tapwedge::app::TPosParaForm& card) {
        EXPECT_TRUE(card.findChild<QCheckBox*>(QStringLiteral("TempChkBox"))->isChecked());
        Click(card, "OkBitBtn");
    });
    Choose(form->N2CardMItem);
    EXPECT_TRUE(ui.Boxes.empty()) << ui.Texts().front().toStdString();
    EXPECT_EQ(form->Settings.CardFileName, "");
    EXPECT_NE(folder.Read("Wedgetap.ini").find("FILE="), std::string::npos);
    EXPECT_EQ(folder.Read("Wedgetap.ini").find("Card.set"), std::string::npos);
    EXPECT_EQ(form->Engine.Entries[0].Kind, 0x9200);
    EXPECT_EQ(form->Image.ReaderKeysPresent, 1);
    EXPECT_TRUE(form->Timer1->isActive());
}

// A change kept only in memory is marked in the program's image (Flags bit 7), so that the card
// dialog opens on it as such; saved to a file or replaced by a file's image, it is no longer
// marked, and no file gets the mark.
TEST_F(SettingsItems, AChangeKeptOnlyInMemoryIsMarkedUntilSavedOrReplaced) {
    auto status = [](tapwedge::app::TPosParaForm& card) {
        return card.findChild<QStatusBar*>(QStringLiteral("StatusBar1"))->currentMessage();
    };
    auto edit = [](tapwedge::app::TPosParaForm& card, const char* name) {
        return card.findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    auto check = [](tapwedge::app::TPosParaForm& card, const char* name) {
        return card.findChild<QCheckBox*>(QString::fromLatin1(name));
    };
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        check(card, "EditChkBtn")->setChecked(true);
        edit(card, "CSysCodeEdit1")->setText(QStringLiteral("1234"));
        check(card, "TempChkBox")->setChecked(true);
        Click(card, "OkBitBtn");
    });
    Choose(form->N2CardMItem);
    EXPECT_EQ(form->Image.Flags & 0x80, 0x80);
    EXPECT_EQ(form->Image.Entries[0].SystemCode(), 0x1234);
    EXPECT_EQ(StoredImage().Entries[0].SystemCode(), 0xFFFF);

    // Reopened: the unsaved change, with no file selected; then saved.
    bool shownAsChange = false;
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        shownAsChange =
            check(card, "EditChkBtn")->isChecked() && check(card, "TempChkBox")->isChecked() &&
            card.findChild<QListWidget*>(QStringLiteral("ListBox1"))->selectedItems().isEmpty() &&
            edit(card, "CSysCodeEdit1")->text() == "1234" &&
            status(card) == QStringLiteral("一時的に変更されたパラメータです");
        check(card, "TempChkBox")->setChecked(false);
        ui.Inputs.push_back({true, QStringLiteral("Card")});
        Click(card, "OkBitBtn");
    });
    Choose(form->N2CardMItem);
    EXPECT_TRUE(shownAsChange);
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(form->Image.Flags & 0x80, 0);
    EXPECT_EQ(StoredImage().Flags & 0x80, 0);
    EXPECT_EQ(StoredImage().Entries[0].SystemCode(), 0x1234);

    // Kept in memory again, then a file chosen in view mode replaces it.
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        check(card, "EditChkBtn")->setChecked(true);
        check(card, "TempChkBox")->setChecked(true);
        Click(card, "OkBitBtn");
    });
    Choose(form->N2CardMItem);
    ASSERT_EQ(form->Image.Flags & 0x80, 0x80);
    AnswerCardDialog([&](tapwedge::app::TPosParaForm& card) {
        check(card, "EditChkBtn")->setChecked(false);
        auto* list = card.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        list->setCurrentRow(0);
        Click(card, "OkBitBtn");
    });
    Choose(form->N2CardMItem);
    EXPECT_EQ(form->Settings.CardFileName, "Card.set");
    EXPECT_EQ(form->Image.Flags & 0x80, 0);
    EXPECT_EQ(StoredImage().Flags & 0x80, 0);
}

}  // namespace
}  // namespace tapwedge_test
