// A D2XX library without event notification (FT_SetEventNotification), as older versions:
// the object opens the device all the same and its receive thread polls the queue.
#include <dlfcn.h>

#include <gmock/gmock.h>

#include <chrono>
#include <thread>

#include "fake_driver_fixture.h"
#include "test_receiver.h"

namespace usbline_test {
namespace {

using ::testing::ElementsAre;
using PollingDriverTest = FakeDriverTest;

TEST_F(PollingDriverTest, TheReceiveThreadPollsAndDeliversEveryChunk) {
    void* driver = dlopen("libftd2xx.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(dlsym(driver, "FT_SetEventNotification"), nullptr);
    dlclose(driver);

    const int device = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    Receiver receiver;
    receiver.AttachTo(usb);
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    ASSERT_TRUE(Eventually([] { return !ReceiveThreadCalls().empty(); }));

    // No event wakes it: it looks at the queue again and again.
    FakeFtdiClearCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GE(CountNamed(ReceiveThreadCalls(), "FT_W32_ClearCommError"), 40u);

    Push(device, "split");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "split"; })) << receiver.Text();
    Push(device, " reply");
    ASSERT_TRUE(Eventually([&] { return receiver.Text() == "split reply"; })) << receiver.Text();
    EXPECT_THAT(receiver.Counts(), ElementsAre(5u, 6u));
    EXPECT_EQ(usb.Close(), 0);
    EXPECT_EQ(FakeFtdiEventSignals(device), 0u);
}

}  // namespace
}  // namespace usbline_test
