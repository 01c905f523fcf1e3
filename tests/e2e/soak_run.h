#pragma once
// The fault soak on one link: the real program against the simulated reader with mutual
// authentication (the encrypted channel), the standard cards presented in turn (FeliCa, Mifare,
// ISO15693), random faults on the reader's card commands and now and then the reader unplugged
// and plugged in again. Every card must be typed exactly once and logged exactly once.
#include <cstdint>

#include "program_run.h"

namespace e2e {

struct SoakSettings {
    int taps = 10000;            // card presentations
    std::uint64_t seed = 1;      // of the simulator's faults and of the unplug draws
    // Percent of the card commands whose reply is lost, comes after noise, comes with a bad MAC,
    // comes with the wrong counter (the last two: of the sealed ones, which is all of them).
    double no_reply = 1.0;
    double garbage = 1.0;
    double bad_mac = 0.5;
    double bad_counter = 0.5;
    double unplug = 0.1;         // percent of the taps during which the reader is unplugged
    int unplugged_ms = 500;      // how long it stays unplugged
    int dwell_ms = 200;          // how long a card stays after its text came
    int pause_ms = 150;          // how long the field stays empty between two cards
    int wait_ms = 20000;         // the longest wait for a card's text
    int progress_every = 500;    // taps between two progress lines
    int stuck_after = 5;         // missed cards in a row that end the run
};

// Runs the soak on one link, printing progress and the figures. Returns the number of failures
// (cards typed or logged other than once, stray or garbled output, an unplug without reconnect,
// the program ending).
int RunSoak(Link link, const SoakSettings& settings);

}  // namespace e2e
