#pragma once
// The simulator's reader keys in the form the authentication exports take.
#include <algorithm>

#include "reader_sim/reader_sim.h"
#include "tagwire/tagwire.h"

inline TwAuthKeys AuthKeysOf(const tapwedge::sim::ReaderSim& sim) {
    const tapwedge::sim::ReaderKeys k = sim.GetReaderKeys();
    TwAuthKeys keys{};
    std::copy(k.id.begin(), k.id.end(), keys.Id);
    std::copy(k.kar.begin(), k.kar.end(), keys.Kar);
    std::copy(k.kbr.begin(), k.kbr.end(), keys.Kbr);
    std::copy(k.kcr.begin(), k.kcr.end(), keys.Kcr);
    return keys;
}
