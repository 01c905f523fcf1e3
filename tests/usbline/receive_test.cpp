// The receive side: the receive thread hands waiting bytes to OnReceive; what it does with
// unassigned callbacks, short reads, throwing callbacks, and that Close stops it for good.
#include <gmock/gmock.h>

#include <atomic>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

#include "fake_driver_fixture.h"
#include "platform/exception_handler.h"
#include "test_receiver.h"

namespace usbline_test {
namespace {

using ::testing::ElementsAre;

class ReceiveTest : public FakeDriverTest {
protected:
    void SetUp() override {
        FakeDriverTest::SetUp();
        device_ = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    }
    void TearDown() override {
        platform::SetExceptionHandler({});
        FakeDriverTest::TearDown();
    }

    int device_ = -1;
};

TEST_F(ReceiveTest, BytesReachOnReceiveOnTheReceiveThread) {
    UsbDll usb;
    Receiver receiver;
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Push(device_, "hello");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "hello"; })) << receiver.Text();
    EXPECT_EQ(usb.Close(), 0);

    EXPECT_THAT(receiver.Counts(), ElementsAre(5u));
    EXPECT_THAT(receiver.Senders(), ElementsAre(&usb));
    ASSERT_EQ(receiver.Threads().size(), 1u);
    EXPECT_NE(receiver.Threads()[0], std::this_thread::get_id());
}

void EchoPeer(void* context, const std::uint8_t* data, std::size_t count) {
    FakeFtdiPushReceive(*static_cast<int*>(context), data, count);
}

TEST_F(ReceiveTest, AnAnswerPushedFromInsideTheWriteArrives) {
    UsbDll usb;
    Receiver receiver;
    receiver.AttachTo(usb);
    FakeFtdiSetPeer(device_, &EchoPeer, &device_);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    const unsigned char frame[] = {'p', 'i', 'n', 'g'};
    ASSERT_EQ(usb.Write(frame, sizeof(frame)), 0);
    EXPECT_TRUE(Eventually([&] { return receiver.Text() == "ping"; })) << receiver.Text();
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(ReceiveTest, WithoutOnReceiveTheBytesStayQueued) {
    UsbDll usb;
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Push(device_, "hello");
    FakeFtdiClearCalls();
    // Several passes of the receive thread have seen the five bytes...
    ASSERT_TRUE(Eventually([&] {
        std::size_t passes = 0;
        for (const FakeFtdiCall& call : ReceiveThreadCalls()) {
            passes += std::string(call.function) == "FT_W32_ClearCommError" && call.value == 5;
        }
        return passes >= 3;
    }));
    // ...and none read them.
    EXPECT_EQ(CountNamed(ReceiveThreadCalls(), "FT_W32_ReadFile"), 0u);
    EXPECT_EQ(FakeFtdiReceiveQueued(device_), 5u);
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(ReceiveTest, ACallbackThatReadsLessGetsTheRestInLaterPasses) {
    UsbDll usb;
    Receiver receiver;
    receiver.readLimit = 1;
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Push(device_, "abc");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "abc"; })) << receiver.Text();
    EXPECT_EQ(usb.Close(), 0);
    EXPECT_THAT(receiver.Counts(), ElementsAre(3u, 2u, 1u));
}

TEST_F(ReceiveTest, AFailingLineStatusQueryLeavesTheBytesQueued) {
    UsbDll usb;
    Receiver receiver;
    receiver.AttachTo(usb);
    FakeFtdiFailCall("FT_W32_ClearCommError", d2xx::FT_IO_ERROR);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Push(device_, "later");
    FakeFtdiClearCalls();
    ASSERT_TRUE(Eventually([&] { return CountNamed(ReceiveThreadCalls(), "FT_W32_ClearCommError") >= 3; }));
    EXPECT_EQ(receiver.calls.load(), 0);
    EXPECT_EQ(FakeFtdiReceiveQueued(device_), 5u);

    FakeFtdiFailCall("FT_W32_ClearCommError", 0);
    EXPECT_TRUE(Eventually([&] { return receiver.Text() == "later"; })) << receiver.Text();
    EXPECT_EQ(usb.Close(), 0);
}

struct CustomError {};

struct ThrowCase {
    const char* name;
    void (*thrower)();
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.name; }

class ThrowingCallbackTest : public ReceiveTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(ThrowingCallbackTest, ReachesTheHandlerAsException1AndLaterBytesStillArrive) {
    std::mutex mutex;
    std::vector<std::string> reports;
    std::vector<void*> senders;
    platform::SetExceptionHandler([&](void* sender, std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.push_back(platform::DescribeException(error));
        senders.push_back(sender);
    });

