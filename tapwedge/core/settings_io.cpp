#include "core/settings_io.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <string_view>

#include "core/profile_file.h"
#include "core/program_folder.h"

namespace tapwedge {
namespace {

// Same text as the constructor default, so that a profile without [CARD] FILE names the file that
// is there (names are case-sensitive here).
constexpr std::string_view kCardFileKeyDefault = kDefaultCardFileName;
constexpr std::string_view kMenuHiddenValue = "DISNABLE";

bool FlagOn(const std::string& value) { return value.starts_with("ON"); }
bool FlagNotOff(const std::string& value) {
    return !value.starts_with("OFF");
}

const char* OnOff(std::uint8_t flag) { return flag ? "ON" : "OFF"; }

std::string AreaSection(int area) { return "PARAMETER" + std::to_string(area); }

void LoadOutputItems(const ProfileFile& ini, OutputItems& items) {
    for (int area = 1; area <= 2; ++area) {
        items[area].Enabled = ini.ReadInteger(AreaSection(area), "ENABLED", 0) != 0;
        items[area].Separator = ini.ReadInteger(AreaSection(area), "SEGMENT", 0);
    }
    const bool after = ini.ReadInteger("CARDID", "POSITION", 0) != 0;
    OutputItem& id = items[after ? 3 : 0];
    OutputItem& other = items[after ? 0 : 3];
    id.Enabled = ini.ReadInteger("CARDID", "ENABLED", 0) != 0;
    other.Enabled = 0;
    id.Separator = ini.ReadInteger("CARDID", "SEGMENT", 0);
}

// The ID item that SaveSettings writes: item 3 when it is enabled, else item 0. With neither
// enabled, item 3 when it alone holds a separator, as LoadSettings leaves a disabled ID item
// after the data: so that its place and separator are not lost by a save.
bool IdItemAfterData(const OutputItems& items) {
    if (items[3].Enabled || items[0].Enabled) return items[3].Enabled != 0;
    return items[3].Separator != 0 && items[0].Separator == 0;
}

void LoadCsvFolder(const ProfileFile& ini, OutputOptions& options, const std::string& programFolder) {
    const std::string path = ini.ReadString("PARAMETER", "PATH", "");
    if (!path.empty()) options.CsvFolder = path;
    if (!IsExistingFolder(path)) options.CsvFolder = programFolder;
    options.CsvFolder = WithTrailingSeparator(options.CsvFolder);
}

}  // namespace

void LoadSettings(AppSettings& settings, const std::string& fileName,
                  const std::string& programFolder) {
    const ProfileFile ini = ProfileFile::Load(programFolder + fileName);
    CommSettings& comm = settings.CommSettings;
    OutputOptions& options = settings.OutputOptions;

    LoadOutputItems(ini, settings.OutputItems);

    const std::string cardFile = ini.ReadString("CARD", "FILE", kCardFileKeyDefault);
    // A longer name is refused rather than cut, so that no other file is opened by mistake.
    if (!cardFile.empty() && cardFile.size() <= kCardFileNameMax) settings.CardFileName = cardFile;

    comm.ComPort = static_cast<std::uint8_t>(ini.ReadInteger("COMUNICATION", "COM", 1));
    comm.AuthMethod = ini.ReadInteger("COMUNICATION", "AUTHENTICATION", 1);
    comm.CommMode = 0;

    if (ini.ReadString("PARAMETER", "MENUDISP", "") == kMenuHiddenValue) {
        settings.Menu.SettingsItems = false;
    }
    options.Beep = FlagOn(ini.ReadString("PARAMETER", "BEEP", "ON"));
    options.ReplaceKey = static_cast<std::int8_t>(
        static_cast<std::uint8_t>(ini.ReadInteger("PARAMETER", "REPLACEKEY", 0)));
    options.UidNormalOrder = ini.ReadInteger("PARAMETER", "UIDDISP", 0) == 0 ? 1 : 0;
    options.KeyboardOutput = FlagOn(ini.ReadString("PARAMETER", "KEYEMU", "ON"));
    options.FileOutput = FlagOn(ini.ReadString("PARAMETER", "LOG", "ON"));
    options.CaseSwitch = FlagNotOff(ini.ReadString("PARAMETER", "UPPERLOWERCHANGE", "OFF"));
    LoadCsvFolder(ini, options, programFolder);
    const std::string csvFile = ini.ReadString("PARAMETER", "FILE", "");
    if (!csvFile.empty()) options.CsvFileName = csvFile;
    settings.PollingStopped = FlagOn(ini.ReadString("PARAMETER", "START", "ON")) ? 0 : 1;
    options.StartStopped = settings.PollingStopped;
    const std::string waitTime = ini.ReadString("PARAMETER", "WAITTIME", "");
    if (!waitTime.empty()) options.WaitTime = ParseDecimal(waitTime).value_or(0);

    settings.CommDialogMode = FlagOn(ini.ReadString("EXT", "TWOWAYAUTHENTICATION", "")) ? 0 : 2;
    if (FlagOn(ini.ReadString("EXT", "SSFC", ""))) settings.CardDialogFlags |= kCardDialogSsfc;
    if (FlagOn(ini.ReadString("EXT", "VIEW", ""))) settings.Menu.View = true;
}

void LoadSettings(AppSettings& settings, const std::string& fileName) {
    LoadSettings(settings, fileName, ProgramFolder());
}

namespace {

int WriteSections(const AppSettings& settings, int mask, const std::string& fileName,
                  const std::string& programFolder) {
    const std::string path = programFolder + fileName;
    // A file that exists but cannot be read is not written over with this save's keys alone.
    ProfileFile ini;
    if (const int error = ProfileFile::Read(path, ini); error != 0 && error != ENOENT) {
        errno = error;
        return -1;
    }
    // Every value is written that reads back as written; one that would not is left out and the
    // save counts as failed.
    bool allWritten = true;
    const auto write = [&](std::string_view section, std::string_view key, std::string_view value) {
        if (!ini.Write(section, key, value)) allWritten = false;
    };
    const OutputItems& items = settings.OutputItems;
    const OutputOptions& options = settings.OutputOptions;
    const CommSettings& comm = settings.CommSettings;

    if (mask & kSaveOutputSettings) {
        for (int area = 1; area <= 2; ++area) {
            write(AreaSection(area), "ENABLED", items[area].Enabled ? "1" : "0");
            write(AreaSection(area), "SEGMENT", std::to_string(items[area].Separator));
        }
        const bool after = IdItemAfterData(items);
        const OutputItem& id = items[after ? 3 : 0];
        write("CARDID", "POSITION", after ? "3" : "0");
        write("CARDID", "ENABLED", id.Enabled ? "1" : "0");
        write("CARDID", "SEGMENT", std::to_string(id.Separator));

        write("PARAMETER", "BEEP", OnOff(options.Beep));
        write("PARAMETER", "REPLACEKEY", std::to_string(options.ReplaceKey));
        write("PARAMETER", "UIDDISP", options.UidNormalOrder == 1 ? "0" : "1");
        write("PARAMETER", "KEYEMU", OnOff(options.KeyboardOutput));
        write("PARAMETER", "Log", OnOff(options.FileOutput));
        write("PARAMETER", "PATH", options.CsvFolder);
        write("PARAMETER", "FILE", options.CsvFileName);
        write("PARAMETER", "WAITTIME", std::to_string(options.WaitTime));
        write("PARAMETER", "UPPERLOWERCHANGE", OnOff(options.CaseSwitch));
        write("PARAMETER", "START", options.StartStopped == 1 ? "OFF" : "ON");
    }
    if (mask & (kSaveCardFile | kSaveCommunication)) {
        if (ini.ReadString("CARD", "FILE", kCardFileKeyDefault) != settings.CardFileName) {
            write("CARD", "FILE", settings.CardFileName);
        }
    }
    if (mask & kSaveCommunication) {
        if (ini.ReadInteger("COMUNICATION", "COM", 1) != comm.ComPort) {
            write("COMUNICATION", "COM", std::to_string(comm.ComPort));
        }
        if (ini.ReadInteger("COMUNICATION", "AUTHENTICATION", 1) != comm.AuthMethod) {
            write("COMUNICATION", "AUTHENTICATION", std::to_string(comm.AuthMethod));
        }
    }
    if (ini.Modified()) {
        errno = 0;
        if (!ini.Save(path)) {
            if (errno == 0) errno = EIO;
            return -1;
        }
    }
    if (!allWritten) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

}  // namespace

int SaveSettings(const AppSettings& settings, int mask, const std::string& fileName,
                 const std::string& programFolder) {
    // The settings in memory stay as they are whatever happens; the old file stays whole.
    try {
        return WriteSections(settings, mask, fileName, programFolder);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    } catch (...) {
        errno = EIO;
    }
    return -1;
}

int SaveSettings(const AppSettings& settings, int mask, const std::string& fileName) {
    return SaveSettings(settings, mask, fileName, ProgramFolder());
}

}  // namespace tapwedge
