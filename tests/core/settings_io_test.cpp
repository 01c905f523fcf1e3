#include "core/settings_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "core/profile_file.h"
#include "core/program_folder.h"
#include "file_faults.h"
#include "temp_dir.h"

namespace tapwedge {
namespace {

class SettingsFile : public ::testing::Test {
protected:
    AppSettings Load(const std::string& ini) {
        test::WriteAll(dir.File(kIniFileName), ini);
        return LoadMissing();
    }
    AppSettings LoadMissing() {
        AppSettings s = AppSettings::Defaults(dir.Folder());
        LoadSettings(s, kIniFileName, dir.Folder());
        return s;
    }
    void Save(const AppSettings& s, int mask) { SaveSettings(s, mask, kIniFileName, dir.Folder()); }
    std::string IniText() const { return test::ReadAll(dir.File(kIniFileName)); }
    std::string IniPath() const { return dir.File(kIniFileName); }

    test::TempDir dir;
};

TEST_F(SettingsFile, WithoutIniFileEveryKeyTakesItsDefault) {
    const AppSettings s = LoadMissing();
    const auto& o = s.OutputOptions;
    const struct {
        const char* name;
        long long actual;
        long long expected;
    } table[] = {
        {"ComPort", s.CommSettings.ComPort, 1},
        {"Baud", s.CommSettings.Baud, 115200},
        {"AuthMethod", s.CommSettings.AuthMethod, 1},
        {"CommMode", s.CommSettings.CommMode, 0},
        {"ReaderType", s.CommSettings.ReaderType, 0x0F},
        {"Item0.Enabled", s.OutputItems[0].Enabled, 0},
        {"Item1.Enabled", s.OutputItems[1].Enabled, 0},
        {"Item2.Enabled", s.OutputItems[2].Enabled, 0},
        {"Item3.Enabled", s.OutputItems[3].Enabled, 0},
        {"Item0.Separator", s.OutputItems[0].Separator, 0},
        {"Item1.Separator", s.OutputItems[1].Separator, 0},
        {"Item2.Separator", s.OutputItems[2].Separator, 0},
        {"Item3.Separator", s.OutputItems[3].Separator, 0},
        {"Beep", o.Beep, 1},
        {"KeyboardOutput", o.KeyboardOutput, 1},
        {"FileOutput", o.FileOutput, 1},
        {"CaseSwitch", o.CaseSwitch, 0},
        {"UidNormalOrder", o.UidNormalOrder, 1},
        {"StartStopped", o.StartStopped, 0},
        {"PollingStopped", s.PollingStopped, 0},
        {"WaitTime", o.WaitTime, 0},
        {"ReplaceKey", o.ReplaceKey, 0},
        {"CommDialogMode", s.CommDialogMode, 2},
        {"CardDialogFlags", s.CardDialogFlags, 0},
        {"CardKeyId", s.CardKeyId, 0xF0F0F0},
        {"Menu.View", s.Menu.View, 0},
        {"Menu.SettingsItems", s.Menu.SettingsItems, 1},
    };
    for (const auto& row : table) EXPECT_EQ(row.actual, row.expected) << row.name;
    EXPECT_EQ(o.CsvFolder, dir.Folder());
    EXPECT_EQ(o.CsvFileName, "log.csv");
    EXPECT_EQ(s.CardFileName, "Card.set");
    EXPECT_FALSE(std::filesystem::exists(IniPath())) << "loading creates no file";
}

TEST_F(SettingsFile, ValuesAreReadAsTheirKindsSay) {
    const struct {
        std::string ini;
        std::function<void(const AppSettings&)> check;
    } cases[] = {
        {"[CARDID]\nPOSITION=5\nENABLED=1\nSEGMENT=1\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputItems[3].Enabled, 1);
             EXPECT_EQ(s.OutputItems[0].Enabled, 0);
             EXPECT_EQ(s.OutputItems[3].Separator, 1);
         }},
        {"[cardid]\nposition=0\nenabled=1\n[PARAMETER1]\nENABLED=7\nSEGMENT=-4\n"
         "[PARAMETER2]\nENABLED=1\nSEGMENT=1\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputItems[0].Enabled, 1);
             EXPECT_EQ(s.OutputItems[3].Enabled, 0);
             EXPECT_EQ(s.OutputItems[1].Enabled, 1);
             EXPECT_EQ(s.OutputItems[1].Separator, -4);
             EXPECT_EQ(s.OutputItems[2].Enabled, 1);
             EXPECT_EQ(s.OutputItems[2].Separator, 1);
         }},
        {"[PARAMETER]\nUPPERLOWERCHANGE=\nBEEP=on\nKEYEMU=OFF\nLOG=ONX\nSTART=off\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputOptions.CaseSwitch, 1) << "only a value starting OFF is off";
             EXPECT_EQ(s.OutputOptions.Beep, 0) << "ON is case-sensitive";
             EXPECT_EQ(s.OutputOptions.KeyboardOutput, 0);
             EXPECT_EQ(s.OutputOptions.FileOutput, 1);
             EXPECT_EQ(s.PollingStopped, 1);
             EXPECT_EQ(s.OutputOptions.StartStopped, 1);
         }},
        {"[PARAMETER]\nBEEP = ON\nKEYEMU =\tOFF\nUPPERLOWERCHANGE= OFF\nFILE = out.csv \n"
         "WAITTIME = 7\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputOptions.Beep, 1) << "blanks around '=' are no part of the value";
             EXPECT_EQ(s.OutputOptions.KeyboardOutput, 0);
             EXPECT_EQ(s.OutputOptions.CaseSwitch, 0);
             EXPECT_EQ(s.OutputOptions.CsvFileName, "out.csv");
             EXPECT_EQ(s.OutputOptions.WaitTime, 7);
         }},
        {"[PARAMETER]\nUPPERLOWERCHANGE=OFFICE\nUIDDISP=2\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputOptions.CaseSwitch, 0);
             EXPECT_EQ(s.OutputOptions.UidNormalOrder, 0);
         }},
        {"[PARAMETER]\nWAITTIME=\n",
         [](const AppSettings& s) { EXPECT_EQ(s.OutputOptions.WaitTime, 25) << "kept"; }},
        {"[PARAMETER]\nWAITTIME=abc\n",
         [](const AppSettings& s) { EXPECT_EQ(s.OutputOptions.WaitTime, 0); }},
        {"[PARAMETER]\nWAITTIME=120\nFILE=out.csv\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputOptions.WaitTime, 120);
             EXPECT_EQ(s.OutputOptions.CsvFileName, "out.csv");
         }},
        {"[PARAMETER]\nFILE=\n[CARD]\nFILE=\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.OutputOptions.CsvFileName, "log.csv") << "empty keeps the name";
             EXPECT_EQ(s.CardFileName, "Card.set");
         }},
        {"[CARD]\nFILE=Other.set\n[COMUNICATION]\nCOM=259\nAUTHENTICATION=0\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.CardFileName, "Other.set");
             EXPECT_EQ(s.CommSettings.ComPort, 3) << "low 8 bits";
             EXPECT_EQ(s.CommSettings.AuthMethod, 0);
             EXPECT_EQ(s.CommSettings.CommMode, 0);
         }},
        {"[COMUNICATION]\nCOM=x\nAUTHENTICATION=\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.CommSettings.ComPort, 1);
             EXPECT_EQ(s.CommSettings.AuthMethod, 1);
         }},
        {"[CARD]\nFILE=" + std::string(256, 'x') + "\n",
         [](const AppSettings& s) { EXPECT_EQ(s.CardFileName, "Card.set") << "too long: refused"; }},
        {"[CARD]\nFILE=" + std::string(255, 'x') + "\n",
         [](const AppSettings& s) { EXPECT_EQ(s.CardFileName, std::string(255, 'x')); }},
        {"[EXT]\nTWOWAYAUTHENTICATION=ON\nSSFC=ON\nVIEW=ON\n[PARAMETER]\nMENUDISP=DISNABLE\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.CommDialogMode, 0);
             EXPECT_EQ(s.CardDialogFlags, kCardDialogSsfc);
             EXPECT_TRUE(s.Menu.View);
             EXPECT_FALSE(s.Menu.SettingsItems);
         }},
        {"[EXT]\nTWOWAYAUTHENTICATION=on\nSSFC=OFF\nVIEW=1\n[PARAMETER]\nMENUDISP=ENABLE\n",
         [](const AppSettings& s) {
             EXPECT_EQ(s.CommDialogMode, 2);
             EXPECT_EQ(s.CardDialogFlags, 0);
             EXPECT_FALSE(s.Menu.View);
             EXPECT_TRUE(s.Menu.SettingsItems);
         }},
        {"[PARAMETER]\nMENUDISP=disnable\n",
         [](const AppSettings& s) { EXPECT_TRUE(s.Menu.SettingsItems); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        test::WriteAll(IniPath(), c.ini);
        AppSettings s = AppSettings::Defaults(dir.Folder());
        s.OutputOptions.WaitTime = 25;
        LoadSettings(s, kIniFileName, dir.Folder());
        c.check(s);
    }
}

