// The first run of a new user, who may not write the program's folder: the build tree's
// bin/tapwedge, and an installation made by `cmake --install` into a scratch prefix (with an
// administrator's preset Wedgetap.ini beside the program). Each starts without a message, makes
// the settings folder ~/.config/tapwedge in a private home folder, seeds it and types the IDm of
// a FeliCa card with the default card parameters. The Debian package of `cpack -G DEB` holds the
// same files and depends on Qt 6 widgets and libXtst.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr int kOutputWaitMs = 10000;
const std::string kIdm = "012E4C0011223344";  // the simulator's standard FeliCa card

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a command to its end; its exit status (-1 when it did not end in time), output in log.
int RunToEnd(const std::vector<std::string>& argv, const std::string& log, int timeoutMs) {
    rig::ChildProcess::Options options;
    options.stdout_file = log;
    options.stderr_file = log;
    rig::ChildProcess child(argv, options);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (child.Running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return child.Running() ? (child.Stop(), -1) : child.Stop();
}

// The lines of the program's standard error that it wrote itself.
std::string OwnLines(const std::string& errors) {
    std::istringstream in(errors);
    std::string own;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("tapwedge:", 0) == 0) own += line + "\n";
    return own;
}

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

class FirstRun : public testing::Test {
protected:
    void SetUp() override {
        if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built (" TAPWEDGE_PROGRAM ")";
    }

    // The program file run as it is by a user who may not write its folder, on COM com.
    RunOptions AsNewUser(const std::string& program, int com) {
        RunOptions options;
        options.program_file = program;
        options.com_port = com;
        options.user = kNobody;
        return options;
    }
};

TEST_F(FirstRun, AFreshBuildTypesAFelicaIdmWithTheDefaultsOfItsShareFolder) {
    const std::string bin = fs::path(ProgramPath()).parent_path();
    const auto binBefore = std::distance(fs::directory_iterator(bin), fs::directory_iterator());
    // The default Wedgetap.ini leaves the reader on COM 1.
    ProgramRun run(AsNewUser(ProgramPath(), 1));
    ASSERT_EQ(run.Error(), "");
    const std::string settings = run.SettingsFolder();
    struct stat made{};
    ASSERT_EQ(stat(settings.c_str(), &made), 0);
    if (geteuid() == 0) {
        EXPECT_EQ(made.st_uid, kNobody) << "made by the program, as the user";
    }
    EXPECT_EQ(ReadFile(settings + "/Card.set"), ReadFile(TAPWEDGE_SHARE_DIR "/Card.set"));
    EXPECT_EQ(ReadFile(settings + "/Wedgetap.ini"), ReadFile(TAPWEDGE_SHARE_DIR "/Wedgetap.ini"));
    ASSERT_TRUE(run.WaitReady(30000)) << "never authenticated: " << run.ProgramErrors();

    ASSERT_TRUE(Ok(run.Command("present felica")));
    EXPECT_EQ(run.Typed(kIdm.size() + 1, kOutputWaitMs), kIdm + "\r");
    EXPECT_EQ(run.CsvText(), kIdm + ",,\n");  // the CSV file, in the settings folder
    // A box at the start would have held the program before its first poll; nothing was said.
    EXPECT_EQ(OwnLines(run.ProgramErrors()), "");
    EXPECT_TRUE(run.ProgramRunning());
    EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()), binBefore)
        << "nothing is written beside the program";
}

// An installation in a scratch prefix, made read-only for the test's user when it is not root
// (root's test runs the program as "nobody").
class Installation {
public:
    Installation() {
        // The user the program runs as passes through to the prefix.
        fs::permissions(tmp_.Path(), fs::perms::others_exec, fs::perm_options::add);
        log_ = tmp_ / "install.log";
        status_ = RunToEnd({CMAKE_COMMAND_PATH, "--install", TAPWEDGE_BUILD_DIR, "--prefix", Prefix()}, log_,
                           60000);
    }
    ~Installation() { Writable(true); }

    bool Ok() const { return status_ == 0; }
    std::string Log() const { return ReadFile(log_); }
    std::string Prefix() const { return tmp_ / "prefix"; }
    std::string File(const std::string& name) const { return Prefix() + "/" + name; }
    void Writable(bool writable) {
        if (geteuid() == 0) return;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(Prefix(), ec))
            if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_write,
                                                      writable ? fs::perm_options::add : fs::perm_options::remove);
        fs::permissions(Prefix(), fs::perms::owner_write,
                        writable ? fs::perm_options::add : fs::perm_options::remove, ec);
    }

private:
    rig::TempFolder tmp_{"tapwedge-install"};
    std::string log_;
    int status_ = -1;
};

