// Where the program keeps its settings: a self-contained program folder, or the user's folder,
// made and seeded at the first start, and given the default card parameters whenever it has none.
#include "core/settings_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "file_faults.h"
#include "temp_dir.h"

namespace tapwedge {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.insert(entry.path().filename());
    return names;
}

// A program in <root>/bin/ with its defaults in <root>/share/tapwedge/, and a user whose
// configuration folder is <root>/config/ (without a tapwedge/ folder yet).
class SettingsFolderTest : public testing::Test {
protected:
    SettingsFolderTest() {
        fs::create_directories(Bin());
        fs::create_directories(dir.File("share/tapwedge"));
        fs::create_directories(dir.File("config"));
        test::WriteAll(dir.File("share/tapwedge/Card.set"), "default card parameters");
        test::WriteAll(dir.File("share/tapwedge/Wedgetap.ini"), "; default settings\n");
        places.ProgramFolder = Bin();
        places.UserFolder = User();
        places.DefaultsFolder = dir.File("share/tapwedge/");
    }

    std::string Bin() const { return dir.File("bin/"); }
    std::string User() const { return dir.File("config/tapwedge/"); }
    std::string Read(const std::string& path) const { return test::ReadAll(path); }

    // Runs PrepareSettingsFolder as a user who may not write the program folder (root ignores the
    // permission bits, so then as "nobody", who may write the configuration folder). Its result,
    // or nothing when no such user can be had.
    std::optional<SettingsFolder> PrepareAsUserWhoCannotWriteTheProgramFolder() {
        const std::string config = dir.File("config");
        if (::geteuid() != 0) {
            ::chmod(Bin().c_str(), 0555);
            SettingsFolder result = PrepareSettingsFolder(places);
            ::chmod(Bin().c_str(), 0755);
            return result;
        }
        fs::permissions(dir.Folder(), fs::perms::others_exec, fs::perm_options::add);
        if (::chown(config.c_str(), kNobody, kNobody) != 0) return std::nullopt;
        // The child tells only whether the folder chosen was the user's.
        const auto chose = test::RunUnprivileged([&] {
            return PrepareSettingsFolder(places).Folder == User() ? 1 : 0;
        });
        if (!chose) return std::nullopt;
        SettingsFolder result;
        result.Folder = *chose == 1 ? User() : Bin();
        return result;
    }

    test::TempDir dir;
    SettingsFolderPlaces places;
};

