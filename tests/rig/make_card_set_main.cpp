// make-card-set: writes "Card.set" and "Wedgetap.ini" into a program folder for the rig's
// standard cards (see program_files.h).
//
//   make-card-set --folder DIR [--com N | --usb] [--cards felica,mifare,iso15693]
//                 [--csv FILE] [--keys ID,KAR,KBR,KCR] [--wait MS] [--mutual]
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "core/hex_text.h"
#include "program_files.h"

namespace {

int Usage() {
    std::cerr << "usage: make-card-set --folder DIR [--com N | --usb] [--cards felica,mifare,iso15693]\n"
                 "                     [--csv FILE] [--keys ID,KAR,KBR,KCR] [--wait MS] [--mutual]\n"
                 "Cards default to felica,mifare; the reader to USB; keys to the program's own;\n"
                 "authentication to the password (--mutual: mutual, with the encrypted channel).\n";
    return 2;
}

bool ParseKeys(const std::string& text, TwAuthKeys& keys) {
    std::istringstream in(text);
    std::uint8_t* parts[] = {keys.Id, keys.Kar, keys.Kbr, keys.Kcr};
    std::string part;
    for (std::uint8_t* key : parts) {
        if (!std::getline(in, part, ',') || part.size() != 16) return false;
        if (tapwedge::ParseHexText(part.c_str(), key, 8) != 0) return false;
    }
    return !std::getline(in, part, ',');
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    rig::ProgramSetup setup;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--usb") {
            setup.com_port = 0;
            continue;
        }
        if (option == "--mutual") {
            setup.mutual_authentication = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (option == "--folder") {
            folder = value;
        } else if (option == "--com") {
            setup.com_port = std::atoi(value.c_str());
            if (setup.com_port < 1 || setup.com_port > 255) return Usage();
        } else if (option == "--cards") {
            setup.felica = value.find("felica") != std::string::npos;
            setup.mifare = value.find("mifare") != std::string::npos;
            setup.iso15693 = value.find("iso15693") != std::string::npos;
        } else if (option == "--csv") {
            setup.csv_file = value;
        } else if (option == "--keys") {
            TwAuthKeys keys{};
            if (!ParseKeys(value, keys)) return Usage();
            setup.reader_keys = keys;
        } else if (option == "--wait") {
            setup.wait_time_ms = std::atoi(value.c_str());
        } else {
            return Usage();
        }
    }
    if (folder.empty()) return Usage();
    if (const std::string error = rig::WriteProgramFiles(folder, setup); !error.empty()) {
        std::cerr << "make-card-set: " << error << "\n";
        return 1;
    }
    return 0;
}
