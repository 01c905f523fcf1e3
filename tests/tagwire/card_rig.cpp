#include "card_rig.h"

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "fake_ftdi_control.h"
#include "platform/clock.h"
#include "platform/message_pump.h"
#include "platform/serial_ports.h"
#include "tagwire/tagwire.h"

namespace card_rig {

namespace {

constexpr int kComNumber = 7;
constexpr int kBaud = 19200;
const char* const kSerial = "SIM00001";

std::atomic<std::uint32_t> g_jump{0};

std::uint32_t RealTicks() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t JumpedTicks() { return RealTicks() + g_jump.load(); }

}  // namespace

std::string TransportName(const ::testing::TestParamInfo<Transport>& info) {
    return info.param == Transport::Usb ? "Usb" : "Com";
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Fill(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

SimReader::SimReader(Transport transport) {
    if (transport == Transport::Usb) {
        FakeFtdiReset();
        usb_ = std::make_unique<tapwedge::sim::D2xxAttachment>(sim, "QT58-V", kSerial);
        open_status_ = TwUsbOpen(kSerial, 0, kBaud);
    } else {
        pty_ = std::make_unique<tapwedge::sim::PtyAttachment>(sim);
        char folder[] = "/tmp/card_rig_ports.XXXXXX";
        if (mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        std::filesystem::create_symlink(pty_->SlavePath(),
                                        folder_ + "/com" + std::to_string(kComNumber));
        platform::SetSerialPortFolder(folder_);
        open_status_ = TwOpen(kComNumber, kBaud);
    }
}

SimReader::~SimReader() {
    TwClose();
    pty_.reset();
    usb_.reset();
    if (!folder_.empty()) {
        platform::SetSerialPortFolder("");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void SimReader::Unplug() {
    if (usb_) usb_->Unplug();
    if (pty_) pty_->Unplug();
}

std::vector<Bytes> SimReader::Commands() const {
    std::vector<Bytes> commands;
    for (const auto& frame : sim.Commands()) commands.push_back(frame.command);
    return commands;
}

Bytes SimReader::OnlyCommand() const {
    const std::vector<Bytes> commands = Commands();
    EXPECT_EQ(commands.size(), 1u);
    return commands.empty() ? Bytes{} : commands.back();
}

JumpClock::JumpClock() {
    g_jump.store(0);
    platform::SetTickSource(&JumpedTicks);
}

JumpClock::~JumpClock() {
    platform::SetTickSource(nullptr);
    g_jump.store(0);
}

void JumpClock::Jump(std::uint32_t ms) { g_jump.fetch_add(ms); }

ScriptedPump::ScriptedPump(std::function<void()> step) {
    platform::SetMessagePump(std::move(step));
}

ScriptedPump::~ScriptedPump() { platform::SetMessagePump(nullptr); }

WaitScript::WaitScript(const tapwedge::sim::ReaderSim& sim)
    : sim_(sim), commands_before_(sim.Commands().size()) {}

WaitScript& WaitScript::Then(std::chrono::milliseconds delay, std::function<void()> action) {
    actions_.emplace_back(delay, std::move(action));
    return *this;
}

void WaitScript::Step() {
    if (running_ || done_ == actions_.size()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!seen_) {
        if (sim_.Commands().size() <= commands_before_) return;
        seen_ = true;
        sent_ = now;
    }
    if (now - sent_ < actions_[done_].first) return;
    running_ = true;
    actions_[done_].second();
    ++done_;
    running_ = false;
}

}  // namespace card_rig
