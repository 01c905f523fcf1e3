// Between passes the receive thread sleeps on the driver's line event: an idle line is looked
// at only when the bounded wait ends; a delivery, one made while a pass runs, a change of the
// modem lines and an unplug wake it; Close ends a wait at once.
//
// Woken by the event, the thread answers within a fraction of a millisecond; a missed wake-up
// costs it the bounded wait (a few tens of ms, 25 ms on average for an event at a random time).
// The timed cases compare medians or sums of many rounds against a tenth of that bound, far
// from both.
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_driver_fixture.h"
#include "test_receiver.h"

namespace usbline_test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Well below what a wake-up missed by the event costs, well above what one made by it does.
constexpr auto kPrompt = 5ms;
// Half the thread's bounded wait (50 ms): what no byte may take to be seen.
constexpr auto kHalfTheBoundedWait = 25ms;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Opens SN1 (with the receiver attached, when given) and waits until its receive thread has
// made a pass and gone to sleep.
bool OpenAsleep(UsbDll& usb, Receiver* receiver = nullptr) {
    if (receiver) receiver->AttachTo(usb);
    if (usb.DeviceOpen("SN1", Line()) != 0) return false;
    if (!Eventually([] { return !ReceiveThreadCalls().empty(); })) return false;
    std::this_thread::sleep_for(5ms);
    return true;
}

class ReceiveEventTest : public FakeDriverTest {
protected:
    void SetUp() override {
        FakeDriverTest::SetUp();
        device_ = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    }
    int device_ = -1;
};

