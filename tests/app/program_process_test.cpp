// The program as a process: one copy per user, and the end of the session.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/card_param_image.h"
#include "program_rig.h"
#include "xvfb_display.h"

extern char** environ;

namespace tapwedge_test {
namespace {

using namespace std::chrono_literals;

// A copy of the program in a scratch program folder, with a card-parameter file so that it
// starts without a message, and a runtime folder of its own for the lock.
class ProgramCopy {
public:
    ProgramCopy() {
        std::filesystem::copy_file(TAPWEDGE_PROGRAM, folder.File("tapwedge"));
        tapwedge::CardParamImage image{};
        folder.WriteCardSet(image);
        folder.WriteIni("[COMUNICATION]\nCOM=0\n");
        runtime = folder.File("run");
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    }

    // Starts the copy with the display (or offscreen when empty); stderr goes to a file. The
    // runtime folder is the copy's own unless given ("" = none).
    pid_t Start(const std::string& display, const std::string& errors = "/dev/null",
                const std::optional<std::string>& runtimeFolder = std::nullopt) const {
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + folder.File("config"),
                                        "HOME=" + folder.Folder(), "PATH=/usr/bin:/bin",
                                        "LSAN_OPTIONS=suppressions=" TAPWEDGE_LSAN_SUPPRESSIONS};
        const std::string runtimeValue = runtimeFolder.value_or(runtime);
        if (!runtimeValue.empty()) env.push_back("XDG_RUNTIME_DIR=" + runtimeValue);
        if (display.empty()) {
            env.push_back("QT_QPA_PLATFORM=offscreen");
        } else {
            env.push_back("DISPLAY=" + display);
            env.push_back("QT_QPA_PLATFORM=xcb");
        }
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = folder.File("tapwedge");
        char* argv[] = {program.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // True once some process holds the single-instance lock, in the settings folder (here the
    // self-contained program folder).
    bool Locked() const {
        const int fd = open(folder.File("Tapwedge.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (!held) flock(fd, LOCK_UN);
        close(fd);
        return held;
    }
    bool WaitLocked(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (Locked()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // A first copy and, once it holds the lock, a second one; -1 for one that did not start.
    std::pair<pid_t, pid_t> StartTwo(const std::string& display,
                                     const std::string& secondErrors = "/dev/null") const {
        const pid_t first = Start(display);
        if (first <= 0 || !WaitLocked(std::chrono::seconds(10))) return {first, -1};
        return {first, Start(display, secondErrors)};
    }

    ScratchProgramFolder folder;
    std::string runtime;
};

// The exit status of pid, or -1 when it has not ended within the limit (it is then killed).
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
        std::this_thread::sleep_for(20ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

bool Running(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

TEST(ProgramProcess, ASecondCopyIsRefusedWithAMessageWhileTheFirstRuns) {
    XvfbDisplay display;
    ASSERT_TRUE(display.Ok()) << display.Error();
    ProgramCopy copy;
    const std::string errors = copy.folder.File("second.err");
    const auto [first, second] = copy.StartTwo(display.Name(), errors);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    // The message box of the second copy: answer it with Return.
    const std::string answer = "DISPLAY=" + display.Name() +
                               " xdotool search --sync --onlyvisible --name '^Tapwedge$' "
                               "windowfocus --sync key Return >/dev/null 2>&1";
    auto* answering = new std::thread([answer] { (void)std::system(answer.c_str()); });
    const int status = WaitExit(second, 15s);
    answering->join();
    delete answering;
    EXPECT_EQ(status, 255);
    EXPECT_TRUE(Running(first));
    // Also said on the terminal, for whoever started it there.
    std::ifstream in(errors);
    const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(said.find("tapwedge: すでに起動されています。"), std::string::npos) << said;

    kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first, 10s), 0);
}

// Started from another environment (su -, cron, ssh: no runtime folder, or another one), a
// second copy of the same user still finds the first and is refused.
TEST(ProgramProcess, ASecondCopyIsRefusedWhateverItsRuntimeFolder) {
    ProgramCopy copy;
    const pid_t first = copy.Start("");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(copy.WaitLocked(10s));
    const std::string other = copy.folder.File("other-run");
    std::filesystem::create_directory(other);
    std::filesystem::permissions(other, std::filesystem::perms::owner_all);
    for (const std::string& runtime : {std::string(), other}) {
        SCOPED_TRACE("XDG_RUNTIME_DIR=" + runtime);
        const std::string errors = copy.folder.File("second.err");
        const pid_t second = copy.Start("", errors, runtime);
        ASSERT_GT(second, 0);
        // Its message box waits for an answer (offscreen nobody gives one): end it by a signal
        // once it has said why on standard error.
        std::string said;
        for (int i = 0; i < 500 && said.find("すでに起動されています。") == std::string::npos; ++i) {
            std::this_thread::sleep_for(20ms);
            std::ifstream in(errors);
            said.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        EXPECT_NE(said.find("tapwedge: すでに起動されています。"), std::string::npos) << said;
        kill(second, SIGINT);
        EXPECT_EQ(WaitExit(second, 10s), 255);
        EXPECT_TRUE(Running(first));
    }
    kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first, 10s), 0);
}

TEST(ProgramProcess, EndSignalsCloseTheProgramWithExitCodeZero) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        ProgramCopy copy;
        const pid_t pid = copy.Start("");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(copy.WaitLocked(10s));
        kill(pid, signal);
        EXPECT_EQ(WaitExit(pid, 10s), 0);
    }
}

// True once a window titled as the program's message boxes is shown on the display (the
// program shows no other window here: no tray host, no menu).
bool WaitForBox(const std::string& display) {
    const std::string command = "DISPLAY=" + display +
                                " timeout 10 xdotool search --sync --onlyvisible --name '^Tapwedge$'"
                                " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(ProgramProcess, AnEndSignalDuringAStartUpMessageClosesItAndEndsAtOnce) {
    XvfbDisplay display;
    ASSERT_TRUE(display.Ok()) << display.Error();
    {
        SCOPED_TRACE("パラメータ読み取りエラー");
        ProgramCopy copy;
        { std::ofstream(copy.folder.File("Card.set"), std::ios::binary | std::ios::trunc) << "no card file"; }
        const pid_t pid = copy.Start(display.Name());
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForBox(display.Name()));
        kill(pid, SIGTERM);
        EXPECT_EQ(WaitExit(pid, 2s), 0);
    }
    {
        SCOPED_TRACE("すでに起動されています。");
        ProgramCopy copy;
        const auto [first, second] = copy.StartTwo(display.Name());
        ASSERT_GT(first, 0);
        ASSERT_GT(second, 0);
        ASSERT_TRUE(WaitForBox(display.Name()));
        kill(second, SIGINT);
        EXPECT_EQ(WaitExit(second, 2s), 255);
        EXPECT_TRUE(Running(first));
        kill(first, SIGTERM);
        EXPECT_EQ(WaitExit(first, 10s), 0);
    }
}

TEST(ProgramProcess, ALockThatCannotBeTakenEndsWithOneLineOnStandardError) {
    ProgramCopy copy;
    // A link in place of the lock file is never followed.
    std::filesystem::create_symlink(copy.folder.File("elsewhere"), copy.folder.File("Tapwedge.lock"));
    const std::string errors = copy.folder.File("stderr.txt");
    const pid_t pid = copy.Start("", errors);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitExit(pid, 10s), 255);
    std::ifstream in(errors);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.find("tapwedge:") == 0) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("single-instance lock"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(copy.folder.File("elsewhere")));
}

}  // namespace
}  // namespace tapwedge_test