TEST_F(FirstRun, AnInstallationIsSeededFromItsPresetAndTypesAFelicaIdm) {
    Installation installed;
    ASSERT_TRUE(installed.Ok()) << installed.Log();
    for (const char* name : {"bin/tapwedge", "lib/tapwedge/libtagwire.so", "lib/tapwedge/libusbline.so",
                             "lib/tapwedge/libcomline.so", "lib/tapwedge/libplatform.so",
                             "share/tapwedge/Card.set", "share/tapwedge/Wedgetap.ini",
                             "share/icons/hicolor/32x32/apps/tapwedge.png",
                             "share/applications/tapwedge.desktop", "share/tapwedge/autostart/tapwedge.desktop"}) {
        EXPECT_TRUE(fs::is_regular_file(installed.File(name))) << name;
    }
    EXPECT_EQ(ReadFile(installed.File("share/tapwedge/Card.set")), ReadFile(TAPWEDGE_SHARE_DIR "/Card.set"));
    for (const char* entry : {"share/applications/tapwedge.desktop", "share/tapwedge/autostart/tapwedge.desktop"}) {
        const std::string text = ReadFile(installed.File(entry));
        EXPECT_NE(text.find("\nExec=" + installed.File("bin/tapwedge") + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\nIcon=" + installed.File("share/icons/hicolor/32x32/apps/tapwedge.png") + "\n"),
                  std::string::npos) << text;
    }
    // The administrator's preset beside the program: COM 4, the ID followed by TAB.
    const std::string preset = "[COMUNICATION]\nCOM=4\n[CARDID]\nENABLED=1\nSEGMENT=0\n";
    std::ofstream(installed.File("bin/Wedgetap.ini")) << preset;
    installed.Writable(false);

    ProgramRun run(AsNewUser(installed.File("bin/tapwedge"), 4));
    ASSERT_EQ(run.Error(), "");
    EXPECT_EQ(ReadFile(run.SettingsFolder() + "/Wedgetap.ini"), preset);
    EXPECT_EQ(ReadFile(run.SettingsFolder() + "/Card.set"), ReadFile(TAPWEDGE_SHARE_DIR "/Card.set"));
    ASSERT_TRUE(run.WaitReady(30000)) << "never authenticated: " << run.ProgramErrors();
    ASSERT_TRUE(Ok(run.Command("present felica")));
    EXPECT_EQ(run.Typed(kIdm.size() + 1, kOutputWaitMs), kIdm + "\t");
    EXPECT_EQ(OwnLines(run.ProgramErrors()), "");
    EXPECT_TRUE(run.ProgramRunning());
}

// An installation can be removed by the list of the files it installed (install_manifest.txt):
// removing every file of the list leaves no file under the prefix. The list is taken from this
// install run itself, so that installs running beside it cannot mix theirs in.
TEST(InstallManifest, ListsEveryInstalledFile) {
    rig::TempFolder tmp("tapwedge-manifest");
    const std::string prefix = tmp / "prefix";
    const std::string manifest = tmp / "manifest.txt";
    const std::string script = tmp / "install.cmake";
    std::ofstream(script) << "set(CMAKE_INSTALL_PREFIX \"" << prefix << "\")\n"
                          << "include(\"" TAPWEDGE_BUILD_DIR "/cmake_install.cmake\")\n"
                          << "string(REPLACE \";\" \"\\n\" listed \"${CMAKE_INSTALL_MANIFEST_FILES}\")\n"
                          << "file(WRITE \"" << manifest << "\" \"${listed}\\n\")\n";
    ASSERT_EQ(RunToEnd({CMAKE_COMMAND_PATH, "-P", script}, tmp / "install.log", 60000), 0)
        << ReadFile(tmp / "install.log");
    std::istringstream listed(ReadFile(manifest));
    std::vector<std::string> files;
    for (std::string line; std::getline(listed, line);)
        if (!line.empty()) files.push_back(line);
    for (const char* entry : {"/share/applications/tapwedge.desktop", "/share/tapwedge/autostart/tapwedge.desktop"})
        EXPECT_NE(std::find(files.begin(), files.end(), prefix + entry), files.end()) << entry;
    for (const std::string& file : files) fs::remove(file);
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(prefix))
        if (!entry.is_directory()) left.push_back(entry.path());
    EXPECT_TRUE(left.empty()) << left.front();
}

TEST(DebianPackage, HoldsTheInstallationAndDependsOnQtWidgetsAndXTest) {
    rig::TempFolder tmp("tapwedge-package");
    // As in the build folder.
    ASSERT_EQ(RunToEnd({CPACK_COMMAND_PATH, "-G", "DEB", "--config", TAPWEDGE_BUILD_DIR "/CPackConfig.cmake",
                        "-B", tmp.Path()},
                       tmp / "cpack.log", 110000),
              0)
        << ReadFile(tmp / "cpack.log");
    std::string package;
    for (const auto& entry : fs::directory_iterator(tmp.Path()))
        if (entry.path().extension() == ".deb") package = entry.path();
    ASSERT_FALSE(package.empty()) << ReadFile(tmp / "cpack.log");

    ASSERT_EQ(RunToEnd({"dpkg-deb", "--field", package, "Depends"}, tmp / "depends", 10000), 0);
    const std::string depends = ReadFile(tmp / "depends");
    for (const char* needed : {"libqt6widgets6", "libxtst6"})
        EXPECT_NE(depends.find(needed), std::string::npos) << depends;
    ASSERT_EQ(RunToEnd({"dpkg-deb", "--contents", package}, tmp / "contents", 10000), 0);
    const std::string contents = ReadFile(tmp / "contents");
    for (const char* file : {"./usr/bin/tapwedge", "./usr/lib/tapwedge/libtagwire.so", "./usr/share/tapwedge/Card.set",
                             "./usr/share/applications/tapwedge.desktop"})
        EXPECT_NE(contents.find(file), std::string::npos) << file;
}

}  // namespace
}  // namespace e2e
