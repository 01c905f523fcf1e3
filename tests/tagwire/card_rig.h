#pragma once
// Test rig of the card command tests: the library opened on the reader simulator over either
// transport (the fake D2XX USB device or a pty bound to a COM number), a clock that tests can
// move forward, and a scripted message pump that runs inside the library's waits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reader_sim/d2xx_attachment.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"
#include "sim_reader_keys.h"

namespace card_rig {

using tapwedge::sim::Bytes;

enum class Transport { Usb, Com };
std::string TransportName(const ::testing::TestParamInfo<Transport>& info);

// Joins byte runs: Cat({0x01}, idm, pmm).
Bytes Cat(std::initializer_list<Bytes> parts);
// n copies of `value`.
Bytes Fill(std::size_t n, std::uint8_t value);

// A caller's record with a guard area behind it, both filled with 0xEE.
template <typename Record>
struct Guarded {
    Record record;
    std::uint8_t guard[64];
    Guarded() { std::memset(this, 0xEE, sizeof *this); }
    bool Untouched() const {
        Guarded fresh;
        return std::memcmp(this, &fresh, sizeof *this) == 0;
    }
    bool GuardIntact() const {
        for (std::uint8_t b : guard)
            if (b != 0xEE) return false;
        return true;
    }
};

// The library opened on a fresh simulator; closed (and detached) again at the end.
class SimReader {
public:
    explicit SimReader(Transport transport);
    ~SimReader();
    SimReader(const SimReader&) = delete;
    SimReader& operator=(const SimReader&) = delete;

    // The open export's status (TW_OK when the rig stands).
    std::int32_t OpenStatus() const { return open_status_; }

    tapwedge::sim::ReaderSim sim;

    // The commands the host sent since the last ClearRecord, as [L][code][parameters].
    std::vector<Bytes> Commands() const;
    // The one command sent since the last ClearRecord (fails the test when there is not one).
    Bytes OnlyCommand() const;
    // Pulls the reader's line: the USB device leaves the fake driver, the pty hangs up.
    void Unplug();

private:
    std::string folder_;
    std::unique_ptr<tapwedge::sim::PtyAttachment> pty_;
    std::unique_ptr<tapwedge::sim::D2xxAttachment> usb_;
    std::int32_t open_status_ = -1;
};

// A fixture per transport with the reader open.
class CardTest : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        reader_ = std::make_unique<SimReader>(GetParam());
        ASSERT_EQ(reader_->OpenStatus(), 0);
    }
    void TearDown() override { reader_.reset(); }
    tapwedge::sim::ReaderSim& sim() { return reader_->sim; }
    SimReader& reader() { return *reader_; }

private:
    std::unique_ptr<SimReader> reader_;
};

// The library's tick count while installed: the real one plus the jumps a test made.
class JumpClock {
public:
    JumpClock();
    ~JumpClock();
    JumpClock(const JumpClock&) = delete;
    JumpClock& operator=(const JumpClock&) = delete;
    static void Jump(std::uint32_t ms);
};

// Installs `step` as the program's message pump (run over and over inside library waits)
// for its lifetime.
class ScriptedPump {
public:
    explicit ScriptedPump(std::function<void()> step);
    ~ScriptedPump();
    ScriptedPump(const ScriptedPump&) = delete;
    ScriptedPump& operator=(const ScriptedPump&) = delete;
};

// A pump script for waits on the simulator: it notes when the host's next command has been
// sent, and runs the scripted actions one per pump once each one's real-time delay after the
// send has passed (the delay leaves the reader's ACK time to arrive).
class WaitScript {
public:
    explicit WaitScript(const tapwedge::sim::ReaderSim& sim);
    // Adds an action that runs once `delay` has passed since the command went out (and the
    // actions before it have run).
    WaitScript& Then(std::chrono::milliseconds delay, std::function<void()> action);
    // Runs inside the wait (installed through ScriptedPump).
    void Step();
    // How many actions have run.
    std::size_t Done() const { return done_; }

private:
    const tapwedge::sim::ReaderSim& sim_;
    std::size_t commands_before_;
    std::chrono::steady_clock::time_point sent_{};
    bool seen_ = false;
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> actions_;
    std::size_t done_ = 0;
    bool running_ = false;  // an action that calls the library pumps again
};

}  // namespace card_rig
