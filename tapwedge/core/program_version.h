#pragma once
// Reading the version record back from a program file (see version_record.h).
#include <cstdint>
#include <string>

namespace tapwedge {

struct FileVersion {
    std::uint32_t MostSignificant = 0;   // major << 16 | minor
    std::uint32_t LeastSignificant = 0;  // patch << 16 | tweak
};

enum class VersionReadStatus {
    Found,       // version holds the record's file version
    NoRecord,    // the file was opened but holds no readable record (not ELF, no section, damaged)
    CannotOpen,  // the file is missing, unreadable or not a regular file
};

// Looks the record up through the ELF section table of the file at path (32- or 64-bit, either
// byte order). Every offset and size taken from the file is checked against the file's size.
VersionReadStatus ReadFileVersion(const std::string& path, FileVersion& version);

// The four 16-bit parts, most significant first, in upper-case hexadecimal without leading zeros,
// joined by ".": 2.0.15.255 gives "2.0.F.FF".
std::string FormatFileVersion(const FileVersion& version);

}  // namespace tapwedge
