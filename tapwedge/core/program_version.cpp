#include "core/program_version.h"

#include <elf.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/regular_file.h"
#include "core/version_record.h"

namespace tapwedge {
namespace {

// Integers in the file's byte order.
std::uint64_t Decode(const unsigned char* bytes, std::size_t width, bool bigEndian) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t index = bigEndian ? i : width - 1 - i;
        value = value << 8 | bytes[index];
    }
    return value;
}

#define FIELD(record, field) offsetof(record, field), sizeof(record::field)

struct FieldPos {
    std::size_t offset;
    std::size_t width;
};

// Where the fields of the headers lie in one ELF class.
struct Layout {
    std::size_t headerSize;
    FieldPos shoff, shentsize, shnum, shstrndx;
    std::size_t sectionSize;
    FieldPos name, type, offset, size, link;
};

template <typename Ehdr, typename Shdr>
constexpr Layout LayoutOf() {
    return {sizeof(Ehdr),
            {FIELD(Ehdr, e_shoff)},
            {FIELD(Ehdr, e_shentsize)},
            {FIELD(Ehdr, e_shnum)},
            {FIELD(Ehdr, e_shstrndx)},
            sizeof(Shdr),
            {FIELD(Shdr, sh_name)},
            {FIELD(Shdr, sh_type)},
            {FIELD(Shdr, sh_offset)},
            {FIELD(Shdr, sh_size)},
            {FIELD(Shdr, sh_link)}};
}

#undef FIELD

constexpr Layout kElf32 = LayoutOf<Elf32_Ehdr, Elf32_Shdr>();
constexpr Layout kElf64 = LayoutOf<Elf64_Ehdr, Elf64_Shdr>();

struct Section {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

class SectionTable {
public:
    SectionTable(const RegularFile& file, const Layout& layout, bool bigEndian)
        : file_(file), layout_(layout), bigEndian_(bigEndian) {}

    bool Load() {
        std::array<unsigned char, sizeof(Elf64_Ehdr)> header{};
        if (!file_.ReadAt(0, header.data(), layout_.headerSize)) return false;
        offset_ = Field(header.data(), layout_.shoff);
        const auto entrySize = Field(header.data(), layout_.shentsize);
        count_ = Field(header.data(), layout_.shnum);
        std::uint64_t names = Field(header.data(), layout_.shstrndx);
        if (offset_ == 0 || entrySize < layout_.sectionSize) return false;
        entrySize_ = entrySize;
        // Extended numbering: the real count and name-table index are kept in section 0.
        if (count_ == 0 || names == SHN_XINDEX) {
            const auto first = At(0);
            if (!first) return false;
            if (count_ == 0) count_ = first->size;
            if (names == SHN_XINDEX) names = first->link;
        }
        // The whole table must lie inside the file.
        if (offset_ > file_.Size() || count_ > (file_.Size() - offset_) / entrySize_) return false;
        const auto nameTable = names < count_ ? At(names) : std::nullopt;
        if (!nameTable || nameTable->type == SHT_NOBITS) return false;
        names_ = *nameTable;
        return true;
    }

    std::uint64_t Count() const { return count_; }

    std::optional<Section> At(std::uint64_t index) const {
        if (index > (UINT64_MAX - offset_) / entrySize_) return std::nullopt;
        std::array<unsigned char, sizeof(Elf64_Shdr)> raw{};
        if (!file_.ReadAt(offset_ + index * entrySize_, raw.data(), layout_.sectionSize)) {
            return std::nullopt;
        }
        Section section;
        section.name = static_cast<std::uint32_t>(Field(raw.data(), layout_.name));
        section.type = static_cast<std::uint32_t>(Field(raw.data(), layout_.type));
        section.offset = Field(raw.data(), layout_.offset);
        section.size = Field(raw.data(), layout_.size);
        section.link = static_cast<std::uint32_t>(Field(raw.data(), layout_.link));
        return section;
    }

    // True when the section's name in the name table is exactly name.
    bool HasName(const Section& section, const char* name, std::size_t length) const {
        // The name and its terminating NUL must lie inside the name table.
        if (section.name >= names_.size || length + 1 > names_.size - section.name ||
            names_.offset > UINT64_MAX - section.name) {
            return false;
        }
        std::array<char, 64> stored{};
        if (length + 1 > stored.size()) return false;
        return file_.ReadAt(names_.offset + section.name, stored.data(), length + 1) &&
               std::memcmp(stored.data(), name, length + 1) == 0;
    }

private:
    std::uint64_t Field(const unsigned char* base, FieldPos field) const {
        return Decode(base + field.offset, field.width, bigEndian_);
    }

    const RegularFile& file_;
    const Layout& layout_;
    bool bigEndian_;
    std::uint64_t offset_ = 0;
    std::uint64_t entrySize_ = 0;
    std::uint64_t count_ = 0;
    Section names_;
};

bool FindRecord(const RegularFile& file, FileVersion& version) {
    unsigned char ident[EI_NIDENT] = {};
    if (!file.ReadAt(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
        return false;
    }
    const Layout* layout = ident[EI_CLASS] == ELFCLASS64   ? &kElf64
                           : ident[EI_CLASS] == ELFCLASS32 ? &kElf32
                                                           : nullptr;
    if (layout == nullptr || (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB)) {
        return false;
    }
    const bool bigEndian = ident[EI_DATA] == ELFDATA2MSB;
    SectionTable table(file, *layout, bigEndian);
    if (!table.Load()) return false;

    constexpr std::size_t nameLength = sizeof kVersionSectionName - 1;
    for (std::uint64_t i = 1; i < table.Count(); ++i) {
        const auto section = table.At(i);
        if (!section) return false;
        if (!table.HasName(*section, kVersionSectionName, nameLength)) continue;
        unsigned char raw[sizeof(VersionRecord)] = {};
        if (section->type == SHT_NOBITS || section->size < sizeof raw ||
            !file.ReadAt(section->offset, raw, sizeof raw)) {
            return false;
        }
        const auto word = [&](std::size_t offset) {
            return static_cast<std::uint32_t>(Decode(raw + offset, 4, bigEndian));
        };
        if (word(offsetof(VersionRecord, Signature)) != kVersionRecordSignature ||
            word(offsetof(VersionRecord, RecordSize)) < sizeof raw) {
            return false;
        }
        version.MostSignificant = word(offsetof(VersionRecord, FileVersionMS));
        version.LeastSignificant = word(offsetof(VersionRecord, FileVersionLS));
        return true;
    }
    return false;
}

}  // namespace

VersionReadStatus ReadFileVersion(const std::string& path, FileVersion& version) {
    RegularFile file(path);
    if (!file.IsOpen()) return VersionReadStatus::CannotOpen;
    return FindRecord(file, version) ? VersionReadStatus::Found : VersionReadStatus::NoRecord;
}

std::string FormatFileVersion(const FileVersion& version) {
    char text[sizeof "FFFF.FFFF.FFFF.FFFF"];
    std::snprintf(text, sizeof text, "%X.%X.%X.%X", version.MostSignificant >> 16,
                  version.MostSignificant & 0xFFFFu, version.LeastSignificant >> 16,
                  version.LeastSignificant & 0xFFFFu);
    return text;
}

}  // namespace tapwedge