TEST_F(SettingsFile, ReplaceKeyIsLoadedAsASignedByteAndClampedByTheForm) {
    const struct {
        const char* value;
        int loaded;
        int clamped;
    } cases[] = {{"3", 3, 3}, {"7", 7, 0}, {"-1", -1, 0}, {"0", 0, 0}, {"258", 2, 2}, {"255", -1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        AppSettings s = Load(std::string("[PARAMETER]\nREPLACEKEY=") + c.value + "\n");
        EXPECT_EQ(s.OutputOptions.ReplaceKey, c.loaded);
        ClampReplaceKey(s.OutputOptions);
        EXPECT_EQ(s.OutputOptions.ReplaceKey, c.clamped);
    }
}

TEST_F(SettingsFile, CsvFolderFallsBackToTheProgramFolderAndEndsWithASeparator) {
    const std::string existing = dir.File("csv");
    std::filesystem::create_directory(existing);
    test::WriteAll(dir.File("plain-file"), "x");
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {existing, existing + "/"},
        {existing + "/", existing + "/"},
        {dir.File("plain-file"), dir.Folder()},
        {dir.File("missing"), dir.Folder()},
        {"", dir.Folder()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Load("[PARAMETER]\nPATH=" + c.path + "\n").OutputOptions.CsvFolder, c.expected);
    }
}

