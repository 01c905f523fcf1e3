#pragma once
// Text of a card read: the ID as upper-case hexadecimal, the data in the output code of the
// entry that read the card, optionally right-aligned with '0' in two fixed widths. Every
// conversion works in place and returns the text length; the text is not terminated and never
// reaches beyond its record (a longer text is cut at the record's or the width's end).
#include <cstdint>

#include "core/card_read_engine.h"
#include "core/card_records.h"

namespace tapwedge {

// Hexadecimal text of the first n ID bytes (at most the 10 whose text fits); returns 2n.
std::int32_t FormatId(const CardReadEngine& engine, CardIdRecord& id, std::int32_t n);

// Text of the first n data bytes for the matched entry; returns its length, or -1 for output
// code 4 with more than 8 bytes (the data is then left unchanged).
std::int32_t FormatData(const CardReadEngine& engine, CardDataRecord& data, std::int32_t n);

// Characters of data areas 1 and 2 in the data text.
void GetAreaLengths(const CardReadEngine& engine, std::int32_t& area1, std::int32_t& area2);

// Decimal text of n big-endian bytes without leading zeros (the value 0 gives the empty text)
// into out, which may be bytes and must hold 20 characters. Returns the length, or -1 when
// n > 8 (out is not touched).
std::int32_t BytesToDecimal(const std::uint8_t* bytes, std::int32_t n, std::uint8_t* out);

// Reverses n bytes in place; nothing when n <= 0.
void ReverseBytes(std::uint8_t* bytes, std::int32_t n);

// Index of the lowest set bit; 0 when no bit is set.
int LowestSetBit(std::uint16_t value);

}  // namespace tapwedge
