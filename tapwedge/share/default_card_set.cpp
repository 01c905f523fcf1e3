// tapwedge-default-card-set FILE: writes the card parameters that a new settings folder starts
// with ("Card.set" in share/tapwedge/), encrypted as every card-parameter file is, with the
// program's own image and cipher. The build runs it; the file is not kept in the sources.
//
// What the file holds: three card entries that each type a card's identifier as hexadecimal
// text ("0～9,A～F"), no data areas, no fixed output widths and no reader keys (byte 175 is 0, so
// the program's built-in reader keys stay in force).
#include <sys/stat.h>

#include <cstdio>

#include "core/card_param_image.h"
#include "core/param_file_cipher.h"

namespace {

using tapwedge::CardEntry;

// Kind, high byte: in use, output code; the card dialog marks every FeliCa entry with 0x10.
constexpr std::uint8_t kInUse = 0x80;
constexpr std::uint8_t kFelicaEntry = 0x10;
constexpr std::uint8_t kHexText = tapwedge::kOutputHex;  // "0～9,A～F"
// Kind, low byte: the card kind; without bit 0 only the identifier is read.
constexpr std::uint8_t kFelica = 0x00;
constexpr std::uint8_t kMifare = 0x40;  // "TypeA(mifare)", a UID of any size
constexpr std::uint8_t kMifareWithoutAuthentication = 0x20;
constexpr std::uint8_t kIso15693 = 0xC0;

constexpr std::uint16_t kAnySystem = 0xFFFF;  // FeliCa polling: every system code

constexpr std::uint16_t Kind(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>(high << 8 | low);
}

tapwedge::CardParamImage DefaultImage() {
    tapwedge::CardParamImage image{};
    // Entry 1: FeliCa, IDm only, system code FFFF.
    CardEntry& felica = image.Entries[0];
    felica.SetKind(Kind(kInUse | kFelicaEntry | kHexText, kFelica));
    felica.SetSystemCode(kAnySystem);
    // Entry 2: Mifare (Type A), UID only.
    image.Entries[1].SetKind(Kind(kInUse | kHexText, kMifare | kMifareWithoutAuthentication));
    // Entry 3: ISO15693, UID only (read by the program; the card dialog shows entries 1 and 2).
    image.Entries[2].SetKind(Kind(kInUse | kHexText, kIso15693));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tapwedge-default-card-set FILE\n");
        return 2;
    }
    const tapwedge::CardParamImage image = DefaultImage();
    tapwedge::ParamFileCipher cipher;
    if (cipher.WriteParamFile(image.Data(), tapwedge::kCardParamImageSize, argv[1]) != 0) {
        std::fprintf(stderr, "tapwedge-default-card-set: cannot write %s\n", argv[1]);
        return 1;
    }
    // The program writes card-parameter files for their user alone; this default is for every
    // user of the build tree to copy.
    if (::chmod(argv[1], 0644) != 0) {
        std::fprintf(stderr, "tapwedge-default-card-set: cannot make %s readable\n", argv[1]);
        return 1;
    }
    return 0;
}
