#pragma once
// Appending one card read to the CSV log: identifier, area 1, area 2, separated by commas.
#include <cstdint>

#include "core/card_records.h"
#include "core/settings.h"

namespace tapwedge {

// Appends the line "ID,area1,area2\n" to CsvFolder + CsvFileName, creating the file when it
// is missing (never truncating it; a new file is for its user alone, 0600), under an exclusive
// lock and with one write.
// 0 when the whole line was written; -1 when the file could not be opened, created or locked,
// or the write failed or fell short (a partial line is then taken back); errno then tells why.
int AppendCsvLine(const OutputItems& items, const OutputOptions& options,
                  const CardIdRecord& cardId, const CardDataRecord& cardData);

// Copies only the bytes 0x20..0x7F of source to destination; returns how many were copied.
int KeepPrintable(std::uint8_t* destination, const std::uint8_t* source, std::int32_t length);

}  // namespace tapwedge
