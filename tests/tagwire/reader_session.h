#pragma once
// A reader simulator on either real path of the library: the fake D2XX USB device, or a pty
// bound to COM7 through a temporary port folder. Tests open, run exports, and read the record.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/message_pump.h"
#include "platform/serial_ports.h"
#include "reader_sim/d2xx_attachment.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"
#include "tagwire/tagwire.h"

namespace sim = tapwedge::sim;

enum class Transport { Usb, Com };

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

    TwAuthKeys Keys() const {
        const sim::ReaderKeys k = sim_.GetReaderKeys();
        TwAuthKeys keys{};
        std::copy(k.id.begin(), k.id.end(), keys.Id);
        std::copy(k.kar.begin(), k.kar.end(), keys.Kar);
        std::copy(k.kbr.begin(), k.kbr.end(), keys.Kbr);
        std::copy(k.kcr.begin(), k.kcr.end(), keys.Kcr);
        return keys;
    }

    void AuthenticateEncrypted() {
        const TwAuthKeys keys = Keys();
        ASSERT_EQ(TwAuthentication(&keys, 0), TW_OK);
        ASSERT_TRUE(sim_.Session().encrypted);
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
