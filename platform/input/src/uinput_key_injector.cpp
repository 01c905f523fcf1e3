// Key injection through a virtual keyboard of the uinput device, for desktops without X.
//
// The keyboard is created once and kept, so that the desktop has found it long before the
// first card is read. A uinput keyboard cannot learn the desktop's NumLock state, so the keypad
// decimal point is sent as the main "." key, which types "." whatever NumLock says.
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/key_injectors.h"
#include "platform/virtual_keys.h"

namespace platform {
namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

class UinputKeyInjector final : public KeyInjector {
public:
    UinputKeyInjector(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

    ~UinputKeyInjector() override {
        for (unsigned k = 0; k < held_.size(); ++k)
            if (held_[k]) Send(static_cast<std::uint16_t>(k), false);
        ioctl(fd_, UI_DEV_DESTROY);
        close(fd_);
    }

    bool Inject(const KeyboardInput& input) override {
        if (input.Type != kInputKeyboard || input.ScanCode == 0 || input.ScanCode >= held_.size())
            return false;
        const std::uint16_t key = input.ScanCode == KEY_KPDOT ? KEY_DOT : input.ScanCode;
        return Send(key, (input.Flags & kKeyUp) == 0);
    }

    const char* Name() const override { return name_.c_str(); }

private:
    bool Send(std::uint16_t key, bool down) {
        input_event events[2]{};
        events[0].type = EV_KEY;
        events[0].code = key;
        events[0].value = down ? 1 : 0;
        events[1].type = EV_SYN;
        events[1].code = SYN_REPORT;
        ssize_t n;
        do {
            n = write(fd_, events, sizeof events);
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(sizeof events)) return false;
        held_[key] = down;
        return true;
    }

    int fd_;
    std::string name_;
    std::bitset<KEY_CNT> held_;
};

}  // namespace

std::unique_ptr<KeyInjector> OpenUinputKeyInjector(const char* devicePath, std::string* error) {
    const std::string path = devicePath ? devicePath : "/dev/uinput";
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = Errno("cannot open " + path);
        return nullptr;
    }
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (int v = 1; ok && v < 256; ++v) {
        const std::uint16_t key = MapVirtualKeyToScanCode(static_cast<std::uint8_t>(v));
        if (key != 0) ok = ioctl(fd, UI_SET_KEYBIT, key) == 0;
    }
    if (ok) ok = ioctl(fd, UI_SET_KEYBIT, KEY_DOT) == 0;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1209;  // pid.codes open-source vendor id
    setup.id.product = 0x7477;
    setup.id.version = 1;
    std::snprintf(setup.name, sizeof setup.name, "Tapwedge virtual keyboard");
    if (ok) ok = ioctl(fd, UI_DEV_SETUP, &setup) == 0;
    if (ok) ok = ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        if (error) *error = Errno("cannot set up a virtual keyboard on " + path);
        close(fd);
        return nullptr;
    }
    return std::make_unique<UinputKeyInjector>(fd, "uinput virtual keyboard on " + path);
}

}  // namespace platform