TEST_F(SettingsFile, OutputMaskWritesEveryOutputKeyAndReadsBackTheSame) {
    AppSettings s = AppSettings::Defaults(dir.Folder());
    const std::string csv = dir.File("logs");
    std::filesystem::create_directory(csv);
    s.OutputItems[0].Enabled = 0;
    s.OutputItems[3].Enabled = 1;
    s.OutputItems[3].Separator = 1;
    s.OutputItems[1] = {0, 1, 1};
    s.OutputItems[2] = {0, 1, 5};
    s.OutputOptions.Beep = 0;
    s.OutputOptions.ReplaceKey = 2;
    s.OutputOptions.UidNormalOrder = 0;
    s.OutputOptions.KeyboardOutput = 0;
    s.OutputOptions.FileOutput = 1;
    s.OutputOptions.CsvFolder = csv + "/";
    s.OutputOptions.CsvFileName = "カード.csv";
    s.OutputOptions.WaitTime = 15;
    s.OutputOptions.CaseSwitch = 1;
    s.OutputOptions.StartStopped = 1;
    Save(s, kSaveOutputSettings);

    EXPECT_EQ(IniText(),
              "[PARAMETER1]\nENABLED=1\nSEGMENT=1\n"
              "[PARAMETER2]\nENABLED=1\nSEGMENT=5\n"
              "[CARDID]\nPOSITION=3\nENABLED=1\nSEGMENT=1\n"
              "[PARAMETER]\nBEEP=OFF\nREPLACEKEY=2\nUIDDISP=1\nKEYEMU=OFF\nLog=ON\n"
              "PATH=" + csv + "/\nFILE=カード.csv\nWAITTIME=15\nUPPERLOWERCHANGE=ON\nSTART=OFF\n");

    const AppSettings back = LoadMissing();
    EXPECT_EQ(back.OutputItems[0].Enabled, 0);
    EXPECT_EQ(back.OutputItems[3].Enabled, 1);
    EXPECT_EQ(back.OutputItems[3].Separator, 1);
    EXPECT_EQ(back.OutputItems[1].Separator, 1);
    EXPECT_EQ(back.OutputItems[2].Separator, 5);
    EXPECT_EQ(back.OutputOptions.Beep, 0);
    EXPECT_EQ(back.OutputOptions.ReplaceKey, 2);
    EXPECT_EQ(back.OutputOptions.UidNormalOrder, 0);
    EXPECT_EQ(back.OutputOptions.KeyboardOutput, 0);
    EXPECT_EQ(back.OutputOptions.FileOutput, 1);
    EXPECT_EQ(back.OutputOptions.CsvFolder, csv + "/");
    EXPECT_EQ(back.OutputOptions.CsvFileName, "カード.csv");
    EXPECT_EQ(back.OutputOptions.WaitTime, 15);
    EXPECT_EQ(back.OutputOptions.CaseSwitch, 1);
    EXPECT_EQ(back.OutputOptions.StartStopped, 1);
    EXPECT_EQ(back.PollingStopped, 1);

    // Saving what was loaded changes nothing.
    const std::string before = IniText();
    Save(back, kSaveOutputSettings);
    EXPECT_EQ(IniText(), before);
}