TEST_F(SettingsFolderTest, ASelfContainedProgramFolderIsUsedAsItIs) {
    const struct {
        const char* file;  // what makes the folder self-contained
    } cases[] = {{"Wedgetap.ini"}, {"other.SET"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove_all(Bin());
        fs::create_directories(Bin());
        test::WriteAll(Bin() + c.file, "the administrator's");

        const SettingsFolder chosen = PrepareSettingsFolder(places);
        EXPECT_EQ(chosen.Folder, Bin());
        EXPECT_TRUE(chosen.Problems.empty());
        EXPECT_FALSE(fs::exists(User())) << "the user folder is not made";
        // It lacked a Card.set: the default one is copied in, and nothing else.
        EXPECT_EQ(NamesIn(Bin()), (std::set<std::string>{c.file, "Card.set"}));
        EXPECT_EQ(Read(Bin() + "Card.set"), "default card parameters");
        EXPECT_EQ(Read(Bin() + c.file), "the administrator's");
    }
    // Its own Card.set stays, and the program works from the folder.
    test::WriteAll(Bin() + "Card.set", "its own");
    const std::string before = fs::current_path();
    EXPECT_EQ(EnterSettingsFolder(Bin()), Bin());
    EXPECT_EQ(fs::current_path().string() + "/", Bin());
    fs::current_path(before);
    EXPECT_EQ(Read(Bin() + "Card.set"), "its own");
}

TEST_F(SettingsFolderTest, AProgramFolderWithoutSettingsLeavesThemToANewUserFolder) {
    const SettingsFolder chosen = PrepareSettingsFolder(places);
    EXPECT_EQ(chosen.Folder, User());
    EXPECT_TRUE(chosen.Problems.empty()) << chosen.Problems.front();
    EXPECT_EQ(NamesIn(User()), (std::set<std::string>{"Card.set", "Wedgetap.ini"}));
    EXPECT_EQ(Read(User() + "Card.set"), "default card parameters");
    EXPECT_EQ(Read(User() + "Wedgetap.ini"), "; default settings\n");
    struct stat st{};
    ASSERT_EQ(::stat(User().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "for the user alone";
    EXPECT_TRUE(NamesIn(Bin()).empty());
}

TEST_F(SettingsFolderTest, AnAdministratorsPresetSeedsANewUserFolder) {
    test::WriteAll(Bin() + "Wedgetap.ini", "[COMUNICATION]\nCOM=7\n");
    test::WriteAll(Bin() + "Card.set", "preset card parameters");
    test::WriteAll(Bin() + "shop.set", "another preset");
    test::WriteAll(Bin() + "notes.txt", "not a setting");
    const auto chosen = PrepareAsUserWhoCannotWriteTheProgramFolder();
    if (!chosen) GTEST_SKIP() << "no user who cannot write the program folder";
    EXPECT_EQ(chosen->Folder, User());
    EXPECT_EQ(NamesIn(User()), (std::set<std::string>{"Card.set", "Wedgetap.ini", "shop.set"}));
    EXPECT_EQ(Read(User() + "Wedgetap.ini"), "[COMUNICATION]\nCOM=7\n");
    EXPECT_EQ(Read(User() + "Card.set"), "preset card parameters");
    EXPECT_EQ(Read(User() + "shop.set"), "another preset");
    EXPECT_EQ(NamesIn(Bin()).size(), 4u);
}

TEST_F(SettingsFolderTest, AUserFolderIsSeededOnlyWhileItHoldsNoSettings) {
    const struct {
        const char* name;
        const char* file;  // what the user folder holds before the start; "" = only ports/
        std::set<std::string> after;
        const char* ini;   // Wedgetap.ini after the start
    } cases[] = {
        {"only ports", "", {"ports", "Card.set", "Wedgetap.ini"}, "; default settings\n"},
        {"own settings", "Wedgetap.ini", {"ports", "Card.set", "Wedgetap.ini"}, "the user's"},
        {"own card file", "mine.set", {"ports", "Card.set", "mine.set"}, ""},
        {"own Card.set", "Card.set", {"ports", "Card.set"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(User());
        fs::create_directories(User() + "ports");
        if (*c.file) test::WriteAll(User() + c.file, "the user's");

        EXPECT_EQ(PrepareSettingsFolder(places).Folder, User());
        EXPECT_EQ(NamesIn(User()), c.after);
        EXPECT_EQ(Read(User() + "Wedgetap.ini"), c.ini);
        EXPECT_EQ(Read(User() + "Card.set"),
                  std::string(c.file) == "Card.set" ? "the user's" : "default card parameters");
    }
}

TEST_F(SettingsFolderTest, WithoutAUserFolderTheProgramFolderKeepsTheSettings) {
    test::WriteAll(dir.File("file"), "not a folder");
    for (const std::string& user : {std::string(), dir.File("file/tapwedge/")}) {
        SCOPED_TRACE(user);
        fs::remove(Bin() + "Card.set");  // else the program folder holds settings after the first
        places.UserFolder = user;
        const SettingsFolder chosen = PrepareSettingsFolder(places);
        EXPECT_EQ(chosen.Folder, Bin());
        ASSERT_EQ(chosen.Problems.size(), 1u);
        EXPECT_NE(chosen.Problems[0].find("cannot make the settings folder"), std::string::npos);
        EXPECT_NE(chosen.Problems[0].find(Bin()), std::string::npos);
        EXPECT_EQ(Read(Bin() + "Card.set"), "default card parameters");
    }
}

TEST_F(SettingsFolderTest, MissingDefaultsAreToldAndTheFolderIsStillUsed) {
    places.DefaultsFolder = dir.File("elsewhere/");
    const SettingsFolder chosen = PrepareSettingsFolder(places);
    EXPECT_EQ(chosen.Folder, User());
    ASSERT_EQ(chosen.Problems.size(), 2u);
    EXPECT_NE(chosen.Problems[0].find(dir.File("elsewhere/Wedgetap.ini")), std::string::npos);
    EXPECT_EQ(chosen.Problems[1], "no default card parameters at " + dir.File("elsewhere/Card.set"));
    EXPECT_TRUE(NamesIn(User()).empty());
}

TEST(SettingsFolderPlaces, DefaultsLieBesideBinAndTheUserFolderFollowsTheXdgRule) {
    EXPECT_EQ(DefaultsFolderOf("/usr/bin/"), "/usr/share/tapwedge/");
    EXPECT_EQ(DefaultsFolderOf("/work/build/bin/"), "/work/build/share/tapwedge/");

    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string savedHome = home ? home : "", savedConfig = config ? config : "";
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    const SettingsFolderPlaces places = SettingsFolderPlaces::For("/opt/tw/bin");
    EXPECT_EQ(places.ProgramFolder, "/opt/tw/bin/");
    EXPECT_EQ(places.UserFolder, "/cfg/tapwedge/");
    EXPECT_EQ(places.DefaultsFolder, "/opt/tw/share/tapwedge/");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // counts as unset
    EXPECT_EQ(SettingsFolderPlaces::For("/opt/tw/bin/").UserFolder, "/home/someone/.config/tapwedge/");
    if (home) ::setenv("HOME", savedHome.c_str(), 1); else ::unsetenv("HOME");
    if (config) ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tapwedge
