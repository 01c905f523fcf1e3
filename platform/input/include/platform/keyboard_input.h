#pragma once
// One synthetic key event as the program builds it, and the interface of whatever delivers it
// to the desktop (one record per call).
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kInputKeyboard = 1;  // KeyboardInput::Type
inline constexpr std::uint32_t kKeyDown = 0;        // KeyboardInput::Flags
inline constexpr std::uint32_t kKeyUp = 2;

struct KeyboardInput {
    std::uint32_t Type = kInputKeyboard;
    std::uint16_t VirtualKey = 0;  // 0x01..0xFF
    std::uint16_t ScanCode = 0;    // the key: a Linux input key code (see virtual_keys.h)
    std::uint32_t Flags = kKeyDown;
    std::uint32_t Time = 0;
    std::uintptr_t ExtraInfo = 0;
};

class KeyInjector {
public:
    virtual ~KeyInjector() = default;
    // Delivers one key event; false when it was refused (the key is then lost).
    virtual bool Inject(const KeyboardInput& input) = 0;
    // What delivers the keys, for the program's messages ("XTest on :0").
    virtual const char* Name() const = 0;
};

// The extra information the program attaches to its own key events. Linux desktops carry no
// such value with a message, so it is always 0; it stays in the record so that it keeps its form.
std::uintptr_t MessageExtraInfo();

}  // namespace platform
