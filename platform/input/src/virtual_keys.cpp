#include "platform/virtual_keys.h"

#include <linux/input-event-codes.h>

#include <array>

#include "platform/keyboard_input.h"

namespace platform {
namespace {

constexpr std::array<std::uint16_t, 256> BuildKeyTable() {
    std::array<std::uint16_t, 256> keys{};
    // Top row: "1".."9" then "0"; with Shift they give the JIS "!" .. ")".
    constexpr std::uint16_t digits[10] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4,
                                          KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
    for (int d = 0; d < 10; ++d) keys['0' + d] = digits[d];
    constexpr std::uint16_t letters[26] = {
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    for (int l = 0; l < 26; ++l) keys['A' + l] = letters[l];
    keys[vk::Tab] = KEY_TAB;
    keys[vk::Return] = KEY_ENTER;
    keys[vk::Shift] = KEY_LEFTSHIFT;
    keys[vk::Space] = KEY_SPACE;
    keys[vk::Multiply] = KEY_KPASTERISK;
    keys[vk::Add] = KEY_KPPLUS;
    keys[vk::Subtract] = KEY_KPMINUS;
    keys[vk::Decimal] = KEY_KPDOT;
    keys[vk::Divide] = KEY_KPSLASH;
    keys[vk::NumLock] = KEY_NUMLOCK;
    keys[vk::Colon] = KEY_APOSTROPHE;   // the JIS ":" key sits where US has "'"
    keys[vk::Semicolon] = KEY_SEMICOLON;
    keys[vk::At] = KEY_LEFTBRACE;       // the JIS "@" key sits where US has "["
    return keys;
}

constexpr std::array<std::uint16_t, 256> kKeyOfVirtualKey = BuildKeyTable();

}  // namespace

std::uint16_t MapVirtualKeyToScanCode(std::uint8_t virtualKey) {
    return kKeyOfVirtualKey[virtualKey];
}

std::uintptr_t MessageExtraInfo() { return 0; }

}  // namespace platform
