#include "platform/serial_ports.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "pty_port.h"

namespace {

bool Listed(int number) {
    const std::vector<int> ports = platform::ListSerialPorts();
    return std::find(ports.begin(), ports.end(), number) != ports.end();
}

TEST(SerialPorts, ALinkInThePortFolderBindsItsComNumber) {
    PtyPort pty(3);
    const std::string folder = pty.folder();
    EXPECT_EQ(platform::SerialPortFolder(), folder);
    EXPECT_EQ(platform::SerialPortPath(3), folder + "/com3");
    EXPECT_TRUE(platform::SerialPortExists(3));
    EXPECT_TRUE(Listed(3));

    // Names are read without regard to case; malformed names and numbers out of range bind
    // nothing; a link to a missing device makes its port absent.
    ASSERT_EQ(symlink(pty.slavePath().c_str(), (folder + "/COM12").c_str()), 0);
    ASSERT_EQ(symlink(pty.slavePath().c_str(), (folder + "/com0").c_str()), 0);
    ASSERT_EQ(symlink(pty.slavePath().c_str(), (folder + "/com256").c_str()), 0);
    ASSERT_EQ(symlink(pty.slavePath().c_str(), (folder + "/com07").c_str()), 0);
    ASSERT_EQ(symlink(pty.slavePath().c_str(), (folder + "/com8x").c_str()), 0);
    ASSERT_EQ(symlink("/dev/does-not-exist", (folder + "/com9").c_str()), 0);
    ASSERT_EQ(symlink("/etc/hostname", (folder + "/com10").c_str()), 0);  // not a device
    EXPECT_EQ(platform::SerialPortPath(12), folder + "/COM12");
    for (int absent : {0, 7, 8, 9, 10, 256, -1}) {
        EXPECT_FALSE(platform::SerialPortExists(absent)) << absent;
        EXPECT_FALSE(Listed(absent)) << absent;
    }
}

TEST(SerialPorts, ALinkTakesPrecedenceOverTheDefaultRule) {
    PtyPort pty(33);
    pty.Bind(70);
    EXPECT_EQ(platform::SerialPortPath(33), pty.folder() + "/com33");
    EXPECT_EQ(platform::SerialPortPath(70), pty.folder() + "/com70");
}

TEST(SerialPorts, DefaultRuleMapsComNumbersToTtyFamilies) {
    platform::SetSerialPortFolder("/nonexistent-port-folder");
    struct Family {
        int first, last;
        const char* prefix;
    };
    const Family families[] = {{1, 32, "/dev/ttyS"}, {33, 64, "/dev/ttyUSB"}, {65, 96, "/dev/ttyACM"}};
    for (const Family& f : families) {
        for (int n = f.first; n <= f.last; ++n) {
            const std::string path = platform::SerialPortPath(n);
            const std::string expected = f.prefix + std::to_string(n - f.first);
            struct stat info {};
            if (path.empty()) continue;  // no such device on this machine
            EXPECT_EQ(path, expected);
            EXPECT_EQ(stat(path.c_str(), &info), 0);
        }
    }
    for (int n = 97; n <= 255; ++n) EXPECT_EQ(platform::SerialPortPath(n), "") << n;
    platform::SetSerialPortFolder("");
    EXPECT_NE(platform::SerialPortFolder().find("/.config/tapwedge/ports"), std::string::npos);
}

}  // namespace
