#pragma once
// The program's settings as the main form holds them. Records keep their field order: the
// dialogs take them by address. Defaults are the built-in values set before the INI file is read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tagwire/tagwire.h"

namespace tapwedge {

// How the reader is reached and authenticated.
struct CommSettings {
    std::uint8_t ComPort = 0;      // 0 = USB, 1..255 = COM port number
    std::int32_t Baud = 115200;    // bit/s when the reader is opened
    std::int32_t AuthMethod = 1;   // 1 = password authentication, 0 = mutual authentication
    std::int32_t CommMode = 1;     // TwAuthentication mode: 0 = encrypted, 1 = plain
    std::int32_t ReaderType = 0x0F;  // edition and card kinds, low byte used; 0x0F = not detected
    TwAuthKeys Keys = DefaultReaderKeys();

    static TwAuthKeys DefaultReaderKeys();
};

// One output item: 0 = ID before the data, 1 = area 1, 2 = area 2, 3 = ID after the data.
struct OutputItem {
    std::int32_t Length = 0;     // items 1 and 2: characters of that area in the current read
    std::uint8_t Enabled = 0;
    std::int32_t Separator = 0;  // 0 = TAB, 1 = RETURN, other = none
};

struct OutputItems {
    OutputItem Item[4];
    OutputItem& operator[](int i) { return Item[i]; }
    const OutputItem& operator[](int i) const { return Item[i]; }

    static OutputItems Defaults() {
        OutputItems items;
        items[0].Enabled = 1;
        items[1].Enabled = 1;
        return items;
    }
};

struct OutputOptions {
    std::uint8_t Beep = 1;
    std::uint8_t UidNormalOrder = 0;  // 1 = UID[0]..UID[n], 0 = reversed
    std::uint8_t KeyboardOutput = 1;
    std::uint8_t FileOutput = 0;
    std::uint8_t StartStopped = 0;
    std::uint8_t CaseSwitch = 0;
    std::string CsvFolder;            // ends with the path separator after loading
    std::string CsvFileName = "log.csv";
    std::int32_t WaitTime = 0;        // ms after each key event; <= 0 = no wait
    std::int8_t ReplaceKey = 0;       // 0..3, index into the replacement key table
};

// Visibility of tray menu items that the INI file decides.
struct MenuVisibility {
    bool View = false;           // the raw data view item "View" and the separator after it
    bool SettingsItems = true;   // output, card and communication settings items and their separator
};

inline constexpr std::size_t kCardFileNameMax = 255;  // characters (bytes) of CardFileName
inline constexpr const char* kDefaultCardFileName = "Card.set";
inline constexpr const char* kIniFileName = "Wedgetap.ini";

// Every setting of the main form that the INI file touches, plus the flags that shape the
// dialogs. A default-constructed value holds the built-in defaults except CsvFolder, which is
// the program folder: Defaults() sets it.
struct AppSettings {
    tapwedge::CommSettings CommSettings;
    tapwedge::OutputItems OutputItems = tapwedge::OutputItems::Defaults();
    tapwedge::OutputOptions OutputOptions;
    std::string CardFileName = kDefaultCardFileName;  // at most kCardFileNameMax characters
    std::uint16_t CardDialogFlags = 0;  // 0x40 = SSFC reading offered; 0x80 = ISO15693 (menu adds)
    std::int32_t CommDialogMode = 2;    // 0 = mutual authentication may be chosen; 2 = plain only
    std::int32_t CardKeyId = 0xF0F0F0;  // replaced by reader initialisation
    std::uint8_t PollingStopped = 0;    // set from [PARAMETER] START by LoadSettings
    MenuVisibility Menu;

    // The built-in defaults with the folder of the program file as CsvFolder.
    static AppSettings Defaults();
    static AppSettings Defaults(const std::string& programFolder) {
        AppSettings s;
        s.OutputOptions.CsvFolder = programFolder;
        return s;
    }
};

inline constexpr std::uint16_t kCardDialogSsfc = 0x40;
inline constexpr std::uint16_t kCardDialogIso15693 = 0x80;

// A ReplaceKey outside 0..3 (from an edited INI file) becomes 0; the form does this after the
// card-parameter file has been read.
inline void ClampReplaceKey(OutputOptions& options) {
    if (options.ReplaceKey < 0 || options.ReplaceKey > 3) options.ReplaceKey = 0;
}

}  // namespace tapwedge
