#pragma once
// The files of a program folder for the rig's standard cards: "Card.set" (the encrypted card
// parameters) and "Wedgetap.ini" (the settings), written with the program's own cipher and INI
// writer.
//
// The card entries read the standard cards (standard_cards.h) in hexadecimal: entry 0 FeliCa,
// entry 1 Mifare (key A), entry 2 ISO15693, each only when chosen. The settings type the ID with
// TAB after it, then area 1 and area 2 each with RETURN after it; UIDs in the order the card
// delivers them; no beep; and append every read to the CSV file when one is named. The reader is
// authenticated by password, or mutually with the encrypted channel when asked.
#include <optional>
#include <string>

#include "core/card_param_image.h"

namespace rig {

struct ProgramSetup {
    int com_port = 0;  // 0 = the reader on USB, 1..255 = COM port number
    bool felica = true;
    bool mifare = true;
    bool iso15693 = false;
    std::string csv_file;  // "" = no CSV output; else a name in the program folder
    std::optional<TwAuthKeys> reader_keys;  // stored in Card.set; none = the program's defaults
    int wait_time_ms = 0;
    // Mutual authentication, which the program always asks for with the encrypted channel, and
    // the communication dialog that offers it; else password authentication (plain channel).
    bool mutual_authentication = false;
};

// The card-parameter image of the setup.
tapwedge::CardParamImage CardImageOf(const ProgramSetup& setup);

// Writes folder/Card.set and folder/Wedgetap.ini (replacing both). "" on success, else why not.
std::string WriteProgramFiles(const std::string& folder, const ProgramSetup& setup);

}  // namespace rig