TEST_F(SettingsFile, IdBeforeTheDataAndTheDefaultsRoundTrip) {
    AppSettings s = AppSettings::Defaults(dir.Folder());  // item 0 and 1 enabled
    s.OutputItems[0].Separator = 1;
    s.OutputOptions.ReplaceKey = -1;
    Save(s, kSaveOutputSettings);
    const AppSettings back = LoadMissing();
    EXPECT_EQ(back.OutputItems[0].Enabled, 1);
    EXPECT_EQ(back.OutputItems[0].Separator, 1);
    EXPECT_EQ(back.OutputItems[3].Enabled, 0);
    EXPECT_EQ(back.OutputItems[1].Enabled, 1);
    EXPECT_EQ(back.OutputItems[2].Enabled, 0);
    EXPECT_EQ(back.OutputOptions.ReplaceKey, -1) << "written signed";
    EXPECT_EQ(back.OutputOptions.UidNormalOrder, 0);
    EXPECT_EQ(back.OutputOptions.StartStopped, 0);
    EXPECT_EQ(back.OutputOptions.CsvFolder, dir.Folder());
}

// A disabled ID item keeps its place after the data and its separator through a save.
TEST_F(SettingsFile, ADisabledIdItemAfterTheDataRoundTrips) {
    for (const char* ini : {"[CARDID]\nPOSITION=5\nENABLED=0\nSEGMENT=1\n",
                            "[CARDID]\nPOSITION=0\nENABLED=0\nSEGMENT=1\n"}) {
        SCOPED_TRACE(ini);
        const AppSettings loaded = Load(ini);
        Save(loaded, kSaveOutputSettings);
        const AppSettings back = LoadMissing();
        for (int item : {0, 3}) {
            EXPECT_EQ(back.OutputItems[item].Enabled, 0) << item;
            EXPECT_EQ(back.OutputItems[item].Separator, loaded.OutputItems[item].Separator) << item;
        }
    }
}

