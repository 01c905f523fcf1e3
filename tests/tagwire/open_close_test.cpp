// The open/close exports and their state table, over CommDll on a pty bound to COM3.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <condition_variable>
#include <mutex>

#include "comline/comm_dll.h"
#include "export_claim.h"
#include "link_test_support.h"
#include "pty_port.h"
#include "tagwire/tagwire.h"

namespace {

COMMPR Com(std::uint8_t port) {
    COMMPR line{};
    line.Port = port;
    line.BaudRate = 19200;
    line.ByteSize = 8;
    return line;
}

// Whether another object can take COM n now, that is whether the library has let it go.
bool PortIsFree(int number) {
    CommDll probe;
    return probe.Open(Com(static_cast<std::uint8_t>(number))) == 0;
}

class OpenClose : public testing::Test {
protected:
    void TearDown() override {
        platform::SetMessagePump(nullptr);
        if (OpenState.load() != kOpenNone) TwClose();
        ASSERT_EQ(OpenState.load(), kOpenNone);
    }

    // Puts the library in `state` (not -1).
    void Enter(std::int32_t state) {
        std::int32_t locations[8];
        if (state == kOpenEnumeration) {
            ASSERT_EQ(TwUsbGetDeviceList(locations), -1);
        }
        if (state == kOpenOpen) {
            ASSERT_EQ(TwOpen(3, 19200), TW_OK);
        }
        ASSERT_EQ(OpenState.load(), state);
    }

