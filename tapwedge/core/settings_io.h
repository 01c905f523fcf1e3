#pragma once
// Reading and writing the settings of the INI file ("Wedgetap.ini" in the program folder).
#include <string>

#include "core/settings.h"

namespace tapwedge {

// Section mask of SaveSettings.
inline constexpr int kSaveOutputSettings = 0x1;  // [PARAMETER1], [PARAMETER2], [CARDID], [PARAMETER]
inline constexpr int kSaveCardFile = 0x2;        // [CARD] FILE
inline constexpr int kSaveCommunication = 0x4;   // [COMUNICATION] (and [CARD] FILE)

// Reads fileName in the program folder into settings. A missing file, section or key leaves the
// default of that key; nothing is reported.
void LoadSettings(AppSettings& settings, const std::string& fileName);
// The same with programFolder (ending with '/') standing for the program folder, which is also
// the fall-back CSV folder.
void LoadSettings(AppSettings& settings, const std::string& fileName,
                  const std::string& programFolder);

// Writes the sections of mask into fileName in the program folder. Only the keys written change;
// every other line of the file stays. The file is replaced whole (for its user alone), so a
// failed write leaves the previous file. Nothing is written when no value changed. 0 when the
// file holds the settings; -1 with errno telling why not: the file exists but cannot be read
// (it is then left as it is), it cannot be written, or a value would not read back as it is
// (EINVAL: that value is left out, the others are saved). The settings in memory never change.
int SaveSettings(const AppSettings& settings, int mask, const std::string& fileName);
int SaveSettings(const AppSettings& settings, int mask, const std::string& fileName,
                 const std::string& programFolder);

}  // namespace tapwedge
