#pragma once
// The library opened on the reader simulator over either real path (the card rig's
// SimReader), with authentication in either channel and checks of what the host sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

#include "card_rig.h"
#include "platform/message_pump.h"
#include "reader_sim/reader_sim.h"
#include "sim_reader_keys.h"
#include "tagwire/tagwire.h"

namespace sim = tapwedge::sim;

using card_rig::Transport;
using card_rig::TransportName;
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

class ReaderSession : public testing::TestWithParam<Transport> {
protected:
    ReaderSession() : reader_(std::make_unique<card_rig::SimReader>(GetParam())), sim_(reader_->sim) {}

    void SetUp() override { ASSERT_EQ(reader_->OpenStatus(), TW_OK); }

    void TearDown() override {
        platform::SetMessagePump(nullptr);
        reader_.reset();
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

    std::unique_ptr<card_rig::SimReader> reader_;
    sim::ReaderSim& sim_;  // the simulator of reader_, used until TearDown
};

#define READER_SESSION_SUITE(suite) \
    INSTANTIATE_TEST_SUITE_P(BothTransports, suite, \
                             testing::Values(Transport::Usb, Transport::Com), TransportName)
