#pragma once
// What the program makes of the rig's standard cards with the settings of make-card-set: the
// text typed (ID, TAB, area 1, RETURN, area 2 when there is one, RETURN) and the CSV line (ID,
// area 1, area 2). Every text is unique, so each tells which card it came from.
namespace e2e {

struct CardOutput {
    const char* card;   // the simulator's name of the card
    const char* typed;
    const char* line;
};

inline constexpr CardOutput kStandardOutputs[] = {
    {"felica", "012E4C0011223344\tF100F101F102F103\r", "012E4C0011223344,F100F101F102F103,\n"},
    {"mifare", "04A1B2C3\tB401B403B405\rB509B50B\r", "04A1B2C3,B401B403B405,B509B50B\n"},
    {"iso15693", "11223344556604E0\t0B0CC20A0B0C\r", "11223344556604E0,0B0CC20A0B0C,\n"},
};
inline constexpr int kFelicaOutput = 0, kMifareOutput = 1, kIso15693Output = 2;

}  // namespace e2e
