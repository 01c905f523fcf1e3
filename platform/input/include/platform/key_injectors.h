#pragma once
// The key injectors of a Linux desktop, and the choice among them at start-up.
#include <memory>
#include <string>

#include "platform/keyboard_input.h"

namespace platform {

// Types through the XTEST extension of an X display (nullptr = $DISPLAY), on a connection of
// its own. nullptr when the display cannot be opened or lacks XTEST; *error then says why.
std::unique_ptr<KeyInjector> OpenXTestKeyInjector(const char* displayName, std::string* error);

// Creates one virtual keyboard through the uinput device and keeps it for the injector's life.
// nullptr when the device cannot be opened or set up; *error then says why.
std::unique_ptr<KeyInjector> OpenUinputKeyInjector(const char* devicePath, std::string* error);

struct KeyInjectorChoice {
    std::unique_ptr<KeyInjector> Injector;  // nullptr: keyboard output does nothing
    std::string Report;                     // which injector, or why there is none
};

// XTest when an X display with XTEST is there, else uinput, else none. When there is none the
// report is also written once to stderr. Call once at start-up.
KeyInjectorChoice ChooseKeyInjector(const char* displayName = nullptr,
                                    const char* uinputPath = "/dev/uinput");

}  // namespace platform
