// The main form's start-up from its files, the tray icon and the data view.
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/tasktray_icon.h"
#include "app/view_form.h"
#include "platform/exception_handler.h"
#include "platform/recording_key_injector.h"
#include "program_rig.h"
#include "ui_answers.h"

namespace tapwedge_test {
namespace {

using tapwedge::CardParamImage;
using tapwedge::app::TForm1;
using tapwedge::app::TTasktrayIcon;

bool SameKeys(const TwAuthKeys& a, const TwAuthKeys& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TwAuthKeys FileKeys() {
    TwAuthKeys keys{};
    for (int i = 0; i < 8; ++i) {
        keys.Id[i] = static_cast<std::uint8_t>(0xA0 + i);
        keys.Kar[i] = static_cast<std::uint8_t>(0xB0 + i);
        keys.Kbr[i] = static_cast<std::uint8_t>(0xC0 + i);
        keys.Kcr[i] = static_cast<std::uint8_t>(0xD0 + i);
    }
    return keys;
}

// A FeliCa entry that outputs the IDm only.
CardParamImage IdOnlyImage() {
    CardParamImage image{};
    image.Entries[0].SetKind(0x9200);
    image.Entries[0].SetSystemCode(0xFFFF);
    return image;
}

class StartUp : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> Start() {
        return std::make_unique<TForm1>(folder.Folder(), &keys);
    }
    QString Tip(TForm1& form) { return form.TrayIcon->TrayIcon().toolTip(); }
    bool Shows(TForm1& form, const QIcon& icon) {
        return form.TrayIcon->Icon.cacheKey() == icon.cacheKey();
    }

    ScratchProgramFolder folder;
    UiAnswers ui;
    platform::RecordingKeyInjector keys;
};

TEST_F(StartUp, WithoutCardFileOneMessageAZeroImageAndNothingDecoded) {
    auto form = Start();
    EXPECT_EQ(ui.Texts(), std::vector<QString>{QStringLiteral("パラメータ読み取りエラー")});
    EXPECT_EQ(std::memcmp(form->Image.Data(), CardParamImage{}.Data(), sizeof(CardParamImage)), 0);
    for (const auto& entry : form->Engine.Entries) EXPECT_EQ(entry.Kind, 0);
    EXPECT_TRUE(SameKeys(form->Settings.CommSettings.Keys,
                         tapwedge::CommSettings::DefaultReaderKeys()));
}

TEST_F(StartUp, ACorruptCardFileLeavesTheImageZero) {
    CardParamImage image = IdOnlyImage();
    folder.WriteCardSet(image);
    std::string bytes = folder.Read("Card.set");
    bytes[bytes.size() - 1] ^= 0x55;  // the check block no longer decrypts
    folder.WriteIni("");
    { std::ofstream(folder.File("Card.set"), std::ios::binary | std::ios::trunc) << bytes; }
    auto form = Start();
    EXPECT_EQ(ui.Texts(), std::vector<QString>{QStringLiteral("パラメータ読み取りエラー")});
    EXPECT_EQ(std::memcmp(form->Image.Data(), CardParamImage{}.Data(), sizeof(CardParamImage)), 0);
    EXPECT_EQ(form->Engine.Entries[0].Kind, 0);
}

TEST_F(StartUp, TheFileKeysReplaceTheBuiltInKeysOnlyWhenByte175IsSet) {
    for (const std::uint8_t flag : {0, 1, 0x80}) {
        SCOPED_TRACE(flag);
        CardParamImage image = IdOnlyImage();
        image.ReaderKeys = FileKeys();
        image.ReaderKeysPresent = flag;
        folder.WriteCardSet(image);
        auto form = Start();
        EXPECT_TRUE(ui.Boxes.empty());
        EXPECT_EQ(form->Engine.Entries[0].Kind, 0x9200);
        EXPECT_TRUE(SameKeys(form->Settings.CommSettings.Keys,
                             flag ? FileKeys() : tapwedge::CommSettings::DefaultReaderKeys()));
    }
}

TEST_F(StartUp, StartOffShowsTheStoppedIconWithTheClosedTipAndRunsNoTick) {
    folder.WriteCardSet(IdOnlyImage());
    folder.WriteIni("[PARAMETER]\nSTART=OFF\n");
    auto form = Start();
    EXPECT_TRUE(Shows(*form, form->Image3));
    EXPECT_EQ(Tip(*form), QStringLiteral("デバイス未検出/COMクローズ"));
    EXPECT_TRUE(form->N4StopMItem->isChecked());
    EXPECT_EQ(form->ReaderState, 0x10);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 1);
}

TEST_F(StartUp, StartOnShowsTheNoReaderIconAndStartsPollingEverySecond) {
    folder.WriteCardSet(IdOnlyImage());
    auto form = Start();
    EXPECT_TRUE(Shows(*form, form->Image1));
    EXPECT_EQ(Tip(*form), QStringLiteral("デバイス未検出/COMクローズ"));
    EXPECT_FALSE(form->N4StopMItem->isChecked());
    EXPECT_EQ(form->ReaderState, 0);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Settings.CardKeyId, 0xF0F0F0);
}

