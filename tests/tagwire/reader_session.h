#pragma once
// A reader simulator on either real path of the library: the fake D2XX USB device, or a pty
// bound to COM7 through a temporary port folder. Tests open, run exports, and read the record.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

#include "platform/message_pump.h"
#include "platform/serial_ports.h"
#include "reader_sim/d2xx_attachment.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"
#include "sim_reader_keys.h"
#include "tagwire/tagwire.h"

namespace sim = tapwedge::sim;

enum class Transport { Usb, Com };
// How the reader is authenticated for a command: plain (password) or sealed (mutual).
enum class Channel { Plain, Sealed };

inline const char* ChannelName(Channel channel) {
    return channel == Channel::Plain ? "plain" : "sealed";
}

inline std::string Hex(const sim::Bytes& bytes) {
    std::ostringstream out;
    for (std::uint8_t b : bytes) out << std::hex << std::setw(2) << std::setfill('0') << int{b} << ' ';
    return out.str();
}

// Whether the host sent `expected` ([L][code][parameters]). A sealed command is recorded with
// the seal's zero padding, which must be exactly what fills its last block.
inline testing::AssertionResult SentAs(const sim::HostFrame& frame, const sim::Bytes& expected) {
    sim::Bytes got = frame.command;
    if (frame.sealed) {
        const std::size_t plain = expected.size() + 8;  // the session block goes in front
        const std::size_t padded = plain + (8 - (plain - 2) % 8) % 8;
        if (got.size() != padded - 8)
            return testing::AssertionFailure() << "sealed command of " << got.size()
                                               << " bytes, expected " << padded - 8;
        if (!std::all_of(got.begin() + static_cast<std::ptrdiff_t>(expected.size()), got.end(),
                         [](std::uint8_t b) { return b == 0; }))
            return testing::AssertionFailure() << "padding not zero: " << Hex(got);
        got.resize(expected.size());
        got[0] = expected[0];  // the recorded length counts the padding, checked above
    }
    if (got != expected)
        return testing::AssertionFailure() << "sent " << Hex(got) << "\nwanted " << Hex(expected);
    return testing::AssertionSuccess();
}

inline std::string TransportName(const testing::TestParamInfo<Transport>& info) {
    return info.param == Transport::Usb ? "Usb" : "Com";
}

class ReaderSession : public testing::TestWithParam<Transport> {
protected:
    static constexpr int kComNumber = 7;

    void SetUp() override {
        if (GetParam() == Transport::Usb) {
            usb_ = std::make_unique<sim::D2xxAttachment>(sim_);
            ASSERT_EQ(TwUsbOpen("SIM00001", 0, 19200), TW_OK);
        } else {
            pty_ = std::make_unique<sim::PtyAttachment>(sim_);
            char folder[] = "/tmp/tagwire-auth-XXXXXX";
            ASSERT_NE(mkdtemp(folder), nullptr);
            folder_ = folder;
            const std::string link = folder_ + "/com" + std::to_string(kComNumber);
            ASSERT_EQ(symlink(pty_->SlavePath().c_str(), link.c_str()), 0);
            platform::SetSerialPortFolder(folder_);
            ASSERT_EQ(TwOpen(kComNumber, 19200), TW_OK);
        }
    }

    void TearDown() override {
        platform::SetMessagePump(nullptr);
        TwClose();
        usb_.reset();
        pty_.reset();
        if (!folder_.empty()) {
            platform::SetSerialPortFolder("");
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

    TwAuthKeys Keys() const { return AuthKeysOf(sim_); }

    void AuthenticateEncrypted() {
        const TwAuthKeys keys = Keys();
        ASSERT_EQ(TwAuthentication(&keys, 0), TW_OK);
        ASSERT_TRUE(sim_.Session().encrypted);
    }

    // Ends any session, then authenticates in `channel`; the record starts empty.
    void Authenticate(Channel channel) {
        ASSERT_EQ(TwReset(), TW_OK);
        if (channel == Channel::Sealed) {
            AuthenticateEncrypted();
        } else {
            const TwAuthKeys keys = Keys();
            ASSERT_EQ(TwPWAuthentication(&keys), TW_OK);
        }
        sim_.ClearRecord();
    }

    // Commands the reader got, and the last one.
    std::size_t CommandCount() const { return sim_.Commands().size(); }
    sim::HostFrame LastCommand() const {
        const auto commands = sim_.Commands();
        return commands.empty() ? sim::HostFrame{} : commands.back();
    }

    sim::ReaderSim sim_;  // outlives its attachments
    std::unique_ptr<sim::D2xxAttachment> usb_;
    std::unique_ptr<sim::PtyAttachment> pty_;
    std::string folder_;
};

#define READER_SESSION_SUITE(suite) \
    INSTANTIATE_TEST_SUITE_P(BothTransports, suite, \
                             testing::Values(Transport::Usb, Transport::Com), TransportName)
