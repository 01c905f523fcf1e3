// The settings dialogs of the real program, worked as a user works them: a click on the tray
// icon, the menu item, the dialog filled in with the keyboard and confirmed. A new output order
// and separator and a changed FeliCa data area show in the very next card's typed text, and
// again after the program was ended and started anew from its folder, which keeps them in
// Wedgetap.ini and Card.set.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/card_param_image.h"
#include "core/param_file_cipher.h"
#include "core/settings.h"
#include "core/settings_io.h"
#include "desktop_user.h"
#include "program_run.h"
#include "standard_card_places.h"

namespace e2e {
namespace {

constexpr int kWindowWaitMs = 10000;
constexpr int kOutputWaitMs = 10000;

// The menu items from the top, as the Down key reaches them.
constexpr int kOutputSettingsItem = 1;  // "出力設定"
constexpr int kCardSettingsItem = 2;    // "カード設定"

// The FeliCa card's first data area after the change: block 1 from byte 2, 4 bytes.
constexpr rig::AreaPlace kNewFelicaArea{1, 2, 4};

// What the standard cards give with the new settings: area 1 and TAB, area 2 and RETURN (when
// the card has one), then the ID and RETURN; the CSV keeps its ID-first order.
struct CardOutput {
    const char* card;
    const char* typed;
    const char* line;
};
const CardOutput kMifare{"mifare", "B401B403B405\tB509B50B\r04A1B2C3\r", "04A1B2C3,B401B403B405,B509B50B\n"};
const CardOutput kFelica{"felica", "F111F112\t012E4C0011223344\r", "012E4C0011223344,F111F112,\n"};
// Entry 2 has no control in the card dialog and comes through it unchanged.
const CardOutput kIso15693{"iso15693", "0B0CC20A0B0C\t11223344556604E0\r", "11223344556604E0,0B0CC20A0B0C,\n"};

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

class SettingsDialogs : public testing::Test {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "the program is not built (" TAPWEDGE_PROGRAM "): nothing to run end to end";
        RunOptions options;
        options.screen = "1280x800x24";  // the dialogs fit, as on a desk
        run_ = std::make_unique<ProgramRun>(options);
        ASSERT_EQ(run_->Error(), "");
        ASSERT_TRUE(run_->WaitReady(30000)) << "the program never authenticated: " << run_->ProgramErrors();
        user_ = std::make_unique<DesktopUser>(run_->DisplayName());
        ASSERT_EQ(user_->Error(), "");
    }

    // Opens the tray icon's menu and chooses the item `position` places from the top. The key
    // recorder lets the focus go, for the dialog that the item opens.
    void ChooseFromTrayMenu(int position) {
        ASSERT_TRUE(run_->RecorderHoldsFocus(false)) << run_->RecorderState();
        // The menu has no title of its own: its window is named after the program.
        const DesktopUser::WindowId menu = user_->OpenTrayMenu("tapwedge", "Tapwedge", kWindowWaitMs);
        ASSERT_NE(menu, 0u) << "no tray icon or no menu; " << Scene();
        // The keys reach the menu even before it has grabbed the keyboard.
        ASSERT_TRUE(user_->Focus(menu, kWindowWaitMs)) << Scene();
        for (int i = 0; i < position; ++i) ASSERT_TRUE(user_->Press({"Down"}));
        ASSERT_TRUE(user_->Press({"Return"}));
    }

    // What was on the screen and what the program said, for a failed wait.
    std::string Scene() { return user_->Screen() + "; the program wrote: " + run_->ProgramErrors(); }

    void ExpectClosed(DesktopUser::WindowId dialog, const std::string& title) {
        EXPECT_TRUE(user_->WaitUntilClosed(dialog, kWindowWaitMs))
            << "\"" << title << "\" stays open; " << Scene();
    }

    // The ID after the data with RETURN, and TAB after area 1.
    void ChangeOutputSettings() {
        ChooseFromTrayMenu(kOutputSettingsItem);
        const DesktopUser::WindowId dialog = user_->WaitForFocusedWindow("設定フォーム", kWindowWaitMs);
        ASSERT_NE(dialog, 0u) << "no \"設定フォーム\" with the focus; " << Scene();
        // From "1. IDm/UID", which has the focus, along the dialog's tab order.
        ASSERT_TRUE(user_->Press({
            "space",              // "1. IDm/UID" off, which enables "4. IDm/UID"
            "Tab", "Tab", "Tab",  // the separator of "2. 第一リード領域"
            "Home",               // "TAB"
            "Tab", "Tab", "Tab",  // "4. IDm/UID"
            "space",              // on: the ID after the data
            "Tab", "Home", "Down",  // its separator: "ENTER"
            "Return",             // OK
        }));
        ExpectClosed(dialog, "設定フォーム");
    }