TEST_F(StartUp, AReplaceKeyOutsideItsTableBecomesZero) {
    folder.WriteCardSet(IdOnlyImage());
    const struct {
        const char* stored;
        int applied;
    } cases[] = {{"7", 0}, {"-1", 0}, {"3", 3}, {"1", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        folder.WriteIni(std::string("[PARAMETER]\nREPLACEKEY=") + c.stored + "\n");
        EXPECT_EQ(Start()->Settings.OutputOptions.ReplaceKey, c.applied);
    }
}

TEST_F(StartUp, TheIniFileDecidesWhichMenuItemsShow) {
    folder.WriteCardSet(IdOnlyImage());
    const struct {
        const char* ini;
        bool settingsItems;
        bool view;
    } cases[] = {
        {"", true, false},
        {"[PARAMETER]\nMENUDISP=DISNABLE\n", false, false},
        {"[PARAMETER]\nMENUDISP=ENABLE\n[EXT]\nVIEW=ON\n", true, true},
        {"[PARAMETER]\nMENUDISP=DISNABLE\n[EXT]\nVIEW=ON\n", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        folder.WriteIni(c.ini);
        auto form = Start();
        for (QAction* item : {form->N1SetMItem, form->N2CardMItem, form->N3PortMItem, form->N1}) {
            EXPECT_EQ(item->isVisible(), c.settingsItems) << item->objectName().toStdString();
        }
        EXPECT_EQ(form->N7ViewMItem->isVisible(), c.view);
        EXPECT_EQ(form->N2->isVisible(), c.view);
        for (QAction* item : {form->N4StopMItem, form->N6VerMItem, form->N5CloseMItem}) {
            EXPECT_TRUE(item->isVisible());
        }
    }
}

TEST_F(StartUp, TheMenuHoldsItsNineItemsInOrder) {
    folder.WriteCardSet(IdOnlyImage());
    auto form = Start();
    std::vector<std::string> names;
    std::vector<QString> captions;
    for (QAction* action : form->PopupMenu1->actions()) {
        names.push_back(action->objectName().toStdString());
        captions.push_back(action->isSeparator() ? QString() : action->text());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"N1SetMItem", "N2CardMItem", "N3PortMItem", "N1",
                                               "N7ViewMItem", "N2", "N4StopMItem", "N6VerMItem",
                                               "N5CloseMItem"}));
    EXPECT_EQ(captions, (std::vector<QString>{"出力設定", "カード設定", "通信設定", "", "View", "",
                                              "停止", "Version", "終了"}));
}

TEST(TasktrayIcon, TheTipIsCutTo63Characters) {
    TTasktrayIcon tray(nullptr);
    const struct {
        int length;
        int shown;
    } cases[] = {{0, 0}, {63, 63}, {64, 63}, {100, 63}};
    for (const auto& c : cases) {
        tray.NotifyIcon(TTasktrayIcon::kModify, QString(c.length, QChar(0x30C6)));
        EXPECT_EQ(tray.TrayIcon().toolTip().size(), c.shown) << c.length;
    }
    tray.NotifyIcon(TTasktrayIcon::kDelete, QStringLiteral("x"));
    EXPECT_TRUE(tray.TrayIcon().toolTip().isEmpty());
    EXPECT_FALSE(tray.TrayIcon().isVisible());
}

