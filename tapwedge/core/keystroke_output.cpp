#include "core/keystroke_output.h"

#include <algorithm>

#include "core/wait_pumping.h"
#include "platform/virtual_keys.h"

namespace tapwedge {
namespace {

// Characters of a record's text that can be read: its length, bounded by the record.
template <std::size_t N>
std::int32_t TextLength(std::int32_t length, const std::uint8_t (&)[N]) {
    return std::clamp<std::int32_t>(length, 0, static_cast<std::int32_t>(N));
}

bool Stopped(const KeystrokeContext& context) { return context.Stop && *context.Stop; }

platform::KeyboardInput KeyRecord(std::uint8_t virtualKey, std::uint32_t flags) {
    platform::KeyboardInput input;
    input.Type = platform::kInputKeyboard;
    input.VirtualKey = virtualKey;
    input.ScanCode = platform::MapVirtualKeyToScanCode(virtualKey);
    input.Flags = flags;
    input.Time = 0;
    input.ExtraInfo = platform::MessageExtraInfo();
    return input;
}

void Press(const KeystrokeContext& context, std::uint8_t virtualKey) {
    SendKey(context, virtualKey, 0);
}

void Shifted(const KeystrokeContext& context, std::uint8_t virtualKey) {
    if (Stopped(context)) return;
    SendKey(context, platform::vk::Shift, 1);  // Shift down
    Press(context, virtualKey);
    if (!Stopped(context)) {
        Press(context, platform::vk::Shift);  // a full press releases it
    } else if (context.Injector) {
        // Stopped while Shift is down: it must not stay down for the keys the user types next.
        context.Injector->Inject(KeyRecord(platform::vk::Shift, platform::kKeyUp));
    }
}

std::uint8_t ReplacementKey(const OutputOptions& options) {
    // A value the settings should never hold types nothing rather than reading past the table.
    const int index = options.ReplaceKey;
    return index >= 0 && index < static_cast<int>(ReplaceKeyTable.size()) ? ReplaceKeyTable[index]
                                                                          : 0;
}

void TypeCharacter(const KeystrokeContext& context, std::uint8_t c) {
    const bool caseSwitch = context.Options.CaseSwitch != 0;
    if (c >= 'A' && c <= 'Z') {
        if (caseSwitch) Press(context, c);
        else Shifted(context, c);
    } else if (c >= 'a' && c <= 'z') {
        const auto code = static_cast<std::uint8_t>(c - 32);
        if (caseSwitch) Shifted(context, code);
        else Press(context, code);
    } else if (c >= '0' && c <= '9') {
        Press(context, c);
    } else if (c >= '!' && c <= ')') {
        Shifted(context, static_cast<std::uint8_t>(c + 16));  // JIS: Shift with "1".."9"
    } else if (c == '*') {
        Press(context, platform::vk::Multiply);
    } else if (c == '+') {
        Press(context, platform::vk::Add);
    } else if (c == '-') {
        Press(context, platform::vk::Subtract);
    } else if (c == '.') {
        Press(context, platform::vk::Decimal);
    } else if (c == '/') {
        Press(context, platform::vk::Divide);
    } else if (c == ':') {
        Press(context, platform::vk::Colon);
    } else if (c == ';') {
        Press(context, platform::vk::Semicolon);
    } else if (c == '@') {
        Press(context, platform::vk::At);
    } else if (const std::uint8_t code = ReplacementKey(context.Options); code != 0) {
        Press(context, code);
    }
}

}  // namespace

void SendKey(const KeystrokeContext& context, std::uint8_t virtualKey, int holdDown) {
    if (!context.Injector) return;  // no keyboard output on this desktop
    if (Stopped(context)) return;
    platform::KeyboardInput input = KeyRecord(virtualKey, platform::kKeyDown);
    context.Injector->Inject(input);  // a refused key is lost, as a refused SendInput is
    if (holdDown == 0) {
        input.Flags = platform::kKeyUp;
        context.Injector->Inject(input);
    }
    WaitPumping(context.Options.WaitTime);
}

void TypeText(const KeystrokeContext& context, const std::uint8_t* chars, std::int32_t length,
              std::int32_t separator) {
    if (length < 1 || !chars) return;
    for (std::int32_t i = 0; i < length; ++i) TypeCharacter(context, chars[i]);
    if (separator == 0) Press(context, platform::vk::Tab);
    else if (separator == 1) Press(context, platform::vk::Return);
}

void OutputHook(const KeystrokeContext&, int) {}

void TypeOutputItems(const KeystrokeContext& context, const CardIdRecord& cardId,
                     const CardDataRecord& cardData) {
    const OutputItems& items = context.Items;
    const std::int32_t idLength = TextLength(cardId.Length, cardId.Bytes);
    const std::int32_t dataLength = TextLength(cardData.Length, cardData.Bytes);

    std::int32_t areaLength[3] = {0, items[1].Length, items[2].Length};
    int areas = 1;
    if (areaLength[1] <= 0) areaLength[1] = dataLength;
    else if (areaLength[2] > 0) areas = 2;

    OutputHook(context, 0);
    if (items[0].Enabled) TypeText(context, cardId.Bytes, idLength, items[0].Separator);
    std::int64_t offset = 0;  // 64-bit: two large lengths must not wrap
    for (int k = 1; k <= areas; ++k) {
        if (items[k].Enabled && offset < dataLength) {
            // An area reaching past the data text is cut short at its end.
            const auto length = static_cast<std::int32_t>(
                std::min<std::int64_t>(areaLength[k], dataLength - offset));
            TypeText(context, cardData.Bytes + offset, length, items[k].Separator);
        }
        offset += areaLength[k];
    }
    if (items[3].Enabled) TypeText(context, cardId.Bytes, idLength, items[3].Separator);
    OutputHook(context, 1);
}

}  // namespace tapwedge
