#pragma once
// An INI profile file: "[SECTION]" lines open sections, "KEY=value" lines give values. Section
// and key names match without regard to ASCII case; a value is the rest of the line after the
// first '=', without the blanks (spaces, tabs) around it. Lines end with "\n" or "\r\n"; a lone
// "\r" is part of the line. Lines starting with ';' or '#' are comments. Of duplicate sections or
// keys the first one counts. Writing changes only the lines of the keys written and keeps every
// other byte.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapwedge {

class ProfileFile {
public:
    // Reads the file; a missing or unreadable file gives an empty profile.
    static ProfileFile Load(const std::string& path);
    // Reads the file into profile. 0 when it was read whole; otherwise the profile is empty and
    // the result tells why (errno values): ENOENT no such file, EISDIR or EINVAL not a regular
    // file, EFBIG larger than a settings file is, else the system's reason (EACCES, EIO...).
    // A file that exists but cannot be read must not be written over from the empty profile.
    static int Read(const std::string& path, ProfileFile& profile);
    // Bytes above which a file is no settings file of this program.
    static constexpr std::size_t kMaxBytes = 1 << 20;
    // A profile from text (for building and comparing in memory).
    static ProfileFile FromText(std::string_view text);

    // The value of section/key, or nothing when the section or key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const;
    // The value as a decimal integer (surrounding blanks allowed); anything else, or a value out
    // of 32-bit range, gives defaultValue.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;

    // Sets section/key to value: replaces the value of an existing key in place, adds the key at
    // the end of its section, or adds the section at the end of the file. A value that would read
    // back otherwise (one holding a "\n", or with blanks at either end) is not written: false.
    // A "\r" in it is kept.
    bool Write(std::string_view section, std::string_view key, std::string_view value);
    // Whether value reads back as written.
    static bool ReadsBack(std::string_view value);

    // True when a Write changed the text since Load.
    bool Modified() const { return modified_; }
    std::string Text() const;

    // Writes the text to path by replacing the file (see replace_file.h), for its user alone
    // (0600). Returns false on failure; the previous file is then unchanged.
    bool Save(const std::string& path) const;

private:
    struct Line {
        std::string text;   // without the line end
        bool crlf = false;  // ended by "\r\n" rather than "\n"
    };
    // A section: its header line and the index after its last line.
    struct SectionRange {
        std::size_t header;
        std::size_t end;
    };
    std::optional<SectionRange> FindSection(std::string_view section) const;
    // The line end written after a line: its own, or "\r\n" when its text ends with "\r".
    static const char* LineEnd(const Line& line);
    // Gives the last line a line end before lines are added after it.
    void EndLastLine();
    std::optional<std::size_t> FindKey(const SectionRange& range, std::string_view key) const;

    std::vector<Line> lines_;
    bool finalLineEnd_ = true;  // the last line was ended by a line break
    bool useCrlf_ = false;      // line end for new lines, taken from the file
    bool modified_ = false;
};

// Parses a whole value as a decimal integer with optional sign and surrounding blanks.
std::optional<std::int32_t> ParseDecimal(std::string_view text);

}  // namespace tapwedge
