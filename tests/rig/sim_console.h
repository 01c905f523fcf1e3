#pragma once
// The command language of the reader simulator's front ends (reader-sim on a pty, the preloaded
// simulator on the fake D2XX device): one command per line, one reply line per command,
// "ok ..." or "error ...". Blank lines and lines starting with '#' get no reply.
//
//   add felica <name> <idm> [<service> <blocks>]   a FeliCa card (system 0003) with one service
//   add mifare <name> <uid> [<block>:<data> ...]    a Mifare Classic 1K card, transport keys FF
//   add iso15693 <name> <uid> [<block-size> <blocks>]  UID as the card sends it (LSB first)
//   add standard                        the cards "felica", "mifare", "iso15693" of make-card-set
//   present <name>   remove <name>|all   tap <name> [<ms>]
//   unplug   plug   latency <ms>   version <text>   keys <id> <kar> <kbr> <kcr> | keys default
//   fault noreply|garbage|mac|counter <percent>   fault off   fault seed <n>   counts
//   demo <seconds> [<name> ...] | demo off   status   list   help   quit
// Bytes are hexadecimal without separators. Cards are defined away from the field; "present"
// puts one in, "remove" takes it away, "tap" does both with a pause (500 ms by default).
// "fault" draws faults at random for card commands (mac and counter: sealed ones only); "counts"
// tells the commands seen, the faults injected and the authentications accepted.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "reader_sim/reader_sim.h"

namespace rig {

// The line that carries the simulator to the host: a pty bound to a COM number, or a fake
// D2XX device.
class SimPort {
public:
    virtual ~SimPort() = default;
    virtual void Unplug() = 0;
    virtual void Plug() = 0;  // a new line in place of an unplugged one
    virtual bool Plugged() const = 0;
    virtual std::string Describe() const = 0;
};

// The keys of the reader that the program knows without a card-parameter file.
tapwedge::sim::ReaderKeys ProgramDefaultReaderKeys();

// CLOCK_MONOTONIC in nanoseconds, the time base of the "at=" fields of the replies.
std::int64_t MonotonicNs();

class SimConsole {
public:
    // onQuit runs (on the calling thread) when a "quit" command is accepted; without it "quit"
    // is refused.
    SimConsole(tapwedge::sim::ReaderSim& sim, SimPort& port, std::function<void()> onQuit = {});
    ~SimConsole();  // stops the demo
    SimConsole(const SimConsole&) = delete;
    SimConsole& operator=(const SimConsole&) = delete;

    // Runs one command line; returns the reply without a line end ("" for blank or comment lines).
    std::string Run(std::string_view line);

    static const char* Help();

private:
    using CardDefinition =
        std::variant<tapwedge::sim::FelicaCard, tapwedge::sim::MifareCard, tapwedge::sim::Iso15693Card>;
    struct Card {
        CardDefinition definition;
        int handle = 0;  // 0 = never put into the field
        bool in_field = false;
    };
    using Words = std::vector<std::string>;

    std::string Add(const Words& words);
    std::string Define(const std::string& name, CardDefinition definition);
    std::string Present(const std::string& name);
    std::string Remove(const std::string& name);
    std::string Tap(const Words& words);
    std::string Keys(const Words& words);
    std::string Faults(const Words& words);
    std::string CountsText();
    std::string Demo(const Words& words);
    std::string Status();
    std::string List();
    void StopDemo();
    void DemoLoop(std::vector<std::string> names, int seconds);
    void KeepRecordSmall();

    tapwedge::sim::ReaderSim& sim_;
    SimPort& port_;
    std::function<void()> on_quit_;

    std::mutex mu_;  // cards_
    std::map<std::string, Card> cards_;

    std::mutex demo_mu_;
    std::condition_variable demo_cv_;
    bool demo_stop_ = false;
    std::thread demo_;

    std::mutex keeper_mu_;
    std::condition_variable keeper_cv_;
    bool keeper_stop_ = false;
    std::thread record_keeper_;  // last: starts once everything above is built
};

}  // namespace rig
