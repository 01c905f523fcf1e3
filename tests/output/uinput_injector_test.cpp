// The uinput injector: its failures, and, where the kernel offers /dev/uinput, the key events
// its virtual keyboard produces, read back from the keyboard's event device.
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/key_injectors.h"
#include "platform/virtual_keys.h"

namespace {

TEST(UinputKeyInjector, ReportsADeviceThatIsMissingOrNotUinput) {
    std::string error;
    EXPECT_EQ(platform::OpenUinputKeyInjector("/nonexistent/uinput", &error), nullptr);
    EXPECT_NE(error.find("cannot open /nonexistent/uinput"), std::string::npos) << error;
    EXPECT_EQ(platform::OpenUinputKeyInjector("/dev/null", &error), nullptr);
    EXPECT_NE(error.find("cannot set up a virtual keyboard on /dev/null"), std::string::npos)
        << error;
}

// The event device ("eventN") of the input device with this name, from /proc/bus/input/devices.
std::string EventDeviceOf(const std::string& name) {
    std::ifstream devices("/proc/bus/input/devices");
    bool ours = false;
    for (std::string line; std::getline(devices, line);) {
        if (line.rfind("N: Name=", 0) == 0) ours = line == "N: Name=\"" + name + "\"";
        if (ours && line.rfind("H: Handlers=", 0) == 0) {
            const auto at = line.find("event");
            if (at == std::string::npos) return "";
            return "/dev/input/" + line.substr(at, line.find(' ', at) - at);
        }
    }
    return "";
}

TEST(UinputKeyInjector, TypesTheMappedKeysAndTheKeypadDecimalAsTheMainDot) {
    std::string error;
    auto injector = platform::OpenUinputKeyInjector("/dev/uinput", &error);
    if (!injector) GTEST_SKIP() << "no uinput here: " << error;
    std::string node;
    for (int i = 0; i < 200 && node.empty(); ++i) {
        node = EventDeviceOf("Tapwedge virtual keyboard");
        if (node.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(node.empty());
    int fd = -1;
    for (int i = 0; i < 200 && fd < 0; ++i) {
        fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(fd, 0) << node;

    for (std::uint8_t vk : {std::uint8_t{'1'}, platform::vk::Decimal, platform::vk::Colon}) {
        platform::KeyboardInput input;
        input.VirtualKey = vk;
        input.ScanCode = platform::MapVirtualKeyToScanCode(vk);
        EXPECT_TRUE(injector->Inject(input));
        input.Flags = platform::kKeyUp;
        EXPECT_TRUE(injector->Inject(input));
    }
    std::vector<std::pair<int, int>> keys;  // (code, value)
    pollfd p{fd, POLLIN, 0};
    while (keys.size() < 6 && poll(&p, 1, 2000) > 0) {
        input_event e{};
        while (read(fd, &e, sizeof e) == static_cast<ssize_t>(sizeof e))
            if (e.type == EV_KEY) keys.emplace_back(e.code, e.value);
    }
    close(fd);
    const std::vector<std::pair<int, int>> expected = {
        {KEY_1, 1}, {KEY_1, 0}, {KEY_DOT, 1}, {KEY_DOT, 0}, {KEY_APOSTROPHE, 1}, {KEY_APOSTROPHE, 0}};
    EXPECT_EQ(keys, expected);
}

}  // namespace
