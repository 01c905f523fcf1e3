// Reading the version record back from program files: the test program itself (built with a
// record), the real program, a program holding only a look-alike, and hand-made ELF images.
#include <elf.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/program_version.h"
#include "core/version_record.h"
#include "temp_dir.h"

namespace {

using tapwedge::FileVersion;
using tapwedge::VersionReadStatus;
using tapwedge::test::TempDir;

// The version this test program is built with (tests/core/CMakeLists.txt).
constexpr FileVersion kOwnVersion{0x00020000, 0x000F00FF};

struct ReadResult {
    VersionReadStatus status;
    FileVersion version;
};

ReadResult Read(const std::string& path) {
    FileVersion version{0xDEAD, 0xBEEF};
    const auto status = tapwedge::ReadFileVersion(path, version);
    return {status, version};
}

TEST(ProgramVersion, ProgramFilesBuiltWithAndWithoutTheRecord) {
    const ReadResult own = Read("/proc/self/exe");
    ASSERT_EQ(own.status, VersionReadStatus::Found);
    EXPECT_EQ(own.version.MostSignificant, kOwnVersion.MostSignificant);
    EXPECT_EQ(own.version.LeastSignificant, kOwnVersion.LeastSignificant);

    // The program carries the project's version.
    const ReadResult program = Read(TAPWEDGE_PROGRAM_FILE);
    ASSERT_EQ(program.status, VersionReadStatus::Found);
    const std::uint32_t parts[] = {TAPWEDGE_PROGRAM_VERSION};
    EXPECT_EQ(program.version.MostSignificant, parts[0] << 16 | parts[1]);
    EXPECT_EQ(program.version.LeastSignificant, parts[2] << 16 | parts[3]);

    // The look-alike's bytes are in the file, but not in the version section.
    const auto lookAlike = tapwedge::MakeVersionRecord(9, 8, 7, 6);
    const std::string bytes = tapwedge::test::ReadAll(TAPWEDGE_LOOK_ALIKE_FILE);
    ASSERT_NE(bytes.find(std::string(reinterpret_cast<const char*>(&lookAlike), sizeof lookAlike)),
              std::string::npos);
    EXPECT_EQ(Read(TAPWEDGE_LOOK_ALIKE_FILE).status, VersionReadStatus::NoRecord);
}

TEST(ProgramVersion, FilesThatCannotBeOpened) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const std::string& path : {dir.File("missing"), dir.Folder(), dir.File("fifo")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Read(path).status, VersionReadStatus::CannotOpen);
    }
}

// A small ELF image: sections null, name table, version record; headers after the data.
struct ElfImage {
    bool is64 = true;
    bool bigEndian = false;
    std::string versionName = ".tapwedge.version";
    std::uint32_t versionType = SHT_PROGBITS;
    std::uint32_t recordSignature = tapwedge::kVersionRecordSignature;
    std::uint32_t recordSize = sizeof(tapwedge::VersionRecord);
    std::uint64_t versionSectionSize = sizeof(tapwedge::VersionRecord);
    std::uint64_t versionOffset = 0x140;
    std::uint64_t shoff = 0x200;
    std::uint64_t shnum = 3;
    std::uint64_t shstrndx = 1;
    std::uint32_t versionNameOffset = 11;  // after "\0.shstrtab\0"
    bool extendedNumbering = false;
    std::size_t cutTo = std::string::npos;

    void Put(std::string& out, std::size_t at, std::uint64_t value, std::size_t width) const {
        if (out.size() < at + width) out.resize(at + width, '\0');
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            out[at + i] = static_cast<char>(value >> shift);
        }
    }

    std::string Bytes() const {
        const std::size_t entry = is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
        std::string out(0x200 + 3 * entry, '\0');
        out.replace(0, 4, ELFMAG);
        out[EI_CLASS] = static_cast<char>(is64 ? ELFCLASS64 : ELFCLASS32);
        out[EI_DATA] = static_cast<char>(bigEndian ? ELFDATA2MSB : ELFDATA2LSB);
        out[EI_VERSION] = EV_CURRENT;
        const std::uint64_t count = extendedNumbering ? 0 : shnum;
        const std::uint64_t names = extendedNumbering ? SHN_XINDEX : shstrndx;
        if (is64) {
            Header<Elf64_Ehdr>(out, count, names, entry);
        } else {
            Header<Elf32_Ehdr>(out, count, names, entry);
        }
        const std::string nameTable = std::string("\0.shstrtab\0", 11) + versionName + '\0';
        out.replace(0x100, nameTable.size(), nameTable);
        Put(out, 0x140, recordSignature, 4);
        Put(out, 0x144, recordSize, 4);
        Put(out, 0x148, kOwnVersion.MostSignificant, 4);
        Put(out, 0x14C, kOwnVersion.LeastSignificant, 4);
        // Sections 1 and 2 name the data above; section 0 holds the extended counts.
        Section(out, 0, {0, SHT_NULL, 0, extendedNumbering ? shnum : 0,
                         extendedNumbering ? static_cast<std::uint32_t>(shstrndx) : 0});
        Section(out, 1, {1, SHT_STRTAB, 0x100, nameTable.size(), 0});
        Section(out, 2, {versionNameOffset, versionType, versionOffset, versionSectionSize, 0});
        if (cutTo < out.size()) out.resize(cutTo);
        return out;
    }

