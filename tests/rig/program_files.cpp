#include "program_files.h"

#include <unistd.h>

#include "core/param_file_cipher.h"
#include "core/profile_file.h"
#include "core/program_folder.h"
#include "core/settings_io.h"
#include "standard_card_places.h"

namespace rig {
namespace {

// Kind words as the card-parameter dialog writes them, output code 2 (hexadecimal), data read.
constexpr std::uint16_t kFelicaKind = 0x9201;    // in use, second-area flag, FeliCa, block area
constexpr std::uint16_t kMifareKind = 0x9241;    // in use, second area, Mifare key A, any UID size
constexpr std::uint16_t kIso15693Kind = 0x82C1;  // in use, ISO15693, block area

void SetArea(tapwedge::CardArea& area, const AreaPlace& place) {
    area.Block = place.block;
    area.Start = place.start;
    area.Length = place.length;
}

}  // namespace

tapwedge::CardParamImage CardImageOf(const ProgramSetup& setup) {
    tapwedge::CardParamImage image{};
    if (setup.felica) {
        tapwedge::CardEntry& e = image.Entries[0];
        e.SetKind(kFelicaKind);
        e.SetSystemCode(0xFFFF);
        e.SetServiceCode(kFelicaService);
        SetArea(e.Areas[0], kFelicaArea);
        e.SetSecondServiceCode(0);
    }
    if (setup.mifare) {
        tapwedge::CardEntry& e = image.Entries[1];
        e.SetKind(kMifareKind);
        for (std::uint8_t& b : e.MifareKey) b = 0xFF;
        SetArea(e.Areas[0], kMifareAreas[0]);
        SetArea(e.Areas[1], kMifareAreas[1]);
    }
    if (setup.iso15693) {
        tapwedge::CardEntry& e = image.Entries[2];
        e.SetKind(kIso15693Kind);
        e.KindSpecific[2] = 0x00;  // 4-byte blocks, multiple-block reads
        SetArea(e.Areas[0], kIso15693Area);
    }
    if (setup.reader_keys) image.SetReaderKeys(*setup.reader_keys);
    return image;
}

std::string WriteProgramFiles(const std::string& folderText, const ProgramSetup& setup) {
    if (!tapwedge::IsExistingFolder(folderText)) return folderText + " is not a folder";
    const std::string folder = tapwedge::WithTrailingSeparator(folderText);
    if (setup.com_port < 0 || setup.com_port > 255) return "the COM port is 0 (USB) or 1..255";

    const tapwedge::CardParamImage image = CardImageOf(setup);
    tapwedge::ParamFileCipher cipher;
    if (cipher.WriteParamFile(image.Data(), tapwedge::kCardParamImageSize, folder + "Card.set") != 0)
        return "cannot write " + folder + "Card.set";

    tapwedge::AppSettings settings = tapwedge::AppSettings::Defaults(folder);
    settings.CommSettings.ComPort = static_cast<std::uint8_t>(setup.com_port);
    settings.CommSettings.AuthMethod = setup.mutual_authentication ? 0 : 1;
    settings.OutputItems[0] = {0, 1, 0};  // ID, then TAB
    settings.OutputItems[1] = {0, 1, 1};  // area 1, then RETURN
    settings.OutputItems[2] = {0, 1, 1};  // area 2, then RETURN
    settings.OutputItems[3] = {0, 0, 0};
    settings.OutputOptions.Beep = 0;
    settings.OutputOptions.UidNormalOrder = 1;
    settings.OutputOptions.KeyboardOutput = 1;
    settings.OutputOptions.FileOutput = setup.csv_file.empty() ? 0 : 1;
    settings.OutputOptions.CsvFolder = folder;
    settings.OutputOptions.CsvFileName = setup.csv_file.empty() ? "log.csv" : setup.csv_file;
    settings.OutputOptions.WaitTime = setup.wait_time_ms;
    settings.CardFileName = "Card.set";

    const std::string ini = folder + tapwedge::kIniFileName;
    unlink(ini.c_str());  // a fresh file: every key is written
    tapwedge::SaveSettings(settings, tapwedge::kSaveOutputSettings | tapwedge::kSaveCommunication,
                           tapwedge::kIniFileName, folder);
    if (setup.mutual_authentication) {
        // The program never writes [EXT]; only with it does the dialog offer mutual authentication.
        tapwedge::ProfileFile profile = tapwedge::ProfileFile::Load(ini);
        profile.Write("EXT", "TWOWAYAUTHENTICATION", "ON");
        if (!profile.Save(ini)) return "cannot write " + ini;
    }

    // The program must read back what was meant.
    tapwedge::AppSettings loaded = tapwedge::AppSettings::Defaults(folder);
    tapwedge::LoadSettings(loaded, tapwedge::kIniFileName, folder);
    const bool same = loaded.CommSettings.ComPort == settings.CommSettings.ComPort &&
                      loaded.CardFileName == settings.CardFileName &&
                      loaded.OutputOptions.FileOutput == settings.OutputOptions.FileOutput &&
                      loaded.OutputOptions.CsvFolder == folder && loaded.OutputItems[0].Enabled == 1 &&
                      loaded.OutputItems[2].Separator == 1 && loaded.OutputOptions.UidNormalOrder == 1 &&
                      loaded.CommSettings.AuthMethod == settings.CommSettings.AuthMethod &&
                      (loaded.CommDialogMode == 0) == setup.mutual_authentication;
    if (!same) return "cannot write " + ini + " so that it reads back";
    return "";
}

}  // namespace rig
