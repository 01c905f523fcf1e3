#pragma once
// What both simulator front ends share: the reader set up as the program expects it, and the
// commands of a script file.
#include <string>

#include "reader_sim/reader_sim.h"
#include "sim_console.h"

namespace rig {

// The reader with the program's default keys (the sim's version text stays "TQ5862 V1.00":
// an edition with encryption and SSFC that handles ISO15693).
void SetUpReader(tapwedge::sim::ReaderSim& sim);

// Runs every line of the file through the console. "" when all went well, else the first
// error (with its line number).
std::string RunScript(SimConsole& console, const std::string& path);

}  // namespace rig