    // Parameter 1 (FeliCa) reads kNewFelicaArea; saved to Card.set.
    void ChangeCardParameters() {
        ChooseFromTrayMenu(kCardSettingsItem);
        const DesktopUser::WindowId password = user_->WaitForFocusedWindow("Password入力", kWindowWaitMs);
        ASSERT_NE(password, 0u) << "no \"Password入力\" with the focus; " << Scene();
        ASSERT_TRUE(user_->Type("58316"));
        ASSERT_TRUE(user_->Press({"Return"}));
        ExpectClosed(password, "Password入力");

        const DesktopUser::WindowId dialog = user_->WaitForFocusedWindow("Card", kWindowWaitMs);
        ASSERT_NE(dialog, 0u) << "no \"Card\" with the focus; " << Scene();
        // From the file list (Card.set selected), which has the focus, along the tab order.
        ASSERT_TRUE(user_->Press({"Tab", "space"}));  // "パラメータ変更": parameter 1 can be edited
        // Past "ファイルへの保存無", OK, Cancel, "パラメータ１", its card kind, the system code,
        // the code conversion and both service codes to the first area's start block.
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(user_->Press({"Tab"}));
        for (int value : {kNewFelicaArea.block, kNewFelicaArea.start, kNewFelicaArea.length}) {
            ASSERT_TRUE(user_->Press({"ctrl+a"}));
            ASSERT_TRUE(user_->Type(std::to_string(value)));
            ASSERT_TRUE(user_->Press({"Tab"}));
        }
        for (int i = 0; i < 11; ++i) ASSERT_TRUE(user_->Press({"shift+Tab"}));  // back to OK
        ASSERT_TRUE(user_->Press({"space"}));

        const DesktopUser::WindowId name = user_->WaitForFocusedWindow("ファイル名入力", kWindowWaitMs);
        ASSERT_NE(name, 0u) << "no \"ファイル名入力\" with the focus; " << Scene();
        ASSERT_TRUE(user_->Press({"Return"}));  // the file it came from: "Card.set"
        ExpectClosed(name, "ファイル名入力");
        ExpectClosed(dialog, "Card");
    }

    // Puts the card on the reader and takes it away once its text has come.
    void ExpectTyped(const CardOutput& card) {
        SCOPED_TRACE(card.card);
        const std::string typed = card.typed;
        ASSERT_TRUE(Ok(run_->Command(std::string("present ") + card.card)));
        EXPECT_EQ(run_->Typed(typed.size(), kOutputWaitMs), typed) << run_->RecorderState();
        ASSERT_TRUE(Ok(run_->Command(std::string("remove ") + card.card)));
        lines_ += card.line;
    }

    std::unique_ptr<ProgramRun> run_;
    std::unique_ptr<DesktopUser> user_;
    std::string lines_;  // the CSV lines so far
};

TEST_F(SettingsDialogs, ChangedOutputAndCardSettingsApplyAtOnceAndAfterARestart) {
    ASSERT_NO_FATAL_FAILURE(ChangeOutputSettings());
    ASSERT_TRUE(run_->RecorderHoldsFocus(true));
    ExpectTyped(kMifare);

    ASSERT_NO_FATAL_FAILURE(ChangeCardParameters());
    ASSERT_TRUE(run_->RecorderHoldsFocus(true));
    ExpectTyped(kFelica);
    ExpectTyped(kIso15693);
    EXPECT_EQ(run_->CsvText(), lines_);

    EXPECT_EQ(run_->StopProgram(), 0) << run_->ProgramErrors();
    ASSERT_EQ(run_->StartProgramAgain(), "");
    ExpectTyped(kFelica);
    ExpectTyped(kMifare);
    EXPECT_EQ(run_->CsvText(), lines_);

    // What the program keeps in its folder, read back as the program reads it.
    const std::string folder = run_->ProgramFolder() + "/";
    tapwedge::AppSettings settings = tapwedge::AppSettings::Defaults(folder);
    tapwedge::LoadSettings(settings, tapwedge::kIniFileName, folder);
    const tapwedge::OutputItems& items = settings.OutputItems;
    EXPECT_EQ(items[0].Enabled, 0);
    EXPECT_EQ(items[1].Separator, 0);  // TAB
    EXPECT_EQ(items[2].Separator, 1);  // RETURN, as before
    EXPECT_EQ(items[3].Enabled, 1);
    EXPECT_EQ(items[3].Separator, 1);
    EXPECT_EQ(settings.CardFileName, "Card.set");
    tapwedge::CardParamImage image{};
    tapwedge::ParamFileCipher cipher;
    ASSERT_EQ(cipher.ReadParamFile(image.Data(), tapwedge::kCardParamImageSize, folder + "Card.set"), 0);
    const tapwedge::CardArea& area = image.Entries[0].Areas[0];
    EXPECT_EQ(area.Block, kNewFelicaArea.block);
    EXPECT_EQ(area.Start, kNewFelicaArea.start);
    EXPECT_EQ(area.Length, kNewFelicaArea.length);
    EXPECT_TRUE(run_->ProgramRunning()) << run_->ProgramErrors();
}

}  // namespace
}  // namespace e2e
