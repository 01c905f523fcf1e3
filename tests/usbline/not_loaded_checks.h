#pragma once
// What every method of a UsbDll without a driver returns.
#include <gtest/gtest.h>

#include "usbline/usb_dll.h"

namespace usbline_test {

inline void FailIfCalled(void*, void*, std::uint32_t) { ADD_FAILURE() << "OnReceive was called"; }

inline void ExpectNotLoaded(UsbDll& usb) {
    COMMPR line{};
    line.BaudRate = 115200;
    line.ByteSize = 8;
    char description[64] = {};
    char serial[64] = {};
    int locations[4] = {-7, -7, -7, -7};
    unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};

    EXPECT_EQ(usb.Open(line), -1);
    EXPECT_EQ(usb.GetDeviceName(description, serial, 0), -1);
    EXPECT_EQ(usb.GetDeviceList(locations), -1);
    EXPECT_EQ(locations[0], -7);
    EXPECT_EQ(usb.DeviceOpen("SN1", line), -1);
    EXPECT_EQ(usb.SetDcb(line), -1);
    EXPECT_EQ(usb.Close(), -1);
    EXPECT_EQ(usb.Read(buffer, sizeof(buffer)), -1);
    EXPECT_EQ(usb.Write(buffer, sizeof(buffer)), -1);
    EXPECT_EQ(usb.RxPurge(), -1);
    EXPECT_TRUE(usb.isDsr());
    EXPECT_TRUE(usb.isCts());
    EXPECT_TRUE(usb.ControlDtr(1));
    EXPECT_TRUE(usb.ControlDtr(0));

    usb.OnReceive.Code = &FailIfCalled;
    usb.DoCommReceive();  // does nothing
}

}  // namespace usbline_test
