#pragma once
// The settings folder: where the program keeps Wedgetap.ini, the card-parameter files ("*.set")
// and, unless another folder is set, the CSV file; it is also the program's current directory, so
// that the card-parameter files are opened there by bare name.
//
// It is the program folder when the user may write it and it holds Wedgetap.ini or a "*.set" file
// (a self-contained folder). Otherwise it is the user's folder $XDG_CONFIG_HOME/tapwedge (default
// ~/.config/tapwedge, beside ports/), made when missing. A user folder without any settings yet
// (neither Wedgetap.ini nor a "*.set" file, so also one that holds only ports/) receives copies of
// the program folder's Wedgetap.ini and "*.set" files (an administrator's preset); when the
// program folder has no Wedgetap.ini, it receives the default one. Whatever the folder, when it
// holds no "Card.set" the default card parameters are copied in. The defaults lie in
// share/tapwedge/ beside the program's bin/ folder. No file that is there already is replaced.
//
// The folder holds the reader keys and the card log: the user folder is for its user alone
// (0700; one that others may read, made by another tool before the first start, is made so),
// and the files copied in are 0600. A self-contained program folder is left as its user made it.
#include <string>
#include <vector>

namespace tapwedge {

struct SettingsFolderPlaces {
    std::string ProgramFolder;   // ends with '/'
    std::string UserFolder;      // ends with '/'; "" when the user has no home folder
    std::string DefaultsFolder;  // ends with '/'

    // The places of the program in programFolder (ending with '/') for the current user.
    static SettingsFolderPlaces For(const std::string& programFolder);
};

struct SettingsFolder {
    std::string Folder;                 // ends with '/'
    std::vector<std::string> Problems;  // what could not be done or was mended, one line each
};

// The defaults folder of the program in programFolder: ../share/tapwedge/ from it.
std::string DefaultsFolderOf(const std::string& programFolder);

// Whether folder is a self-contained program folder: the user may write it and it holds
// Wedgetap.ini or a "*.set" file.
bool IsSelfContainedFolder(const std::string& folder);

// Chooses the settings folder, makes it when it is the user folder and makes that private.
// Without a user folder that can be made, the program folder is used.
SettingsFolder ChooseSettingsFolder(const SettingsFolderPlaces& places);
// Seeds a chosen user folder and gives the folder its default Card.set (above).
void FillSettingsFolder(const SettingsFolderPlaces& places, SettingsFolder& settings);
// Both: the settings folder ready for the program.
SettingsFolder PrepareSettingsFolder(const SettingsFolderPlaces& places);

// Tells the problems of settings on standard error, makes its folder the current directory and
// returns the folder.
std::string EnterSettingsFolder(const SettingsFolder& settings);
// Prepares the settings folder of the program in programFolder and enters it.
std::string EnterSettingsFolder(const std::string& programFolder);

}  // namespace tapwedge
