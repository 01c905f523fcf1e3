#include "core/text_format.h"

#include <algorithm>
#include <cstring>

namespace tapwedge {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::int32_t kIdBytes = sizeof(CardIdRecord::Bytes) / 2;
constexpr std::int32_t kDataCapacity = sizeof(CardDataRecord::Bytes);

const DecodedEntry& MatchedEntryOf(const CardReadEngine& engine) {
    const std::int32_t i = engine.MatchedEntry;
    return engine.Entries[i >= 0 && i < 3 ? i : 0];
}

// Characters per data byte in the area lengths: 0 for the one decimal number of code 4.
std::int32_t CharsPerByte(int outputCode) {
    switch (outputCode) {
    case 2: return 2;
    case 3: return 3;
    case 4: return 0;
    default: return 1;
    }
}

// The fixed widths as they fit the data record together (meaningful while Width1 > 0).
struct FixedWidths {
    std::int32_t Area1;
    std::int32_t Area2;
};

FixedWidths FittedWidths(const CardReadEngine& engine) {
    const std::int32_t area1 = std::min(engine.Width1, kDataCapacity);
    const std::int32_t area2 = std::clamp(engine.Width2, 0, kDataCapacity - area1);
    return {area1, area2};
}

// Writes the text right-aligned into width characters at out, '0' before it; a longer text
// keeps its first width characters.
void RightAlign(std::uint8_t* out, std::int32_t width, const std::uint8_t* text,
                std::int32_t length) {
    length = std::min(length, width);
    std::memset(out, '0', static_cast<std::size_t>(width - length));
    std::memcpy(out + (width - length), text, static_cast<std::size_t>(length));
}

bool IsKept(std::uint8_t c) { return c >= 0x20 && c != 0xFF; }

}  // namespace

std::int32_t FormatId(const CardReadEngine& /*engine*/, CardIdRecord& id, std::int32_t n) {
    n = std::clamp(n, 0, kIdBytes);
    // From the last byte, so that the text may overwrite the bytes it comes from.
    for (std::int32_t k = n - 1; k >= 0; --k) {
        const std::uint8_t b = id.Bytes[k];
        id.Bytes[2 * k + 1] = static_cast<std::uint8_t>(kHexDigits[b & 0x0F]);
        id.Bytes[2 * k] = static_cast<std::uint8_t>(kHexDigits[b >> 4]);
    }
    return 2 * n;
}

std::int32_t FormatData(const CardReadEngine& engine, CardDataRecord& data, std::int32_t n) {
    n = std::clamp(n, 0, kDataCapacity);
    const DecodedEntry& entry = MatchedEntryOf(engine);
    const int code = OutputCodeOf(entry.Kind);
    if (code == 4) return BytesToDecimal(data.Bytes, n, data.Bytes);  // no widths for code 4

    // The whole text first, in a work area that holds any text of a full record.
    std::uint8_t text[3 * kDataCapacity];
    const std::int32_t per = CharsPerByte(code);
    for (std::int32_t k = 0; k < n; ++k) {
        const std::uint8_t b = data.Bytes[k];
        std::uint8_t* c = text + per * k;
        if (per == 2) {
            c[0] = static_cast<std::uint8_t>(kHexDigits[b >> 4]);
            c[1] = static_cast<std::uint8_t>(kHexDigits[b & 0x0F]);
        } else if (per == 3) {
            c[0] = static_cast<std::uint8_t>('0' + b / 100);
            c[1] = static_cast<std::uint8_t>('0' + b / 10 % 10);
            c[2] = static_cast<std::uint8_t>('0' + b % 10);
        } else {
            c[0] = b;
        }
    }
    std::int32_t total = per * n;

    if (engine.Width1 <= 0) {
        total = std::min(total, kDataCapacity);
        std::memcpy(data.Bytes, text, static_cast<std::size_t>(total));
        return total;
    }

    // Characters of each area, kept characters closed up from the start of the text. Only raw
    // bytes lose anything: control bytes and 0xFF.
    std::int32_t area1 = total, area2 = 0;
    if (entry.Length[0] > 0) {
        const std::int32_t end1 = std::min<std::int32_t>(per * entry.Length[0], total);
        const std::int32_t end2 = std::min<std::int32_t>(end1 + per * entry.Length[1], total);
        if (per == 1) {
            std::int32_t kept = 0;
            for (std::int32_t k = 0; k < end2; ++k) {
                if (k == end1) area1 = kept;
                if (IsKept(text[k])) text[kept++] = text[k];
            }
            if (end1 == end2) area1 = kept;
            area2 = kept - area1;
        } else {
            area1 = end1;
            area2 = end2 - end1;
        }
    }

    const FixedWidths widths = FittedWidths(engine);
    RightAlign(data.Bytes, widths.Area1, text, area1);
    if (entry.Length[1] == 0) return widths.Area1;
    RightAlign(data.Bytes + widths.Area1, widths.Area2, text + area1, area2);
    return widths.Area1 + widths.Area2;
}

void GetAreaLengths(const CardReadEngine& engine, std::int32_t& area1, std::int32_t& area2) {
    const DecodedEntry& entry = MatchedEntryOf(engine);
    const std::int32_t per = CharsPerByte(OutputCodeOf(entry.Kind));
    const FixedWidths widths = FittedWidths(engine);
    area1 = engine.Width1 > 0 ? widths.Area1 : entry.Length[0] * per;
    if (engine.Width2 > 0)
        area2 = engine.Width1 > 0 ? widths.Area2 : engine.Width2;
    else
        area2 = entry.Length[1] * per;
}

std::int32_t BytesToDecimal(const std::uint8_t* bytes, std::int32_t n, std::uint8_t* out) {
    if (n > 8) return -1;
    std::uint64_t value = 0;
    for (std::int32_t k = 0; k < n; ++k) value = value << 8 | bytes[k];

    // Digits from the least significant, filling the work area from its end.
    std::uint8_t digits[20];
    int first = 20;
    do {
        digits[--first] = static_cast<std::uint8_t>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (first < 20 && digits[first] == '0') ++first;  // the value 0 leaves nothing

    const std::int32_t length = 20 - first;
    std::memmove(out, digits + first, static_cast<std::size_t>(length));
    return length;
}

void ReverseBytes(std::uint8_t* bytes, std::int32_t n) {
    for (std::int32_t i = 0; i < n / 2; ++i) std::swap(bytes[i], bytes[n - 1 - i]);
}

int LowestSetBit(std::uint16_t value) {
    for (int bit = 0; bit < 16; ++bit)
        if (value & (1u << bit)) return bit;
    return 0;
}

}  // namespace tapwedge