TEST_F(SettingsFile, LogKeyIsTheSameKeyInEitherSpelling) {
    test::WriteAll(IniPath(), "[PARAMETER]\nLOG=OFF\n");
    AppSettings s = LoadMissing();
    EXPECT_EQ(s.OutputOptions.FileOutput, 0);
    s.OutputOptions.FileOutput = 1;
    Save(s, kSaveOutputSettings);
    const std::string text = IniText();
    EXPECT_NE(text.find("LOG=ON\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Log="), std::string::npos) << "no second key: " << text;
    EXPECT_EQ(LoadMissing().OutputOptions.FileOutput, 1);
}

TEST_F(SettingsFile, CardMaskWritesTheCardFileOnlyWhenItDiffers) {
    // A file without [CARD] FILE: loading gives the default name, saving finds no difference.
    const std::string original = "[PARAMETER]\nBEEP=ON\n";
    test::WriteAll(IniPath(), original);
    AppSettings s = LoadMissing();
    EXPECT_EQ(s.CardFileName, "Card.set");
    Save(s, kSaveCardFile);
    EXPECT_EQ(IniText(), original);

    s.CardFileName = "Mine.set";
    Save(s, kSaveCardFile);
    EXPECT_EQ(IniText(), "[PARAMETER]\nBEEP=ON\n[CARD]\nFILE=Mine.set\n");
    EXPECT_EQ(LoadMissing().CardFileName, "Mine.set");

    s.CardFileName = "mine.set";  // names compare case-sensitively
    Save(s, kSaveCardFile);
    EXPECT_EQ(LoadMissing().CardFileName, "mine.set");
}

TEST_F(SettingsFile, CommunicationMaskWritesOnlyChangedValues) {
    const std::string original = "; keep\n[COMUNICATION]\nCOM=0\nAUTHENTICATION=1\nBAUD=9600\n";
    test::WriteAll(IniPath(), original);
    AppSettings s = LoadMissing();
    struct stat before{};
    ASSERT_EQ(::stat(IniPath().c_str(), &before), 0);

    Save(s, kSaveCommunication);  // nothing changed
    struct stat after{};
    ASSERT_EQ(::stat(IniPath().c_str(), &after), 0);
    EXPECT_EQ(IniText(), original);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was not rewritten";

    s.CommSettings.ComPort = 12;
    Save(s, kSaveCommunication);
    EXPECT_EQ(IniText(), "; keep\n[COMUNICATION]\nCOM=12\nAUTHENTICATION=1\nBAUD=9600\n");
    s.CommSettings.AuthMethod = 0;
    s.CardFileName = "X.set";  // mask 4 writes the card file too
    Save(s, kSaveCommunication);
    EXPECT_EQ(IniText(),
              "; keep\n[COMUNICATION]\nCOM=12\nAUTHENTICATION=0\nBAUD=9600\n[CARD]\nFILE=X.set\n");
    const AppSettings back = LoadMissing();
    EXPECT_EQ(back.CommSettings.ComPort, 12);
    EXPECT_EQ(back.CommSettings.AuthMethod, 0);
    EXPECT_EQ(back.CardFileName, "X.set");
}

TEST_F(SettingsFile, SavingKeepsEveryOtherLineOfTheFile) {
    const std::string original =
        "; Tapwedge settings\r\n"
        "[EXT]\r\n"
        "VIEW=ON\r\n"
        "SSFC=ON\r\n"
        "\r\n"
        "[PARAMETER]\r\n"
        "MENUDISP=DISNABLE\r\n"
        "BEEP=ON\r\n"
        "# a note\r\n"
        "CUSTOM=whatever\r\n";
    test::WriteAll(IniPath(), original);
    AppSettings s = LoadMissing();
    s.OutputOptions.Beep = 0;
    Save(s, kSaveOutputSettings | kSaveCardFile | kSaveCommunication);
    const std::string text = IniText();
    const std::string kept =
        "; Tapwedge settings\r\n[EXT]\r\nVIEW=ON\r\nSSFC=ON\r\n\r\n[PARAMETER]\r\n"
        "MENUDISP=DISNABLE\r\nBEEP=OFF\r\n# a note\r\nCUSTOM=whatever\r\n";
    EXPECT_EQ(text.substr(0, kept.size()), kept);
    const AppSettings back = LoadMissing();
    EXPECT_TRUE(back.Menu.View);
    EXPECT_FALSE(back.Menu.SettingsItems);
    EXPECT_EQ(back.CardDialogFlags, kCardDialogSsfc);
    EXPECT_EQ(back.OutputOptions.Beep, 0);
}

