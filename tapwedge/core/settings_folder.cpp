#include "core/settings_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/param_file_list.h"
#include "core/program_folder.h"
#include "core/replace_file.h"
#include "core/settings.h"
#include "platform/user_folders.h"

namespace tapwedge {
namespace {

// Larger files are no settings of this program; they are not copied.
constexpr off_t kMaxCopiedBytes = 1 << 20;

bool Exists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> ParamFilesOf(const std::string& folder) {
    std::vector<std::string> names;
    ListParamFileNames(folder, names);
    return names;
}

bool HoldsSettings(const std::string& folder) {
    return IsRegularFile(folder + kIniFileName) || !ParamFilesOf(folder).empty();
}

std::string Reason(int error) { return std::strerror(error); }

// Makes folder and the folders above it that are missing, the new ones for this user alone (they
// hold the reader keys of the card-parameter files). "" on success, else why not.
std::string MakeFolder(const std::string& folder) {
    std::string path;
    for (std::size_t at = 0; at != std::string::npos;) {
        const std::size_t slash = folder.find('/', at + 1);
        path = folder.substr(0, slash);
        at = slash;
        if (path.empty() || IsExistingFolder(path)) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return path + ": " + Reason(errno);
    }
    return IsExistingFolder(folder) ? "" : folder + ": not a folder";
}

// Copies from to the new file to, unless to is there already. Problems are added to problems.
void CopyWhenMissing(const std::string& from, const std::string& to,
                     std::vector<std::string>& problems) {
    if (Exists(to)) return;
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        problems.push_back("cannot read " + from + ": " + Reason(errno));
        return;
    }
    struct stat st{};
    if (::stat(from.c_str(), &st) != 0 || st.st_size > kMaxCopiedBytes) {
        problems.push_back("not copied, too large for a settings file: " + from);
        return;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (ReplaceFileContents(to, bytes.data(), bytes.size(), FileAccess::OwnerOnly) !=
        ReplaceFileResult::Ok) {
        problems.push_back("cannot write " + to + ": " + Reason(errno));
    }
}

// Others may not look into the user folder, which holds the reader keys and the card log: one
// that another tool made readable by them (reader-sim, `mkdir -p .../ports`) is made private, as
// long as it is the user's own. "" when nothing was to be done, else the line that tells it.
std::string MakePrivate(const std::string& folder) {
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0 || (st.st_mode & 077) == 0 || st.st_uid != ::geteuid()) {
        return "";
    }
    if (::chmod(folder.c_str(), 0700) != 0) {
        return "the settings folder " + folder + " is open to other users and cannot be made " +
               "private: " + Reason(errno);
    }
    return "the settings folder " + folder + " was open to other users; it is now for you " +
           "alone (mode 0700)";
}

// A user folder without settings yet takes the program folder's, or the default Wedgetap.ini.
void Seed(const SettingsFolderPlaces& places, std::vector<std::string>& problems) {
    const std::string& to = places.UserFolder;
    if (HoldsSettings(to)) return;
    const std::string presetIni = places.ProgramFolder + kIniFileName;
    CopyWhenMissing(IsRegularFile(presetIni) ? presetIni : places.DefaultsFolder + kIniFileName,
                    to + kIniFileName, problems);
    for (const std::string& name : ParamFilesOf(places.ProgramFolder)) {
        if (IsRegularFile(places.ProgramFolder + name)) {
            CopyWhenMissing(places.ProgramFolder + name, to + name, problems);
        }
    }
}

}  // namespace

SettingsFolderPlaces SettingsFolderPlaces::For(const std::string& programFolder) {
    SettingsFolderPlaces places;
    places.ProgramFolder = WithTrailingSeparator(programFolder);
    const std::string config = platform::UserConfigFolder();
    if (!config.empty()) places.UserFolder = WithTrailingSeparator(config) + "tapwedge/";
    places.DefaultsFolder = DefaultsFolderOf(places.ProgramFolder);
    return places;
}

std::string DefaultsFolderOf(const std::string& programFolder) {
    const std::filesystem::path share =
        (std::filesystem::path(programFolder) / ".." / "share" / "tapwedge").lexically_normal();
    return WithTrailingSeparator(share.string());
}

bool IsSelfContainedFolder(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0 && HoldsSettings(WithTrailingSeparator(folder));
}

SettingsFolder ChooseSettingsFolder(const SettingsFolderPlaces& places) {
    SettingsFolder result;
    result.Folder = places.ProgramFolder;
    if (IsSelfContainedFolder(places.ProgramFolder)) return result;
    const std::string made =
        places.UserFolder.empty() ? "no home folder" : MakeFolder(places.UserFolder);
    if (!made.empty()) {
        result.Problems.push_back("cannot make the settings folder (" + made +
                                  "); settings are kept in " + places.ProgramFolder);
        return result;
    }
    result.Folder = places.UserFolder;
    if (std::string told = MakePrivate(result.Folder); !told.empty()) {
        result.Problems.push_back(std::move(told));
    }
    return result;
}

SettingsFolder PrepareSettingsFolder(const SettingsFolderPlaces& places) {
    SettingsFolder result = ChooseSettingsFolder(places);
    FillSettingsFolder(places, result);
    return result;
}

void FillSettingsFolder(const SettingsFolderPlaces& places, SettingsFolder& result) {
    if (result.Folder == places.UserFolder) Seed(places, result.Problems);
    const std::string cardSet = result.Folder + kDefaultCardFileName;
    if (!Exists(cardSet)) {
        const std::string defaults = places.DefaultsFolder + kDefaultCardFileName;
        if (IsRegularFile(defaults)) {
            CopyWhenMissing(defaults, cardSet, result.Problems);
        } else {
            result.Problems.push_back("no default card parameters at " + defaults);
        }
    }
}

std::string EnterSettingsFolder(const std::string& programFolder) {
    return EnterSettingsFolder(PrepareSettingsFolder(SettingsFolderPlaces::For(programFolder)));
}

std::string EnterSettingsFolder(const SettingsFolder& settings) {
    for (const std::string& problem : settings.Problems) {
        std::fprintf(stderr, "tapwedge: %s\n", problem.c_str());
    }
    if (::chdir(settings.Folder.c_str()) != 0) {
        std::fprintf(stderr, "tapwedge: cannot enter the settings folder %s: %s\n",
                     settings.Folder.c_str(), Reason(errno).c_str());
    }
    return settings.Folder;
}

}  // namespace tapwedge
