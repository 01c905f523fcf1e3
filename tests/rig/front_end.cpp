#include "front_end.h"

#include <fstream>

namespace rig {

void SetUpReader(tapwedge::sim::ReaderSim& sim) { sim.SetReaderKeys(ProgramDefaultReaderKeys()); }

std::string RunScript(SimConsole& console, const std::string& path) {
    std::ifstream in(path);
    if (!in) return "cannot read " + path;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string reply = console.Run(line);
        if (reply.rfind("error", 0) == 0) return path + ":" + std::to_string(number) + ": " + reply;
    }
    return "";
}

}  // namespace rig
