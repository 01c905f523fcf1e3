// USB enumeration through the library over the fake D2XX driver: the device count first (a null
// list), then a list of exactly that size, as the polling loop sizes its list.
#include <gtest/gtest.h>

#include <vector>

#include "fake_ftdi_control.h"
#include "tagwire/tagwire.h"

namespace {

class UsbEnumeration : public testing::Test {
protected:
    void SetUp() override { FakeFtdiReset(); }
    void TearDown() override {
        TwClose();
        FakeFtdiReset();
    }
};

TEST_F(UsbEnumeration, ANullListGivesTheCountAndAListOfThatSizeIsFilledExactly) {
    struct Device {
        const char* description;
        const char* serial;
        std::uint32_t location;
    };
    const std::vector<Device> devices = {
        {"FT232R USB UART", "A100", 0x1011}, {"QT58-V", "SIM00001", 0x2022}, {"QT58-V", "B7", 0x3033}};
    for (std::size_t n = 0; n <= devices.size(); ++n) {
        SCOPED_TRACE(n);
        FakeFtdiReset();
        for (std::size_t i = 0; i < n; ++i)
            FakeFtdiAddDevice(devices[i].description, devices[i].serial, devices[i].location);

        const std::int32_t count = TwUsbGetDeviceList(nullptr);
        ASSERT_EQ(count, static_cast<std::int32_t>(n));
        std::vector<std::int32_t> list(n + 1, -7);  // one guard entry behind the list
        ASSERT_EQ(TwUsbGetDeviceList(list.data()), count);
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_EQ(list[i], static_cast<std::int32_t>(devices[i].location)) << i;
        EXPECT_EQ(list[n], -7);

        for (std::int32_t i = 0; i < count; ++i) {
            char description[64] = {}, serial[64] = {};
            ASSERT_EQ(TwUsbGetDevice(description, serial, i), 0);
            EXPECT_STREQ(description, devices[static_cast<std::size_t>(i)].description);
            EXPECT_STREQ(serial, devices[static_cast<std::size_t>(i)].serial);
        }
        EXPECT_EQ(TwClose(), TW_OK);  // from the enumeration-only state
    }
}

TEST_F(UsbEnumeration, AFailedListingPassesTheDriverStatusThroughAlsoForTheCount) {
    FakeFtdiAddDevice("QT58-V", "SIM00001", 0x0101);
    constexpr std::uint32_t kIoError = 4;  // FT_IO_ERROR
    FakeFtdiFailCall("FT_ListDevices", kIoError);
    std::int32_t list[2] = {-7, -7};
    EXPECT_EQ(TwUsbGetDeviceList(nullptr), static_cast<std::int32_t>(kIoError));
    EXPECT_EQ(TwUsbGetDeviceList(list), static_cast<std::int32_t>(kIoError));
    EXPECT_EQ(list[0], -7);
}

}  // namespace