TEST_F(StartUp, EveryLeftClickOpensTheMenuOtherButtonsOpenNothing) {
    folder.WriteCardSet(IdOnlyImage());
    auto form = Start();
    std::vector<int> buttons;
    form->TrayIcon->OnMouseUp = [&](TTasktrayIcon*, std::uint8_t button, int, int) {
        buttons.push_back(button);
    };
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        bool opens;
    } cases[] = {
        {QSystemTrayIcon::Context, false},
        {QSystemTrayIcon::MiddleClick, false},
        {QSystemTrayIcon::Trigger, true},
        // The second of two quick left clicks: lost, it would leave the user without a menu.
        {QSystemTrayIcon::DoubleClick, true},
    };
    for (const auto& c : cases) {
        emit form->TrayIcon->TrayIcon().activated(c.reason);
        EXPECT_EQ(form->PopupMenu1->isVisible(), c.opens) << c.reason;
        EXPECT_EQ(form->Timer1->isActive(), !c.opens) << c.reason;
        form->PopupMenu1->hide();
        QCoreApplication::processEvents();  // the dismissed menu resumes polling
        EXPECT_TRUE(form->Timer1->isActive()) << c.reason;
    }
    EXPECT_EQ(buttons, (std::vector<int>{1, 0, 0}));
}

TEST_F(StartUp, TheDataViewDumpsTwoTitledLinesOfHexBytes) {
    folder.WriteCardSet(IdOnlyImage());
    auto form = Start();
    form->N7ViewMItemClick();
    ASSERT_TRUE(form->ViewForm);
    EXPECT_EQ(form->ViewForm->windowTitle(), QStringLiteral("ReadDataView"));
    EXPECT_FALSE(form->ViewForm->Panel1->isEnabled());
    EXPECT_TRUE(form->ViewForm->ViewMemo->isReadOnly());

    const std::uint8_t id[] = {0x01, 0x2E, 0x44, 0xF3};
    const std::uint8_t data[] = {0x00, 0xFF};
    form->DumpToView(0, "CardID", 4, id);
    form->DumpToView(1, "CardData", 2, data);
    EXPECT_EQ(form->ViewForm->ViewMemo->toPlainText(),
              QStringLiteral("CardID\n 01 2E 44 F3 \nCardData\n 00 FF "));
    // A new read starts the view afresh.
    form->DumpToView(0, "CardID", 0, id);
    EXPECT_EQ(form->ViewForm->ViewMemo->toPlainText(), QStringLiteral("CardID\n "));
}

TEST_F(StartUp, TheEndOfTheSessionClosesTheLibraryAndTheForm) {
    folder.WriteCardSet(IdOnlyImage());
    SimulatedReader reader(Link::Usb, folder);
    ASSERT_EQ(TwUsbOpen("SIM00001", 0, 115200), TW_OK);
    auto form = Start();
    int closed = 0;
    QObject::connect(form.get(), &TForm1::Closed, [&] { ++closed; });
    form->WMEndSession();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(TwClose(), TW_ERR_NOT_OPEN);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->TrayIcon);
    // A tick that comes after the end does nothing.
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0);
}

TEST(Application, AnExceptionOutOfAnEventHandlerGoesToTheExceptionHandler) {
    std::vector<std::string> seen;
    platform::SetExceptionHandler([&](void*, std::exception_ptr error) {
        seen.push_back(platform::DescribeException(error));
    });
    QTimer::singleShot(0, [] { throw std::runtime_error("handler failed"); });
    QCoreApplication::processEvents();
    platform::SetExceptionHandler({});
    EXPECT_EQ(seen, std::vector<std::string>{"handler failed"});
}

}  // namespace
}  // namespace tapwedge_test
