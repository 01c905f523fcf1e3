// A UsbDll where no D2XX library can be found stays usable but inert.
#include <dlfcn.h>

#include "not_loaded_checks.h"

namespace usbline_test {
namespace {

TEST(NoDriver, EveryMethodGivesItsNotLoadedResult) {
    if (void* driver = dlopen("libftd2xx.so", RTLD_NOW)) {
        dlclose(driver);
        GTEST_SKIP() << "a libftd2xx.so is installed on this machine";
    }
    UsbDll usb;
    ExpectNotLoaded(usb);
}

TEST(NoDriver, ObjectsComeAndGoWithoutADriver) {
    for (int i = 0; i < 3; ++i) {
        auto usb = std::make_unique<UsbDll>(nullptr);
        EXPECT_EQ(usb->Close(), -1);
    }
}

}  // namespace
}  // namespace usbline_test
