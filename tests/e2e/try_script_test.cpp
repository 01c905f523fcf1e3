// scripts/try as a newcomer runs it: --help prints the usage; a run under a desktop with a tray
// types the cards and removes its scratch folder when stopped with Ctrl-C (unless --folder named
// one); with another copy of Tapwedge running it says so on the terminal and starts nothing.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
// After gtest, which has a type of the name of Xlib's macro None.
#include <X11/Xlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "child_process.h"
#include "xvfb_display.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kTry = TAPWEDGE_SOURCE_DIR "/scripts/try";

// A private desktop: Xvfb with a tray host, and private home, configuration and runtime folders.
class TryScript : public testing::Test {
protected:
    void SetUp() override {
        if (access(TAPWEDGE_BUILD_DIR "/bin/tapwedge", X_OK) != 0) GTEST_SKIP() << "the program is not built";
        fs::create_directories(tmp_ / "run");
        fs::permissions(tmp_ / "run", fs::perms::owner_all);
    }

    rig::ChildProcess::Options Options(bool capture) const {
        rig::ChildProcess::Options options;
        options.capture_stdout = capture;
        options.capture_stderr = capture;
        options.environment = {{"HOME", tmp_ / "home"}, {"XDG_CONFIG_HOME", tmp_ / "config"},
                               {"XDG_RUNTIME_DIR", tmp_ / "run"}, {"DBUS_SESSION_BUS_ADDRESS", rig::kUnset},
                               {"QT_QPA_PLATFORM", "xcb"}};
        if (display_) options.environment["DISPLAY"] = display_->Name();
        return options;
    }
    // Starts a desktop with a tray; "" or why not.
    std::string StartDesktop() {
        display_ = std::make_unique<tapwedge_test::XvfbDisplay>("jp", "320x240x24");
        if (!display_->Ok()) return display_->Error();
        rig::ChildProcess::Options options;
        options.environment = {{"DISPLAY", display_->Name()}};
        options.stderr_file = tmp_ / "trayer.err";
        tray_ = std::make_unique<rig::ChildProcess>(
            std::vector<std::string>{"trayer", "--edge", "top", "--SetDockType", "true"}, options);
        Display* x = XOpenDisplay(display_->Name().c_str());
        if (x == nullptr) return "cannot open the display";
        const Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
        bool owned = false;
        for (auto end = Clock::now() + std::chrono::seconds(10); !owned && Clock::now() < end;) {
            owned = XGetSelectionOwner(x, selection) != 0;
            if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        XCloseDisplay(x);
        return owned ? "" : "trayer did not take the system tray";
    }
    // Reads the script's output until `text` has come; all of it.
    static std::string OutputUntil(rig::ChildProcess& script, const std::string& text, int timeoutMs) {
        std::string out;
        for (auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
             out.find(text) == std::string::npos && Clock::now() < end;)
            out += script.ReadStdout(200);
        return out;
    }
    static int WaitEnd(rig::ChildProcess& script, int timeoutMs) {
        for (auto end = Clock::now() + std::chrono::milliseconds(timeoutMs); script.Running() && Clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return script.Stop();
    }

    rig::TempFolder tmp_{"tapwedge-try-test"};
    std::unique_ptr<tapwedge_test::XvfbDisplay> display_;
    std::unique_ptr<rig::ChildProcess> tray_;
};

TEST_F(TryScript, HelpPrintsTheUsageAndEndsWell) {
    rig::ChildProcess script({kTry, "--help"}, Options(true));
    const std::string out = OutputUntil(script, "--help", 10000);
    EXPECT_EQ(WaitEnd(script, 10000), 0);
    EXPECT_EQ(out.rfind("Tries Tapwedge without a reader", 0), 0u) << out;
    EXPECT_NE(out.find("Usage: scripts/try [--com N]"), std::string::npos) << out;
    EXPECT_EQ(out.find("set -euo"), std::string::npos) << "no code of the script";
}

TEST_F(TryScript, ARunTypesTheCardsAndRemovesItsScratchFolderAtTheEnd) {
    ASSERT_EQ(StartDesktop(), "");
    rig::ChildProcess script({kTry, "--build", TAPWEDGE_BUILD_DIR, "--com", "11", "--seconds", "1"},
                             Options(true));
    const std::string out = OutputUntil(script, "Stop with Ctrl-C.", 30000);
    const std::string lead = "Tapwedge runs from ";
    const std::size_t at = out.find(lead);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string folder = out.substr(at + lead.size(), out.find(' ', at + lead.size()) - at - lead.size());
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_EQ(folder.rfind("/tmp/tapwedge-try.", 0), 0u) << folder;
    // The cards go through the program: its CSV file gets their lines.
    std::error_code none;
    for (auto end = Clock::now() + std::chrono::seconds(20);
         fs::file_size(folder + "/log.csv", none) + 1 <= 1 && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GT(fs::file_size(folder + "/log.csv", none) + 1, 1u) << "no card was logged";

    kill(script.Pid(), SIGINT);  // Ctrl-C
    EXPECT_EQ(WaitEnd(script, 15000), 0);
    EXPECT_FALSE(fs::exists(folder)) << "the scratch folder is removed";
}

TEST_F(TryScript, AnotherRunningCopyIsToldOnTheTerminal) {
    // The lock of the user's running copy, in its settings folder.
    fs::create_directories(tmp_ / "config/tapwedge");
    const int lock =
        open((tmp_ / "config/tapwedge/Tapwedge.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    rig::ChildProcess script({kTry, "--build", TAPWEDGE_BUILD_DIR}, Options(true));
    EXPECT_TRUE(script.WaitForStderr("another copy of Tapwedge runs", 10000)) << script.Stderr();
    EXPECT_EQ(WaitEnd(script, 10000), 1);
    close(lock);
}

}  // namespace
}  // namespace e2e
