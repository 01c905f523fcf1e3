// The tray menu and the program's boxes as a user meets them while cards come: a click on the
// tray icon while a card is typed slowly leaves the card's keys to the focused window and opens
// the menu after them; keys that the reader refuses are told in one box, after which the user
// can reach the menu to mend them while the program keeps trying; a minimised settings dialog
// comes back with a click on the tray icon.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "desktop_user.h"
#include "program_run.h"
#include "standard_outputs.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindowWaitMs = 10000;

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

class MenuAndBoxes : public testing::Test {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "the program is not built (" TAPWEDGE_PROGRAM "): nothing to run end to end";
    }
};

TEST_F(MenuAndBoxes, ATrayClickWhileACardIsTypedOpensTheMenuOnlyAfterTheCard) {
    RunOptions options;
    options.wait_time_ms = 100;
    ProgramRun run(options);
    ASSERT_EQ(run.Error(), "");
    ASSERT_TRUE(run.WaitReady(30000)) << "the program never authenticated: " << run.ProgramErrors();
    DesktopUser user(run.DisplayName());
    ASSERT_EQ(user.Error(), "");

    const CardOutput& card = kStandardOutputs[kFelicaOutput];
    const std::string expected = card.typed;
    ASSERT_TRUE(Ok(run.Command(std::string("present ") + card.card)));
    std::string typed = run.Typed(1, kWindowWaitMs);
    ASSERT_FALSE(typed.empty()) << "the card was not typed";
    // The menu has no title of its own: its window is named after the program.
    const DesktopUser::WindowId menu = user.OpenTrayMenu("tapwedge", "Tapwedge", 20000);
    typed += run.Typed(expected.size() - typed.size(), kWindowWaitMs);
    EXPECT_NE(menu, 0u) << "the menu never opened; " << user.Screen();
    EXPECT_EQ(typed, expected);
    EXPECT_EQ(run.Typed(1, 500), "");
    EXPECT_EQ(run.CsvText(), card.line);
    if (menu != 0) {
        EXPECT_TRUE(user.Press({"Escape"}));
        EXPECT_TRUE(user.WaitUntilClosed(menu, kWindowWaitMs));
    }
    EXPECT_TRUE(run.ProgramRunning()) << run.ProgramErrors();
}

TEST_F(MenuAndBoxes, RefusedReaderKeysAreToldOnceAndTheMenuStaysWithinReach) {
    RunOptions options;
    options.wrong_reader_keys = true;
    ProgramRun run(options);
    ASSERT_EQ(run.Error(), "");
    ASSERT_TRUE(run.RecorderHoldsFocus(false)) << run.RecorderState();
    DesktopUser user(run.DisplayName());
    ASSERT_EQ(user.Error(), "");

    const DesktopUser::WindowId box = user.WaitForBox("Tapwedge", 30000);
    ASSERT_NE(box, 0u) << "no message: " << user.Screen() << "; " << run.ProgramErrors();
    ASSERT_TRUE(user.Focus(box, kWindowWaitMs));
    ASSERT_TRUE(user.Press({"Return"}));
    ASSERT_TRUE(user.WaitUntilClosed(box, kWindowWaitMs));

    const auto quietUntil = Clock::now() + std::chrono::seconds(10);
    const DesktopUser::WindowId menu = user.OpenTrayMenu("tapwedge", "Tapwedge", kWindowWaitMs);
    EXPECT_NE(menu, 0u) << "the menu did not open; " << user.Screen();
    if (menu != 0) {
        EXPECT_TRUE(user.Press({"Escape"}));
        EXPECT_TRUE(user.WaitUntilClosed(menu, kWindowWaitMs));
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(quietUntil - Clock::now());
    EXPECT_EQ(user.WaitForBox("Tapwedge", static_cast<int>(left.count())), 0u) << "the message came back";
    EXPECT_NE(run.Command("status").find(" authenticated=0"), std::string::npos);
    EXPECT_TRUE(run.ProgramRunning()) << run.ProgramErrors();
}

// Under a window manager that draws a minimise box on every dialog it is let to (openbox), the
// settings dialog "設定フォーム" offers none and cannot be minimised; hidden all the same (with the
// whole desktop), a click on the tray icon brings it back with the keyboard and opens no menu
// above it, and once it is closed polling goes on.
TEST_F(MenuAndBoxes, AHiddenSettingsDialogComesBackWithATrayClick) {
    RunOptions options;
    options.window_manager = true;
    options.screen = "1280x800x24";  // the dialog fits, as on a desk
    ProgramRun run(options);
    ASSERT_EQ(run.Error(), "");
    ASSERT_TRUE(run.WaitReady(30000)) << "the program never authenticated: " << run.ProgramErrors();
    ASSERT_TRUE(run.RecorderHoldsFocus(false)) << run.RecorderState();
    DesktopUser user(run.DisplayName());
    ASSERT_EQ(user.Error(), "");

    const DesktopUser::WindowId menu = user.OpenTrayMenu("tapwedge", "Tapwedge", kWindowWaitMs);
    ASSERT_NE(menu, 0u) << "no tray icon or no menu; " << user.Screen();
    ASSERT_TRUE(user.Focus(menu, kWindowWaitMs)) << user.Screen();
    ASSERT_TRUE(user.Press({"Down", "Return"}));  // "出力設定"
    const DesktopUser::WindowId dialog = user.WaitForFocusedWindow("設定フォーム", kWindowWaitMs);
    ASSERT_NE(dialog, 0u) << user.Screen() << "; " << run.ProgramErrors();
    EXPECT_FALSE(user.Offers(dialog, "_NET_WM_ACTION_MINIMIZE"));
    EXPECT_FALSE(user.Offers(dialog, "_NET_WM_ACTION_MAXIMIZE_HORZ"));

    // Minimised without a box (the window manager refuses), or hidden with the whole desktop.
    EXPECT_FALSE(user.Minimise(dialog, 500)) << "minimised";
    ASSERT_TRUE(user.ShowDesktop(dialog, kWindowWaitMs)) << user.Screen();
    ASSERT_TRUE(user.ClickTrayIcon("tapwedge", kWindowWaitMs));
    EXPECT_TRUE(user.WaitUntilShown(dialog, kWindowWaitMs)) << "the dialog stays hidden; " << user.Screen();
    EXPECT_NE(user.WaitForFocusedWindow("設定フォーム", kWindowWaitMs), 0u) << user.Screen();
    EXPECT_EQ(user.WaitForWindow("Tapwedge", 500), 0u) << "a menu opened above the dialog";

    ASSERT_TRUE(user.Focus(dialog, kWindowWaitMs));
    ASSERT_TRUE(user.Press({"Escape"}));
    ASSERT_TRUE(user.WaitUntilClosed(dialog, kWindowWaitMs)) << user.Screen();
    user.EndShowDesktop();
    // Polling goes on: the next card is logged (the key recorder does not outlive being hidden).
    const CardOutput& card = kStandardOutputs[kFelicaOutput];
    ASSERT_TRUE(Ok(run.Command(std::string("present ") + card.card)));
    const auto logged = Clock::now() + std::chrono::milliseconds(kWindowWaitMs);
    while (run.CsvText() != card.line && Clock::now() < logged)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(run.CsvText(), card.line);
    EXPECT_TRUE(run.ProgramRunning()) << run.ProgramErrors();
}

}  // namespace
}  // namespace e2e
