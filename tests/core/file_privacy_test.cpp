// The settings folder and the files the program writes hold the reader keys and the card log:
// they are for their user alone, whatever the umask and whoever made the folder first.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/card_param_image.h"
#include "core/csv_output.h"
#include "core/param_file_cipher.h"
#include "core/reader_keys_file.h"
#include "core/settings_folder.h"
#include "core/settings_io.h"
#include "temp_dir.h"

namespace tapwedge {
namespace {

namespace fs = std::filesystem;

unsigned ModeOf(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000;
}

// Sets the umask for one test and puts the old one back.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t old_;
};

// A program in <root>/bin/ with its defaults, and a user folder that reader-sim or
// `mkdir -p ~/.config/tapwedge/ports` made before the first start, readable by everyone.
class FilePrivacy : public testing::Test {
protected:
    FilePrivacy() {
        fs::create_directories(dir.File("bin"));
        fs::create_directories(dir.File("share/tapwedge"));
        test::WriteAll(dir.File("share/tapwedge/Card.set"), "default card parameters");
        test::WriteAll(dir.File("share/tapwedge/Wedgetap.ini"), "; default settings\n");
        places.ProgramFolder = dir.File("bin/");
        places.UserFolder = dir.File("config/tapwedge/");
        places.DefaultsFolder = dir.File("share/tapwedge/");
    }

    test::TempDir dir;
    SettingsFolderPlaces places;
};

TEST_F(FilePrivacy, AUserFolderThatOthersCanReadIsMadePrivateAtTheFirstStart) {
    const Umask open(0);
    fs::create_directories(places.UserFolder + "ports");
    ::chmod(places.UserFolder.c_str(), 0755);

    const SettingsFolder first = PrepareSettingsFolder(places);
    ASSERT_EQ(first.Folder, places.UserFolder);
    EXPECT_EQ(ModeOf(places.UserFolder), 0700u);
    EXPECT_EQ(ModeOf(places.UserFolder + "Card.set"), 0600u);
    EXPECT_EQ(ModeOf(places.UserFolder + "Wedgetap.ini"), 0600u);
    // Said once, naming the folder.
    ASSERT_EQ(first.Problems.size(), 1u);
    EXPECT_NE(first.Problems[0].find(places.UserFolder), std::string::npos) << first.Problems[0];
    EXPECT_NE(first.Problems[0].find("0700"), std::string::npos) << first.Problems[0];
    EXPECT_TRUE(PrepareSettingsFolder(places).Problems.empty());
}

TEST_F(FilePrivacy, ASelfContainedFolderIsLeftAsItIsItsNewFilesArePrivate) {
    const Umask open(0);
    test::WriteAll(places.ProgramFolder + "Wedgetap.ini", "[CARD]\nFILE=Card.set\n");
    ::chmod(places.ProgramFolder.c_str(), 0755);
    const SettingsFolder chosen = PrepareSettingsFolder(places);
    ASSERT_EQ(chosen.Folder, places.ProgramFolder);
    EXPECT_TRUE(chosen.Problems.empty());
    EXPECT_EQ(ModeOf(places.ProgramFolder), 0755u);
    EXPECT_EQ(ModeOf(places.ProgramFolder + "Card.set"), 0600u);
}

// Every writer of a file that holds settings, keys or card reads, on a new file and on a file
// that others could read.
TEST_F(FilePrivacy, FilesWrittenWithSettingsKeysOrCardReadsAreForTheirUserAlone) {
    const Umask open(0);
    const std::string folder = dir.Folder();
    CardParamImage image{};
    ParamFileCipher cipher;
    TwAuthKeys keys{};
    keys.Id[0] = 0x42;
    AppSettings settings = AppSettings::Defaults(folder);
    settings.CommSettings.ComPort = 7;
    settings.CardFileName = "Other.set";

    const struct {
        const char* name;
        const char* file;
        std::function<void(const std::string& path)> write;
    } writers[] = {
        {"card-parameter file", "Card.set",
         [&](const std::string& path) {
             ASSERT_EQ(cipher.WriteParamFile(image.Data(), kCardParamImageSize, path), 0);
         }},
        {"reader keys into the card-parameter file", "Keys.set",
         [&](const std::string& path) { ASSERT_EQ(StoreReaderKeys(path, keys, image), 0); }},
        {"settings file", kIniFileName,
         [&](const std::string&) {
             SaveSettings(settings, kSaveOutputSettings | kSaveCommunication, kIniFileName, folder);
         }},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        const std::string path = folder + w.file;
        fs::remove(path);
        w.write(path);
        EXPECT_EQ(ModeOf(path), 0600u) << "a new file";
        ::chmod(path.c_str(), 0644);
        settings.CommSettings.ComPort++;
        keys.Id[1]++;
        w.write(path);
        EXPECT_EQ(ModeOf(path), 0600u) << "a file rewritten";
    }
}

TEST_F(FilePrivacy, ANewCsvFileIsPrivateAnExistingOneKeepsItsMode) {
    const Umask open(0);
    OutputOptions options;
    options.CsvFolder = dir.File("elsewhere/");
    options.CsvFileName = "log.csv";
    fs::create_directories(options.CsvFolder);
    CardIdRecord id{};
    id.Length = 2;
    id.Bytes[0] = 'A';
    id.Bytes[1] = 'B';
    const CardDataRecord data{};
    ASSERT_EQ(AppendCsvLine(OutputItems::Defaults(), options, id, data), 0);
    EXPECT_EQ(ModeOf(options.CsvFolder + "log.csv"), 0600u);
    // Shared on purpose by its user: the mode stays.
    ::chmod((options.CsvFolder + "log.csv").c_str(), 0644);
    ASSERT_EQ(AppendCsvLine(OutputItems::Defaults(), options, id, data), 0);
    EXPECT_EQ(ModeOf(options.CsvFolder + "log.csv"), 0644u);
    EXPECT_EQ(test::ReadAll(options.CsvFolder + "log.csv"), "AB,,\nAB,,\n");
}

}  // namespace
}  // namespace tapwedge