    UsbDll usb;
    Receiver receiver;
    receiver.throwOnFirstCall = GetParam().thrower;
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Push(device_, "x");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "x"; })) << receiver.Text();
    Push(device_, "y");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "xy"; })) << receiver.Text();
    EXPECT_EQ(usb.Close(), 0);

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_THAT(reports, ElementsAre("exception 1"));
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_NE(senders[0], nullptr);  // the receive thread, not the transport
    EXPECT_NE(senders[0], static_cast<void*>(&usb));
}

INSTANTIATE_TEST_SUITE_P(
    Throwables, ThrowingCallbackTest,
    ::testing::Values(ThrowCase{"StdException", [] { throw std::runtime_error("receiver failed"); }},
                      ThrowCase{"Integer", [] { throw 7; }},
                      ThrowCase{"OtherType", [] { throw CustomError{}; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiveTest, AfterCloseReturnsNoCallbackRunsWhileThePeerKeepsSending) {
    UsbDll usb;
    Receiver receiver;
    receiver.slow = true;  // widens the window in which Close meets a running callback
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    Chatter chatter(device_);
    ASSERT_TRUE(Eventually([&] { return receiver.calls.load() >= 10; }));

    FakeFtdiClearCalls();
    EXPECT_EQ(usb.Close(), 0);
    EXPECT_FALSE(receiver.inCall.load());
    const int callsAtClose = receiver.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(receiver.calls.load(), callsAtClose);

    // The receive thread made its last driver call before Close touched the device.
    const std::vector<FakeFtdiCall> calls = RecordedCalls();
    const int me = FakeFtdiThreadNumber();
    std::size_t maskOff = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].thread == me && std::string(calls[i].function) == "FT_W32_SetCommMask") {
            maskOff = i;
            break;
        }
    }
    ASSERT_LT(maskOff, calls.size());
    for (std::size_t i = maskOff; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].thread, me) << calls[i].function << " at " << i;
    }
}

TEST_F(ReceiveTest, AReopenedDeviceGetsAFreshThreadThatNeverOverlapsTheOldOne) {
    UsbDll usb;
    Receiver receiver;
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    FakeFtdiClearCalls();
    ASSERT_TRUE(Eventually([] { return !ReceiveThreadCalls().empty(); }));
    const int oldThread = ReceiveThreadCalls().front().thread;

    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    ASSERT_TRUE(Eventually([&] {
        for (const FakeFtdiCall& call : ReceiveThreadCalls()) {
            if (call.thread != oldThread) return true;
        }
        return false;
    }));
    Push(device_, "again");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "again"; }));
    EXPECT_EQ(usb.Close(), 0);

    // In the record: the old thread ends before the old handle is let go; the new one
    // starts after the new handle is set up.
    const std::vector<FakeFtdiCall> calls = RecordedCalls();
    const int me = FakeFtdiThreadNumber();
    std::size_t closing = calls.size();
    std::size_t opened = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const std::string name = calls[i].function;
        if (calls[i].thread != me) continue;
        if (closing == calls.size() && name == "FT_W32_SetCommMask") closing = i;
        if (name == "FT_W32_SetCommTimeouts") opened = i;
    }
    ASSERT_LT(closing, opened);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].thread == me) continue;
        if (calls[i].thread == oldThread) {
            EXPECT_LT(i, closing);
        } else {
            EXPECT_GT(i, opened);
        }
    }
}

TEST_F(ReceiveTest, CloseOrDeviceOpenFromInsideOnReceiveRefusesAndTheLineGoesOn) {
    // Both would wait for the receive thread, which is the calling thread: they refuse, throw
    // nothing, and the device stays open with its thread delivering.
    struct Case {
        const char* name;
        int (*call)(UsbDll& usb);
    };
    const Case cases[] = {
        {"Close", [](UsbDll& usb) { return usb.Close(); }},
        {"DeviceOpen", [](UsbDll& usb) { return usb.DeviceOpen("SN1", Line()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> reported{0};
        platform::SetExceptionHandler([&](void*, std::exception_ptr) { ++reported; });
        UsbDll usb;
        Receiver receiver;
        std::atomic<int> result{1};
        std::atomic<bool> threw{false};
        receiver.afterRead = [&] {
            if (receiver.calls.load() != 1) return;
            try {
                result = c.call(usb);
            } catch (...) {
                threw = true;
            }
        };
        receiver.AttachTo(usb);
        ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
        Push(device_, "a");
        ASSERT_TRUE(Eventually([&] { return result.load() != 1 || threw.load(); }));
        EXPECT_EQ(result.load(), -1);
        EXPECT_FALSE(threw.load());
        Push(device_, "b");
        EXPECT_TRUE(Eventually([&] { return receiver.Text() == "ab"; })) << receiver.Text();
        EXPECT_EQ(reported.load(), 0);
        EXPECT_EQ(FakeFtdiIsOpen(device_), 1);
        EXPECT_EQ(usb.Close(), 0);
        platform::SetExceptionHandler({});
    }
}

}  // namespace
}  // namespace usbline_test