TEST_F(ReceiveEventTest, AnIdleLineIsLookedAtOnlyWhenTheBoundedWaitEnds) {
    UsbDll usb;
    ASSERT_TRUE(OpenAsleep(usb));
    FakeFtdiClearCalls();
    std::this_thread::sleep_for(500ms);
    // A pass asks for the queue three times (twice in DoCommReceive, once more before it
    // sleeps); polling every millisecond made some 500 passes here.
    const std::size_t passes = CountNamed(ReceiveThreadCalls(), "FT_W32_ClearCommError") / 3;
    EXPECT_LE(passes, 20u);
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(ReceiveEventTest, TheDriverSetsTheEventForEveryDeliveryAndLineChangeOfAnOpenDevice) {
    UsbDll usb;
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::uint64_t signals;  // the event's count after the step
    };
    const Step steps[] = {
        {"bytes", [&] { Push(device_, "ab"); }, 1},
        {"more bytes", [&] { Push(device_, "c"); }, 2},
        {"DSR and CTS rise", [&] { FakeFtdiSetModemStatus(device_, 0x30); }, 3},
        {"the same lines again", [&] { FakeFtdiSetModemStatus(device_, 0x30); }, 3},
        {"CTS falls", [&] { FakeFtdiSetModemStatus(device_, 0x20); }, 4},
        {"closed, bytes", [&] { usb.Close(); Push(device_, "d"); }, 4},
        {"opened again, unplugged", [&] {
             ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
             FakeFtdiRemoveDevice(device_);
         }, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(FakeFtdiEventSignals(device_), step.signals);
    }
    usb.Close();
}

TEST_F(ReceiveEventTest, EachDeliveryWakesTheThread) {
    UsbDll usb;
    Receiver receiver;
    ASSERT_TRUE(OpenAsleep(usb, &receiver));
    std::vector<double> delays;
    std::string expected;
    for (int round = 0; round < 15; ++round) {
        expected += static_cast<char>('a' + round);
        const auto pushed = Clock::now();
        Push(device_, expected.substr(expected.size() - 1));
        ASSERT_TRUE(Eventually([&] { return receiver.Text() == expected; })) << receiver.Text();
        delays.push_back(Milliseconds(Clock::now() - pushed));
        std::this_thread::sleep_for(3ms);  // asleep again
    }
    EXPECT_LT(Median(delays), Milliseconds(kPrompt));
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(ReceiveEventTest, BytesThatArriveWhileAPassRunsAreTakenWithoutWaiting) {
    // Each chunk is pushed from inside the callback of the one before: the driver sets the
    // event while the thread is busy, so only a look at the queue before it sleeps finds it.
    UsbDll usb;
    Receiver receiver;
    constexpr int kChunks = 20;
    std::atomic<int> pushed{1};
    receiver.afterRead = [&] {
        if (pushed < kChunks) {
            ++pushed;
            Push(device_, "c");
        }
    };
    ASSERT_TRUE(OpenAsleep(usb, &receiver));
    const auto start = Clock::now();
    Push(device_, "c");
    ASSERT_TRUE(Eventually([&] { return receiver.Text().size() == kChunks; })) << receiver.Text();
    EXPECT_LT(Milliseconds(Clock::now() - start), kChunks * Milliseconds(kPrompt));
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(ReceiveEventTest, BytesThatArriveJustAfterTheLastLookAreTakenWithoutTheBoundedWait) {
    // The worst moment: bytes arrive (and the driver sets the event) right after the thread has
    // found the queue empty, before it waits. Rounds put them after the first, second and third
    // such look after a wake-up, whichever of them the thread makes last before it sleeps.
    UsbDll usb;
    Receiver receiver;
    ASSERT_TRUE(OpenAsleep(usb, &receiver));
    std::string expected;
    std::vector<double> delays;
    const char* stress = std::getenv("TAPWEDGE_STRESS_ROUNDS");  // n times the rounds
    const int rounds = 30 * (stress ? std::max(1, std::atoi(stress)) : 1);
    for (int round = 0; round < rounds; ++round) {
        const std::string late(1, static_cast<char>('A' + round % 26));
        FakeFtdiPushAfterEmptyLook(device_, reinterpret_cast<const std::uint8_t*>(late.data()), 1,
                                   static_cast<unsigned>(round % 3));
        expected += "w" + late;
        Push(device_, "w");  // wakes the thread, which then looks at the queue
        ASSERT_TRUE(Eventually([&] { return receiver.Text() == expected; })) << receiver.Text();
        const auto taken = Clock::now();
        const std::uint64_t pushedNs = FakeFtdiLastLookPushNs(device_);
        ASSERT_NE(pushedNs, 0u);
        const auto pushed = Clock::time_point(std::chrono::nanoseconds(pushedNs));
        delays.push_back(Milliseconds(taken - pushed));
    }
    // A missed signal costs the whole bounded wait; one that is seen, a fraction of a ms.
    EXPECT_LT(*std::max_element(delays.begin(), delays.end()), Milliseconds(kHalfTheBoundedWait));
    EXPECT_EQ(usb.Close(), 0);
}

struct LineChangeCase {
    const char* name;
    void (*change)(int device);
};

void PrintTo(const LineChangeCase& c, std::ostream* os) { *os << c.name; }

class LineChangeTest : public FakeDriverTest, public ::testing::WithParamInterface<LineChangeCase> {};

TEST_P(LineChangeTest, WakesTheThreadToLookAtTheLine) {
    std::vector<double> delays;
    for (int round = 0; round < 10; ++round) {
        const int device = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
        FakeFtdiSetModemStatus(device, 0x30);
        UsbDll usb;
        ASSERT_TRUE(OpenAsleep(usb));
        FakeFtdiClearCalls();
        const auto changed = Clock::now();
        GetParam().change(device);
        ASSERT_TRUE(Eventually([] { return !ReceiveThreadCalls().empty(); }));
        delays.push_back(Milliseconds(Clock::now() - changed));
        usb.Close();
        FakeFtdiRemoveDevice(device);
    }
    EXPECT_LT(Median(delays), Milliseconds(kPrompt));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, LineChangeTest,
    ::testing::Values(LineChangeCase{"CtsFalls", [](int id) { FakeFtdiSetModemStatus(id, 0x20); }},
                      LineChangeCase{"Unplug", [](int id) { FakeFtdiRemoveDevice(id); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct CloseCase {
    const char* name;
    bool talking;  // the peer keeps sending: Close meets the thread inside a reply
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class CloseDuringWaitTest : public ReceiveEventTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringWaitTest, CloseEndsTheThreadAtOnce) {
    std::vector<double> durations;
    for (int round = 0; round < 10; ++round) {
        UsbDll usb;
        Receiver receiver;
        ASSERT_TRUE(OpenAsleep(usb, &receiver));
        std::unique_ptr<Chatter> chatter;
        if (GetParam().talking) {
            chatter = std::make_unique<Chatter>(device_);
            ASSERT_TRUE(Eventually([&] { return receiver.calls.load() >= 3; }));
        }
        const auto closing = Clock::now();
        EXPECT_EQ(usb.Close(), 0);
        durations.push_back(Milliseconds(Clock::now() - closing));
    }
    EXPECT_LT(Median(durations), Milliseconds(kPrompt));
}

INSTANTIATE_TEST_SUITE_P(Moments, CloseDuringWaitTest,
                         ::testing::Values(CloseCase{"IdleWait", false}, CloseCase{"DuringAReply", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace usbline_test
