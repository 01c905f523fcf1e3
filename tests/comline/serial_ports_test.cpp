#include "platform/serial_ports.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

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
}

// Sets an environment variable (nullopt: unsets it) for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Without a folder set by the program, the port folder follows the XDG base-directory rule, read
// afresh at each look-up: a private home (a sandbox, sudo -E) binds its own ports.
TEST(SerialPorts, TheDefaultPortFolderFollowsTheXdgRule) {
    PtyPort pty(1);  // only for a terminal to link to
    platform::SetSerialPortFolder("");
    const std::string root = pty.folder();
    const std::string home = root + "/home", config = root + "/config";
    struct Case {
        const char* name;
        std::optional<std::string> xdg, home;
        std::string folder;  // expected; "" = the account's home from the user database
    };
    const Case cases[] = {
        {"XDG_CONFIG_HOME wins over HOME", config, home, config + "/tapwedge/ports"},
        {"HOME without XDG_CONFIG_HOME", std::nullopt, home, home + "/.config/tapwedge/ports"},
        {"an empty XDG_CONFIG_HOME is ignored", "", home, home + "/.config/tapwedge/ports"},
        {"a relative XDG_CONFIG_HOME is ignored", "relative/config", home,
         home + "/.config/tapwedge/ports"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedVariable xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedVariable homeVariable("HOME", c.home);
        EXPECT_EQ(platform::SerialPortFolder(), c.folder);
        std::filesystem::create_directories(c.folder);
        const std::string link = c.folder + "/com7";
        ASSERT_EQ(symlink(pty.slavePath().c_str(), link.c_str()), 0);
        EXPECT_EQ(platform::SerialPortPath(7), link);
        EXPECT_TRUE(Listed(7));
        std::filesystem::remove(link);
        EXPECT_FALSE(platform::SerialPortExists(7));
    }

    // Neither variable usable: the home folder of the account.
    ScopedVariable xdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedVariable homeVariable("HOME", std::nullopt);
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(platform::SerialPortFolder(), std::string(user->pw_dir) + "/.config/tapwedge/ports");

    // A folder the program sets still wins over the rule.
    platform::SetSerialPortFolder(root);
    EXPECT_EQ(platform::SerialPortFolder(), root);
}

}  // namespace
