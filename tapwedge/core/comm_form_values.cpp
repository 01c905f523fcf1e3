#include "core/comm_form_values.h"

#include <algorithm>
#include <cctype>

#include "core/profile_file.h"

namespace tapwedge {
namespace {

constexpr std::int32_t kBaudRates[kBaudRateCount] = {4800,  9600,  14400, 19200,
                                                     28800, 38400, 57600, 115200};
constexpr int kIndex9600 = 1;
constexpr int kIndex115200 = 7;

}  // namespace

int BaudRateIndex(std::int32_t baud) {
    if (baud == 76800) return kIndex115200;  // no such item; the reader's next speed up
    for (int i = 0; i < kBaudRateCount; ++i) {
        if (kBaudRates[i] == baud) return i;
    }
    return kIndex9600;
}

std::int32_t BaudRateOfIndex(int index) {
    return index >= 0 && index < kBaudRateCount ? kBaudRates[index] : kBaudRates[kIndex9600];
}

std::uint8_t ComPortOfText(std::string_view text) {
    // A number above 255 names no port; it must not wrap round to another one.
    const auto number = ParseDecimal(text);
    if (!number || *number < 0 || *number > 255) return 1;
    return static_cast<std::uint8_t>(*number);
}

bool PortNumberTooLarge(std::string_view text) {
    // Digits beyond the 32-bit range are no number to ParseDecimal, but still too large.
    const bool digitsOnly = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    const auto number = ParseDecimal(text);
    return number ? *number > 255 : digitsOnly;
}

bool IsWholeKeyText(std::string_view text) {
    if (text.size() != kKeyTextDigits) return false;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace tapwedge
