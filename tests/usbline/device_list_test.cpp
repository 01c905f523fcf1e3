// Listing devices: the device count and locations, names, opening the first device.
#include <dlfcn.h>
#include <gmock/gmock.h>

#include "fake_driver_fixture.h"

namespace usbline_test {
namespace {

using ::testing::ElementsAre;

using DeviceListTest = FakeDriverTest;

TEST_F(DeviceListTest, UsbDllBindsTheSameFakeInstanceThatTheTestControls) {
    // libusbline opens "libftd2xx.so" by name; the fake linked into this test has that
    // soname, so both must be one loaded library with one device table.
    void* byName = dlopen("libftd2xx.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(dlsym(byName, "FakeFtdiAddDevice"), reinterpret_cast<void*>(&FakeFtdiAddDevice));
    dlclose(byName);

    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    int locations[1] = {};
    EXPECT_EQ(usb.GetDeviceList(locations), 1);
}

TEST_F(DeviceListTest, WithoutDevicesTheListingStatusComesBackUnchanged) {
    UsbDll usb;
    int locations[1] = {-7};
    EXPECT_EQ(usb.GetDeviceList(locations), 0);
    EXPECT_EQ(locations[0], -7);  // nothing written

    char description[64] = {};
    char serial[64] = {};
    EXPECT_EQ(usb.GetDeviceName(description, serial, 0), static_cast<int>(d2xx::FT_DEVICE_NOT_FOUND));
    // Open reports the D2XX status of the failed listing, not -1, and opens nothing.
    EXPECT_EQ(usb.Open(Line()), static_cast<int>(d2xx::FT_DEVICE_NOT_FOUND));
    EXPECT_EQ(CountNamed(RecordedCalls(), "FT_W32_CreateFile"), 0u);
}

struct LocationCase {
    const char* name;
    int locationListing;
    int expected0;
    int expected1;
};

void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }

class TwoDevicesTest : public FakeDriverTest,
                       public ::testing::WithParamInterface<LocationCase> {};

TEST_P(TwoDevicesTest, GetDeviceListCountsBothAndFillsExactlyTwoEntries) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    FakeFtdiAddDevice("Other FTDI", "SN2", 0x2022);
    FakeFtdiSetLocationListing(GetParam().locationListing);
    UsbDll usb;
    FakeFtdiClearCalls();

    int locations[4] = {-7, -7, -7, -7};
    EXPECT_EQ(usb.GetDeviceList(locations), 2);
    EXPECT_THAT(locations, ElementsAre(GetParam().expected0, GetParam().expected1, -7, -7));

    // Counted first; the library lists into a buffer of its own, never the caller's array.
    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[2], d2xx::FT_LIST_NUMBER_ONLY);
    EXPECT_EQ(calls[1].args[2], d2xx::FT_LIST_ALL | d2xx::FT_OPEN_BY_LOCATION);
    EXPECT_NE(calls[1].args[0], reinterpret_cast<std::uintptr_t>(locations));
}

INSTANTIATE_TEST_SUITE_P(
    LocationListing, TwoDevicesTest,
    ::testing::Values(LocationCase{"Supported", 1, 0x1011, 0x2022},
                      LocationCase{"Unsupported", 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceListTest, ListingFailuresComeBackAsTheirStatus) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    FakeFtdiFailCall("FT_ListDevices", d2xx::FT_IO_ERROR);
    int locations[1] = {};
    char description[64] = {};
    char serial[64] = {};
    EXPECT_EQ(usb.GetDeviceList(locations), static_cast<int>(d2xx::FT_IO_ERROR));
    EXPECT_EQ(usb.GetDeviceName(description, serial, 0), static_cast<int>(d2xx::FT_IO_ERROR));
    EXPECT_EQ(usb.Open(Line()), static_cast<int>(d2xx::FT_IO_ERROR));
}

TEST_F(DeviceListTest, GetDeviceNameGivesDescriptionAndSerialNumberOfTheIndex) {
    FakeFtdiAddDevice("First", "SN1", 1);
    const std::string longDescription(80, 'D');  // longer than the 64-byte buffer
    FakeFtdiAddDevice(longDescription.c_str(), "SN2", 2);
    UsbDll usb;
    FakeFtdiClearCalls();

    char description[64];
    char serial[64];
    EXPECT_EQ(usb.GetDeviceName(description, serial, 1), 0);
    EXPECT_EQ(std::string(description), std::string(63, 'D'));
    EXPECT_STREQ(serial, "SN2");

    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[0], 1u);  // the index
    EXPECT_EQ(calls[0].args[2], d2xx::FT_LIST_BY_INDEX | d2xx::FT_OPEN_BY_DESCRIPTION);
    EXPECT_EQ(calls[1].args[0], 1u);
    EXPECT_EQ(calls[1].args[2], d2xx::FT_LIST_BY_INDEX | d2xx::FT_OPEN_BY_SERIAL_NUMBER);

    EXPECT_EQ(usb.GetDeviceName(description, serial, 2), static_cast<int>(d2xx::FT_DEVICE_NOT_FOUND));
    EXPECT_EQ(usb.GetDeviceName(nullptr, serial, 0), -1);
}

TEST_F(DeviceListTest, OpenOpensTheFirstListedDeviceBySerialNumber) {
    const int first = FakeFtdiAddDevice("QT58-V reader", "SN-FIRST", 1);
    const int second = FakeFtdiAddDevice("QT58-V reader", "SN-SECOND", 2);
    UsbDll usb;
    FakeFtdiClearCalls();
    ASSERT_EQ(usb.Open(Line()), 0);
    EXPECT_EQ(FakeFtdiIsOpen(first), 1);
    EXPECT_EQ(FakeFtdiIsOpen(second), 0);

    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_STREQ(calls[0].function, "FT_ListDevices");
    EXPECT_EQ(calls[0].args[0], 0u);
    EXPECT_EQ(calls[0].args[2], d2xx::FT_LIST_BY_INDEX | d2xx::FT_OPEN_BY_SERIAL_NUMBER);
    EXPECT_STREQ(calls[1].function, "FT_W32_CreateFile");
    EXPECT_STREQ(calls[1].text, "SN-FIRST");
    EXPECT_EQ(usb.Close(), 0);
}

}  // namespace
}  // namespace usbline_test
