// Key injection through the XTEST extension of an X server.
//
// X servers on Linux number their keys as the Linux input key codes plus 8, so the key of a
// record is sent as is: the active layout decides what it types, as on the keyboard itself.
// The one exception is the keypad decimal point, which types Delete unless NumLock is on: when
// NumLock is off it is switched on for that key alone and switched off again right after.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <bitset>
#include <string>

#include "platform/key_injectors.h"

namespace platform {
namespace {

constexpr unsigned kEvdevToX = 8;

class XTestKeyInjector final : public KeyInjector {
public:
    explicit XTestKeyInjector(Display* display) : display_(display) {
        XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
        name_ = std::string("XTest on ") + DisplayString(display_);
        numLockMask_ = XkbKeysymToModifiers(display_, XK_Num_Lock);
        numLockKeycode_ = XKeysymToKeycode(display_, XK_Num_Lock);
    }

    ~XTestKeyInjector() override {
        // Never leave a key down behind us.
        for (unsigned k = 0; k < held_.size(); ++k)
            if (held_[k]) SendEvent(k, false);
        if (numLockToggled_) TapNumLock();
        XCloseDisplay(display_);
    }

    bool Inject(const KeyboardInput& input) override {
        if (input.Type != kInputKeyboard || input.ScanCode == 0) return false;
        const unsigned keycode = input.ScanCode + kEvdevToX;
        if (keycode < static_cast<unsigned>(minKeycode_) ||
            keycode > static_cast<unsigned>(maxKeycode_) || keycode >= held_.size())
            return false;
        const bool down = (input.Flags & kKeyUp) == 0;
        const bool decimal = input.ScanCode == KEY_KPDOT;
        if (down && decimal && !numLockToggled_ && !NumLockOn()) {
            TapNumLock();
            numLockToggled_ = true;
        }
        SendEvent(keycode, down);
        if (!down && decimal && numLockToggled_) {
            TapNumLock();
            numLockToggled_ = false;
        }
        return true;
    }

    const char* Name() const override { return name_.c_str(); }

private:
    void SendEvent(unsigned keycode, bool down) {
        XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
        XFlush(display_);
        held_[keycode] = down;
    }

    bool NumLockOn() {
        XkbStateRec state{};
        if (numLockMask_ == 0 || XkbGetState(display_, XkbUseCoreKbd, &state) != Success)
            return true;  // no NumLock to speak of: send the key unchanged
        return (state.locked_mods & numLockMask_) != 0;
    }

    void TapNumLock() {
        if (numLockKeycode_ == 0) return;
        SendEvent(numLockKeycode_, true);
        SendEvent(numLockKeycode_, false);
    }

    Display* display_;
    int minKeycode_ = 8;
    int maxKeycode_ = 255;
    unsigned numLockMask_ = 0;
    KeyCode numLockKeycode_ = 0;
    bool numLockToggled_ = false;
    std::bitset<256> held_;
    std::string name_;
};

}  // namespace

std::unique_ptr<KeyInjector> OpenXTestKeyInjector(const char* displayName, std::string* error) {
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error)
            *error = std::string("cannot open the X display ") +
                     (displayName ? displayName : XDisplayName(nullptr));
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        if (error) *error = std::string("the X display ") + DisplayString(display) +
                            " has no XTEST extension";
        XCloseDisplay(display);
        return nullptr;
    }
    // Queries of the lock state need XKB; without it NumLockOn() reports "on".
    int opcode = 0, xkbEvent = 0, xkbError = 0, xkbMajor = XkbMajorVersion,
        xkbMinor = XkbMinorVersion;
    XkbQueryExtension(display, &opcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor);
    return std::make_unique<XTestKeyInjector>(display);
}

}  // namespace platform
