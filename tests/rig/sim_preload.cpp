// The reader simulator inside the program's process, on a fake D2XX device "QT58-V", for a
// program that loads libftd2xx.so by name. Preload this library with the fake D2XX library on
// the library path:
//
//   LD_PRELOAD=build/lib/libreader_sim_preload.so LD_LIBRARY_PATH=build/tests/fakes
//   TAPWEDGE_SIM_CONTROL=/tmp/sim.sock [TAPWEDGE_SIM_SCRIPT=cards.txt] ./tapwedge
//
// At load it plugs in the device, runs the script's commands, and serves the control socket with
// the command language of reader-sim. Without TAPWEDGE_SIM_CONTROL it does nothing. Both
// variables are removed from the environment, so that processes the program starts do not start
// simulators of their own. The simulator lives until the process ends.
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "control_socket.h"
#include "fake_ftdi_control.h"
#include "front_end.h"
#include "reader_sim/d2xx_attachment.h"
#include "sim_console.h"

namespace {

class D2xxPort final : public rig::SimPort {
public:
    explicit D2xxPort(tapwedge::sim::ReaderSim& sim) : usb_(sim) {}
    void Unplug() override { usb_.Unplug(); }
    void Plug() override { usb_.Replug(); }
    bool Plugged() const override { return !usb_.Unplugged(); }
    std::string Describe() const override { return "USB QT58-V SIM00001"; }

private:
    tapwedge::sim::D2xxAttachment usb_;
};

std::string TakeVariable(const char* name) {
    const char* value = getenv(name);
    std::string text = value ? value : "";
    unsetenv(name);
    return text;
}

// Never freed: the program's receive thread may talk to the device until the very end. Kept
// here so that a leak checker at exit sees them held.
struct Simulator {
    tapwedge::sim::ReaderSim* sim = nullptr;
    D2xxPort* port = nullptr;
    rig::SimConsole* console = nullptr;
    rig::ControlServer* server = nullptr;
} g_simulator;

__attribute__((constructor)) void StartSimulator() {
    const std::string control = TakeVariable("TAPWEDGE_SIM_CONTROL");
    const std::string script = TakeVariable("TAPWEDGE_SIM_SCRIPT");
    if (control.empty()) return;
    // The fake library's call log serves unit tests; in a running program it would only fill
    // its 100 000 entries (27 MB) and be counted as the program's memory.
    FakeFtdiSetRecording(0);
    auto* sim = g_simulator.sim = new tapwedge::sim::ReaderSim;
    rig::SetUpReader(*sim);
    auto* port = g_simulator.port = new D2xxPort(*sim);
    auto* console = g_simulator.console = new rig::SimConsole(*sim, *port);
    if (!script.empty()) {
        if (const std::string error = rig::RunScript(*console, script); !error.empty())
            std::fprintf(stderr, "reader-sim (preloaded): %s\n", error.c_str());
    }
    try {
        g_simulator.server =
            new rig::ControlServer(control, [console](const std::string& line) { return console->Run(line); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "reader-sim (preloaded): %s\n", e.what());
    }
}

}  // namespace
