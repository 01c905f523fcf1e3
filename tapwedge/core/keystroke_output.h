#pragma once
// Typing the identifier and data text of a card read as synthetic keystrokes.
#include <array>
#include <cstdint>

#include "core/card_records.h"
#include "core/settings.h"
#include "platform/keyboard_input.h"

namespace tapwedge {

// What the keystroke output reads: the output items and options of the main form, and the
// injector that delivers the keys (nullptr: there is none, and nothing is typed). Once *Stop is
// true (set by a message handler during a wait between two keys) no further key is typed; a
// Shift held down is released. nullptr: typing is never stopped.
struct KeystrokeContext {
    const OutputItems& Items;
    const OutputOptions& Options;
    platform::KeyInjector* Injector;
    const bool* Stop = nullptr;
};

// The key typed for a character that has no key of its own, indexed by OutputOptions::ReplaceKey:
// nothing, space, the "@" key, the keypad decimal point.
inline constexpr std::array<std::uint8_t, 4> ReplaceKeyTable = {0x00, 0x20, 0xC0, 0x6E};

// Types the enabled output items of one read, in item order.
void TypeOutputItems(const KeystrokeContext& context, const CardIdRecord& cardId,
                     const CardDataRecord& cardData);

// Types `length` characters, then the separator key (0 TAB, 1 RETURN, other none).
// A length below 1 types nothing, not even the separator.
void TypeText(const KeystrokeContext& context, const std::uint8_t* chars, std::int32_t length,
              std::int32_t separator);

// One key: down, and up unless holdDown is nonzero; then the wait of OutputOptions::WaitTime.
// Nothing once typing has been stopped.
void SendKey(const KeystrokeContext& context, std::uint8_t virtualKey, int holdDown);

// Called with phase 0 before and 1 after the output of one read; the place to frame output.
void OutputHook(const KeystrokeContext& context, int phase);

}  // namespace tapwedge
