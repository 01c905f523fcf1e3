// A D2XX library that lacks one of the entry points counts as not loaded: nothing is half
// bound, and the library is let go again at once. The test runs with the incomplete fake
// (it has no FT_W32_WaitCommEvent) on its library path.
#include <dlfcn.h>

#include "fake_ftdi_control.h"
#include "not_loaded_checks.h"

namespace usbline_test {
namespace {

bool IsLoaded() {
    void* driver = dlopen("libftd2xx.so", RTLD_NOW | RTLD_NOLOAD);
    if (driver) dlclose(driver);
    return driver != nullptr;
}

TEST(IncompleteDriver, CountsAsNotLoadedAndIsLetGoAgain) {
    // The library on the path is the incomplete fake.
    void* driver = dlopen("libftd2xx.so", RTLD_NOW);
    ASSERT_NE(driver, nullptr) << dlerror();
    EXPECT_NE(dlsym(driver, "FT_ListDevices"), nullptr);
    EXPECT_EQ(dlsym(driver, "FT_W32_WaitCommEvent"), nullptr);
    dlclose(driver);
    // Some builds (sanitizers) make the loader keep the library; then unloading is not seen.
    const bool unloadable = !IsLoaded();

    {
        UsbDll usb;
        if (unloadable) {
            EXPECT_FALSE(IsLoaded()) << "the incomplete library is still held";
        }
        ExpectNotLoaded(usb);
    }

    // The incomplete library lists a device that the not-loaded object does not see.
    driver = dlopen("libftd2xx.so", RTLD_NOW);
    ASSERT_NE(driver, nullptr);
    auto addDevice =
        reinterpret_cast<decltype(&FakeFtdiAddDevice)>(dlsym(driver, "FakeFtdiAddDevice"));
    ASSERT_NE(addDevice, nullptr);
    addDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    int locations[1] = {-7};
    EXPECT_EQ(usb.GetDeviceList(locations), -1);
    EXPECT_EQ(locations[0], -7);
    dlclose(driver);
}

}  // namespace
}  // namespace usbline_test