// Writes a field in the image's byte order, with the width the ELF headers give it.
#define PUT(out, at, type, field, value) Put(out, (at) + offsetof(type, field), value, sizeof(type::field))

    template <typename Ehdr>
    void Header(std::string& out, std::uint64_t count, std::uint64_t names, std::size_t entry) const {
        PUT(out, 0, Ehdr, e_shoff, shoff);
        PUT(out, 0, Ehdr, e_shentsize, entry);
        PUT(out, 0, Ehdr, e_shnum, count);
        PUT(out, 0, Ehdr, e_shstrndx, names);
    }

    struct SectionHeader {
        std::uint32_t name, type;
        std::uint64_t offset, size;
        std::uint32_t link;
    };
    template <typename Shdr>
    void SectionOf(std::string& out, std::size_t index, const SectionHeader& h) const {
        const std::size_t at = 0x200 + index * sizeof(Shdr);
        PUT(out, at, Shdr, sh_name, h.name);
        PUT(out, at, Shdr, sh_type, h.type);
        PUT(out, at, Shdr, sh_offset, h.offset);
        PUT(out, at, Shdr, sh_size, h.size);
        PUT(out, at, Shdr, sh_link, h.link);
    }
    void Section(std::string& out, std::size_t index, const SectionHeader& h) const {
        if (is64) {
            SectionOf<Elf64_Shdr>(out, index, h);
        } else {
            SectionOf<Elf32_Shdr>(out, index, h);
        }
    }
#undef PUT
};

TEST(ProgramVersion, HandMadeImages) {
    struct Case {
        const char* name;
        std::function<void(ElfImage&)> change;
        VersionReadStatus expected;
    };
    using S = VersionReadStatus;
    const Case cases[] = {
        {"64-bit little-endian", [](ElfImage&) {}, S::Found},
        {"32-bit little-endian", [](ElfImage& e) { e.is64 = false; }, S::Found},
        {"64-bit big-endian", [](ElfImage& e) { e.bigEndian = true; }, S::Found},
        {"32-bit big-endian", [](ElfImage& e) { e.is64 = false, e.bigEndian = true; }, S::Found},
        {"extended section numbering", [](ElfImage& e) { e.extendedNumbering = true; }, S::Found},
        {"longer record of a later build",
         [](ElfImage& e) { e.recordSize = 24, e.versionSectionSize = 24; }, S::Found},
        {"other section name", [](ElfImage& e) { e.versionName = ".tapwedge.versio"; }, S::NoRecord},
        {"longer section name", [](ElfImage& e) { e.versionName += "s"; }, S::NoRecord},
        {"no section table", [](ElfImage& e) { e.shoff = 0; }, S::NoRecord},
        {"section table past the end", [](ElfImage& e) { e.shoff = 0x10000; }, S::NoRecord},
        {"section table cut short", [](ElfImage& e) { e.cutTo = 0x200 + 2 * 64 + 6; }, S::NoRecord},
        {"record section past the end", [](ElfImage& e) { e.versionOffset = 0x2BC; },
         S::NoRecord},
        {"record section at a huge offset", [](ElfImage& e) { e.versionOffset = ~0ull - 4; },
         S::NoRecord},
        {"huge section count", [](ElfImage& e) { e.shnum = 0xFF00; }, S::NoRecord},
        {"name table index out of range", [](ElfImage& e) { e.shstrndx = 7; }, S::NoRecord},
        {"name offset past the name table", [](ElfImage& e) { e.versionNameOffset = 40; },
         S::NoRecord},
        {"name offset at the name table's last byte",
         [](ElfImage& e) { e.versionNameOffset = 28; }, S::NoRecord},
        {"record section without content", [](ElfImage& e) { e.versionType = SHT_NOBITS; },
         S::NoRecord},
        {"section shorter than a record", [](ElfImage& e) { e.versionSectionSize = 12; },
         S::NoRecord},
        {"record size too small", [](ElfImage& e) { e.recordSize = 12; }, S::NoRecord},
        {"wrong signature", [](ElfImage& e) { e.recordSignature ^= 1; }, S::NoRecord},
        {"header cut short", [](ElfImage& e) { e.cutTo = 40; }, S::NoRecord},
        {"empty file", [](ElfImage& e) { e.cutTo = 0; }, S::NoRecord},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ElfImage image;
        c.change(image);
        tapwedge::test::WriteAll(dir.File("image"), image.Bytes());
        const ReadResult result = Read(dir.File("image"));
        EXPECT_EQ(result.status, c.expected);
        if (c.expected == S::Found) {
            EXPECT_EQ(result.version.MostSignificant, kOwnVersion.MostSignificant);
            EXPECT_EQ(result.version.LeastSignificant, kOwnVersion.LeastSignificant);
        }
    }
}

TEST(ProgramVersion, NotElfFiles) {
    TempDir dir;
    const auto record = tapwedge::MakeVersionRecord(2, 0, 15, 255);
    const std::string recordBytes(reinterpret_cast<const char*>(&record), sizeof record);
    std::string badClass = ElfImage{}.Bytes();
    badClass[EI_CLASS] = 3;
    std::string badOrder = ElfImage{}.Bytes();
    badOrder[EI_DATA] = 0;
    for (const std::string& bytes :
         {recordBytes, std::string("Version 2.0.F.FF\n") + recordBytes, badClass, badOrder}) {
        tapwedge::test::WriteAll(dir.File("file"), bytes);
        EXPECT_EQ(Read(dir.File("file")).status, VersionReadStatus::NoRecord);
    }
}

TEST(ProgramVersion, TextOfTheFourParts) {
    struct Case {
        FileVersion version;
        const char* text;
    };
    const Case cases[] = {
        {{0x00020000, 0x000F00FF}, "2.0.F.FF"},
        {{0x00010002, 0x000A0000}, "1.2.A.0"},
        {{0, 0}, "0.0.0.0"},
        {{0xFFFFABCD, 0x10000001}, "FFFF.ABCD.1000.1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tapwedge::FormatFileVersion(c.version), c.text);
    }
}

}  // namespace