    PtyPort pty_{3};
};

TEST_F(OpenClose, FromNothing) {
    std::int32_t locations[8];
    char description[64], serial[64];
    struct Case {
        const char* name;
        std::function<std::int32_t()> call;
        std::int32_t result;
        std::int32_t state;
    };
    const Case cases[] = {
        {"TwOpen on a bound COM port", [] { return TwOpen(3, 19200); }, TW_OK, kOpenOpen},
        {"TwOpen on an unbound COM port", [] { return TwOpen(4, 19200); }, TW_ERR_OPEN, kOpenNone},
        {"TwOpen at a speed the line cannot take", [] { return TwOpen(3, 12345); }, TW_ERR_OPEN, kOpenNone},
        {"TwOpen of USB without a device", [] { return TwOpen(0, 19200); }, TW_ERR_OPEN, kOpenNone},
        {"TwUsbOpen without the device", [] { return TwUsbOpen("A1", 0, 19200); }, TW_ERR_OPEN, kOpenNone},
        {"TwUsbOpen without a serial number", [] { return TwUsbOpen(nullptr, 0, 19200); }, TW_ERR_OPEN,
         kOpenNone},
        {"TwUsbGetDeviceList", [&] { return TwUsbGetDeviceList(locations); }, -1, kOpenEnumeration},
        {"TwUsbGetDevice", [&] { return TwUsbGetDevice(description, serial, 0); }, -1, kOpenEnumeration},
        {"TwUsbChkLine without the driver", [] { return TwUsbChkLine(0); }, 1, kOpenEnumeration},
        {"TwClose", [] { return TwClose(); }, TW_ERR_NOT_OPEN, kOpenNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(OpenState.load(), c.state) << c.name;
        EXPECT_EQ(ContextPtr.load() != nullptr, c.state != kOpenNone) << c.name;
        if (OpenState.load() != kOpenNone) TwClose();
    }
}

TEST_F(OpenClose, FromEnumerationOnly) {
    std::int32_t locations[8];
    Enter(kOpenEnumeration);
    ReaderContext* context = ContextPtr.load();
    EXPECT_EQ(TwOpen(3, 19200), TW_ERR_OPEN_STATE);
    EXPECT_EQ(TwUsbGetDeviceList(locations), -1);  // forwarded
    EXPECT_EQ(TwUsbChkLine(1), 1);
    EXPECT_EQ(OpenState.load(), kOpenEnumeration);
    EXPECT_EQ(ContextPtr.load(), context);

    // TwUsbOpen opens on that context; a failed open deletes it.
    EXPECT_EQ(TwUsbOpen("A1", 0, 19200), TW_ERR_OPEN);
    EXPECT_EQ(OpenState.load(), kOpenNone);
    EXPECT_EQ(ContextPtr.load(), nullptr);

    // TwClose: the never-opened COM transport gets the cancel and the close, harmlessly.
    Enter(kOpenEnumeration);
    EXPECT_EQ(TwClose(), TW_OK);
    EXPECT_EQ(OpenState.load(), kOpenNone);
    EXPECT_EQ(ContextPtr.load(), nullptr);
    EXPECT_TRUE(pty_.Receive(1, std::chrono::milliseconds(20)).empty());
}

TEST_F(OpenClose, FromOpen) {
    std::int32_t locations[8];
    Enter(kOpenOpen);
    ReaderContext* context = ContextPtr.load();
    EXPECT_EQ(TwUsbGetDeviceList(locations), -1);
    EXPECT_EQ(TwUsbChkLine(0), 1);
    EXPECT_EQ(OpenState.load(), kOpenOpen);
    EXPECT_EQ(ContextPtr.load(), context);
    EXPECT_FALSE(PortIsFree(3));

    EXPECT_EQ(TwClose(), TW_OK);
    EXPECT_EQ(pty_.Receive(6), kAck);  // the cancel reaches the reader
    EXPECT_EQ(OpenState.load(), kOpenNone);
    EXPECT_TRUE(PortIsFree(3));
}

TEST_F(OpenClose, AReopenClosesPausesAndOpensOnTheSameContext) {
    Enter(kOpenOpen);
    ReaderContext* context = ContextPtr.load();
    context->Authenticated.store(1);  // kept across the re-open
    FakeClock clock(0);
    std::vector<std::uint32_t> pausedAt;
    bool freeDuringPause = true;
    ScriptedPump pump([&] {
        pausedAt.push_back(FakeClock::Now());
        freeDuringPause = freeDuringPause && OpenState.load() == kOpenOpen && PortIsFree(3);
        FakeClock::Advance(10);
    });
    EXPECT_EQ(TwOpen(3, 38400), TW_OK);
    ASSERT_EQ(pausedAt.size(), 10u);
    EXPECT_EQ(FakeClock::Now(), 100u);
    EXPECT_TRUE(freeDuringPause);
    EXPECT_EQ(ContextPtr.load(), context);
    EXPECT_EQ(context->Line.BaudRate, 38400);
    EXPECT_EQ(context->Authenticated.load(), 1);
    EXPECT_FALSE(PortIsFree(3));
}

TEST_F(OpenClose, AFailedReopenDeletesTheContextAndReleasesThePort) {
    for (auto reopen : {+[] { return TwOpen(4, 19200); }, +[] { return TwUsbOpen("A1", 0, 19200); }}) {
        Enter(kOpenOpen);
        FakeClock clock(0);
        ScriptedPump pump([] { FakeClock::Advance(20); });
        EXPECT_EQ(reopen(), TW_ERR_OPEN);
        EXPECT_EQ(OpenState.load(), kOpenNone);
        EXPECT_EQ(ContextPtr.load(), nullptr);
        EXPECT_TRUE(PortIsFree(3));
    }
}

TEST_F(OpenClose, InTransitionOpenAndCloseAreRefusedAndEnumerationIsForwarded) {
    Enter(kOpenOpen);
    ContextPtr.load()->Authenticated.store(1);  // TwClose's cancel then pauses 100 ms
    FakeClock clock(0);
    std::int32_t locations[8];
    std::vector<std::int32_t> results;
    ScriptedPump pump([&] {
        if (results.empty()) {
            results = {OpenState.load(), TwOpen(3, 19200), TwUsbOpen("A1", 0, 19200), TwClose(),
                       TwUsbGetDeviceList(locations), TwUsbChkLine(0), OpenState.load()};
        }
        FakeClock::Advance(10);
    });
    EXPECT_EQ(TwClose(), TW_OK);
    EXPECT_EQ(results, (std::vector<std::int32_t>{kOpenInTransition, TW_ERR_OPEN_STATE, TW_ERR_OPEN_STATE,
                                                  TW_ERR_OPEN_STATE, -1, 1, kOpenInTransition}));
    EXPECT_EQ(OpenState.load(), kOpenNone);
}

TEST_F(OpenClose, TwUsbOpenRefusesACoMPortNumber) {
    EXPECT_EQ(TwUsbOpen("A1", 3, 19200), TW_ERR_PARAM);
    EXPECT_EQ(OpenState.load(), kOpenNone);
    char text[64];
    EXPECT_EQ(TwUsbGetDevice(nullptr, text, 0), TW_ERR_PARAM);
    EXPECT_EQ(TwUsbGetDevice(text, nullptr, 0), TW_ERR_PARAM);
    EXPECT_EQ(OpenState.load(), kOpenNone);
    // A null list asks for the count, forwarded like any listing: here, no driver.
    EXPECT_EQ(TwUsbGetDeviceList(nullptr), -1);
    EXPECT_EQ(OpenState.load(), kOpenEnumeration);
}

TEST_F(OpenClose, TwOpenCom3Carries8N1FramesBothWays) {
    ASSERT_EQ(TwOpen(3, 19200), TW_OK);
    ReaderContext& context = *ContextPtr.load();
    EXPECT_EQ(context.Line.Port, 3);
    EXPECT_EQ(context.Line.BaudRate, 19200);
    EXPECT_EQ(context.Line.ByteSize, 8);
    EXPECT_EQ(context.Line.Parity, 0);
    EXPECT_EQ(context.Line.StopBits, 0);
    termios settings{};
    const int probe = open(pty_.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(tcgetattr(probe, &settings), 0);
    close(probe);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

    // The reader's side, from the message pump: answer the frame once it is there.
    const Bytes expected = Frame({0x74});
    Bytes seen;
    ScriptedPump pump([&] {
        if (seen.size() < expected.size()) {
            const Bytes more = pty_.Receive(expected.size() - seen.size(), std::chrono::milliseconds(1));
            seen.insert(seen.end(), more.begin(), more.end());
            if (seen == expected) pty_.Send(Join({kAck, Frame({0x75, 0x01, 0x02})}));
        }
    });
    TwCommandBuffer[0] = 2;
    TwCommandBuffer[1] = 0x74;
    EXPECT_EQ(GuardedTransceive(context, TwCommandBuffer, TwCommandBuffer, 2), TW_OK);
    EXPECT_EQ(seen, expected) << seen.size();
    EXPECT_EQ(context.RxLogCount.load(), 16u);  // the ACK and the reply, as they came
    EXPECT_EQ(Bytes(TwCommandBuffer, TwCommandBuffer + 4), (Bytes{4, 0x75, 0x01, 0x02}));
}

TEST_F(OpenClose, ACloseFromAMessageHandlerEndsTheWaitWithoutPullingTheContextAway) {
    ASSERT_EQ(TwOpen(3, 19200), TW_OK);
    std::int32_t closed = 1;
    ScriptedPump pump([&] {
        if (closed == 1) closed = TwClose();
    });
    {
        ExportClaim context;  // as every command export holds it
        ASSERT_TRUE(context);
        TwCommandBuffer[0] = 2;
        TwCommandBuffer[1] = 0x74;
        EXPECT_EQ(GuardedTransceive(*context, TwCommandBuffer, TwCommandBuffer, 2), TW_ERR_CANCELLED);
        EXPECT_EQ(closed, TW_OK);
        EXPECT_EQ(OpenState.load(), kOpenNone);
        EXPECT_EQ(context->WaitState.load(), kWaitIdle);  // still there until the claim ends
    }
}

TEST_F(OpenClose, ACloseDuringTheReopenPauseIsFollowedByAFreshOpen) {
    Enter(kOpenOpen);
    FakeClock clock(0);
    std::int32_t closed = 1;
    ScriptedPump pump([&] {
        if (closed == 1) closed = TwClose();
        FakeClock::Advance(10);
    });
    EXPECT_EQ(TwOpen(3, 19200), TW_OK);
    EXPECT_EQ(closed, TW_OK);
    EXPECT_EQ(OpenState.load(), kOpenOpen);
    EXPECT_NE(ContextPtr.load(), nullptr);
    EXPECT_FALSE(PortIsFree(3));
}

// A receive callback with count 500 reads 300 bytes; the other 200 come with the next one.
TEST(ReceiveCallback, ReadsAtMost300BytesAndLeavesTheRestQueued) {
    PtyPort pty(3);
    ReaderContext context;
    struct Gate {
        ReaderContext* context = nullptr;
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        bool first = true;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;  // count, RxLogCount after
    } gate;
    gate.context = &context;
    CommDll line;
    line.OnReceive = ReceiveEvent{&gate, [](void* object, void* sender, std::uint32_t count) {
                                      auto* g = static_cast<Gate*>(object);
                                      if (g->first) {  // hold the thread until all 500 bytes wait
                                          unsigned char one;
                                          static_cast<CommDll*>(sender)->Read(&one, 1);
                                          std::unique_lock<std::mutex> lock(g->mutex);
                                          g->opened.wait(lock, [&] { return g->open; });
                                          g->first = false;
                                          return;
                                      }
                                      ReaderContext::HandleComReceive(g->context, sender, count);
                                      std::lock_guard<std::mutex> lock(g->mutex);
                                      g->calls.emplace_back(count, g->context->RxLogCount.load());
                                  }};
    ASSERT_EQ(line.Open(Com(3)), 0);
    pty.Send({0xAA});
    Bytes burst(500);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i % 251);
    platform::SleepMs(20);
    pty.Send(burst);
    const int probe = open(pty.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    int waiting = 0;
    for (int i = 0; i < 2000 && waiting < 500; ++i) {
        ioctl(probe, FIONREAD, &waiting);
        if (waiting < 500) platform::SleepMs(1);
    }
    close(probe);
    ASSERT_EQ(waiting, 500);
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.open = true;
    }
    gate.opened.notify_all();
    for (int i = 0; i < 2000; ++i) {
        {
            std::lock_guard<std::mutex> lock(gate.mutex);
            if (gate.calls.size() >= 2) break;
        }
        platform::SleepMs(1);
    }
    line.Close();
    ASSERT_EQ(gate.calls.size(), 2u);
    EXPECT_EQ(gate.calls[0], (std::pair<std::uint32_t, std::uint32_t>{500, 300}));
    EXPECT_EQ(gate.calls[1], (std::pair<std::uint32_t, std::uint32_t>{200, 200}));  // log restarted
    Bytes logged(200);
    context.RxLog.CopyOut(logged.data(), 0, logged.size());
    EXPECT_EQ(logged, Bytes(burst.begin() + 300, burst.end()));
}

}  // namespace
