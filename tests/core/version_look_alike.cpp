// A program without a version section that still holds a record's bytes in its read-only data:
// reading its version must not take them for the record.
#include "core/version_record.h"

namespace {
[[gnu::used]] const tapwedge::VersionRecord kLookAlikeRecord = tapwedge::MakeVersionRecord(9, 8, 7, 6);
}  // namespace

int main() { return static_cast<int>(kLookAlikeRecord.RecordSize) == 16 ? 0 : 1; }
