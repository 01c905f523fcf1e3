#pragma once
// The program file's version record. The build places one record in a section of its own in the
// program file (cmake/VersionRecord.cmake); the version dialog reads it back from the file. The
// section is found by name through the file's section table, so bytes that merely look like a
// record elsewhere in the file are never taken for it.
#include <cstdint>

// The section's name, as a literal for the section attribute of the generated record.
#define TAPWEDGE_VERSION_SECTION ".tapwedge.version"

namespace tapwedge {

inline constexpr char kVersionSectionName[] = TAPWEDGE_VERSION_SECTION;
inline constexpr std::uint32_t kVersionRecordSignature = 0x54575652;  // "TWVR" read big-endian

// Stored in the byte order of the program file.
struct VersionRecord {
    std::uint32_t Signature;      // kVersionRecordSignature
    std::uint32_t RecordSize;     // sizeof(VersionRecord); a later, longer record starts the same
    std::uint32_t FileVersionMS;  // major << 16 | minor
    std::uint32_t FileVersionLS;  // patch << 16 | tweak
};
static_assert(sizeof(VersionRecord) == 16);

constexpr VersionRecord MakeVersionRecord(std::uint16_t major, std::uint16_t minor,
                                          std::uint16_t patch, std::uint16_t tweak) {
    return {kVersionRecordSignature, sizeof(VersionRecord),
            static_cast<std::uint32_t>(major) << 16 | minor,
            static_cast<std::uint32_t>(patch) << 16 | tweak};
}

}  // namespace tapwedge