TEST_F(SettingsFile, LoneCarriageReturnsSurviveASave) {
    // A file name holding a carriage return, and one at the end of the last line.
    test::WriteAll(IniPath(), "[PARAMETER]\nFILE=a\rb.csv\n[CARD]\nFILE=My\r.set\n[X]\nY=last\r");
    const AppSettings loaded = LoadMissing();
    ASSERT_EQ(loaded.OutputOptions.CsvFileName, "a\rb.csv");
    ASSERT_EQ(loaded.CardFileName, "My\r.set");
    AppSettings changed = loaded;
    changed.CommSettings.ComPort = 9;  // something to write after the last line
    Save(changed, kSaveOutputSettings | kSaveCardFile | kSaveCommunication);

    const AppSettings back = LoadMissing();
    EXPECT_EQ(back.OutputOptions.CsvFileName, "a\rb.csv");
    EXPECT_EQ(back.CardFileName, "My\r.set");
    EXPECT_EQ(back.CommSettings.ComPort, 9);
    EXPECT_EQ(ProfileFile::Load(IniPath()).Find("X", "Y"), "last\r");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(IsExistingFolder(folder));
    EXPECT_TRUE(std::filesystem::exists(folder + "core_tests"));
    EXPECT_EQ(AppSettings::Defaults().OutputOptions.CsvFolder, folder);
}

}  // namespace
}  // namespace tapwedge

namespace tapwedge {
namespace {

// A settings file that exists but cannot be read is never written over with the keys of one
// save: the save is refused and its reason given.
TEST_F(SettingsFile, AFileThatCannotBeReadIsLeftByteForByte) {
    const std::string before = "[PARAMETER]\nBEEP=OFF\nFILE=cards.csv\n[COMUNICATION]\nCOM=5\n";
    test::WriteAll(IniPath(), before);
    // Root reads any file: the save runs as "nobody", who owns the folder but may only write
    // the file.
    std::filesystem::permissions(dir.Folder(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(::chmod(IniPath().c_str(), 0200), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.Folder().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(IniPath().c_str(), 65534, 65534), 0);
    }
    AppSettings changed = AppSettings::Defaults(dir.Folder());
    changed.CommSettings.ComPort = 9;
    const auto result = test::RunUnprivileged([&] {
        errno = 0;
        const int saved = SaveSettings(changed, kSaveCommunication | kSaveOutputSettings,
                                       kIniFileName, dir.Folder());
        return saved == 0 ? 0 : errno;
    });
    if (!result) GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(*result, EACCES);
    ::chmod(IniPath().c_str(), 0600);
    EXPECT_EQ(IniText(), before);
}

// A value that would read back otherwise is not written: the rest of the save is, and the save
// is told as failed.
TEST_F(SettingsFile, AValueThatWouldNotReadBackIsNotWritten) {
    for (const std::string name : {"a\nb.csv", " lead.csv", "trail.csv\t"}) {
        SCOPED_TRACE(name);
        test::WriteAll(IniPath(), "[PARAMETER]\nFILE=before.csv\n");
        AppSettings changed = AppSettings::Defaults(dir.Folder());
        changed.OutputOptions.CsvFileName = name;
        changed.OutputOptions.Beep = 0;
        errno = 0;
        EXPECT_EQ(SaveSettings(changed, kSaveOutputSettings, kIniFileName, dir.Folder()), -1);
        EXPECT_EQ(errno, EINVAL);
        const AppSettings back = LoadMissing();
        EXPECT_EQ(back.OutputOptions.CsvFileName, "before.csv");
        EXPECT_EQ(back.OutputOptions.Beep, 0) << "the other keys are saved";
        EXPECT_EQ(IniText().find("b.csv\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace tapwedge
