#include "core/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "core/replace_file.h"

namespace tapwedge {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The section name of a "[NAME]" line, if it is one.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

}  // namespace

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

ProfileFile ProfileFile::Load(const std::string& path) {
    ProfileFile profile;
    (void)Read(path, profile);
    return profile;
}

int ProfileFile::Read(const std::string& path, ProfileFile& profile) {
    profile = ProfileFile{};
    // Not blocking: a FIFO in its place must not hold the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st{};
    if (::fstat(fd, &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxBytes) return EFBIG;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxBytes) return EFBIG;  // grew while read
    }
    profile = FromText(text);
    return 0;
}

ProfileFile ProfileFile::FromText(std::string_view text) {
    ProfileFile profile;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto newline = text.find('\n', pos);
        std::string_view piece = text.substr(pos, newline == std::string_view::npos
                                                      ? std::string_view::npos
                                                      : newline - pos);
        Line line;
        if (newline != std::string_view::npos && !piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
            line.crlf = true;
        }
        line.text = std::string(piece);
        profile.lines_.push_back(std::move(line));
        if (newline == std::string_view::npos) {
            profile.finalLineEnd_ = false;
            break;
        }
        pos = newline + 1;
    }
    profile.useCrlf_ = !profile.lines_.empty() && profile.lines_.front().crlf;
    return profile;
}

std::optional<ProfileFile::SectionRange> ProfileFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view text = lines_[i].text;
        if (i == 0 && text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
        const auto name = SectionName(text);
        if (!name || !EqualNoCase(*name, Trim(section))) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !SectionName(lines_[end].text)) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> ProfileFile::FindKey(const SectionRange& range,
                                                std::string_view key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const std::string_view text = lines_[i].text;
        if (IsComment(text)) continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (EqualNoCase(Trim(text.substr(0, equals)), Trim(key))) return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
    const auto range = FindSection(section);
    if (!range) return std::nullopt;
    const auto index = FindKey(*range, key);
    if (!index) return std::nullopt;
    const std::string_view text = lines_[*index].text;
    return std::string(Trim(text.substr(text.find('=') + 1)));
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultText) const {
    auto value = Find(section, key);
    return value ? std::move(*value) : std::string(defaultText);
}

std::int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
    const auto value = Find(section, key);
    if (!value) return defaultValue;
    return ParseDecimal(*value).value_or(defaultValue);
}

bool ProfileFile::ReadsBack(std::string_view value) {
    return value.find('\n') == std::string_view::npos && Trim(value) == value;
}

bool ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    if (!ReadsBack(value)) return false;
    const auto range = FindSection(section);
    if (range) {
        if (const auto index = FindKey(*range, key)) {
            Line& line = lines_[*index];
            const std::size_t equals = line.text.find('=');
            // The same value, however spaced, leaves the line as it is.
            if (Trim(std::string_view(line.text).substr(equals + 1)) == value) return true;
            // Keep the key as the file spells it; only the value changes.
            line.text = line.text.substr(0, equals + 1).append(value);
            modified_ = true;
            return true;
        }
        // After the section's last non-blank line, so that blank lines stay before the next one.
        std::size_t at = range->end;
        while (at > range->header + 1 && Trim(lines_[at - 1].text).empty()) --at;
        if (at == lines_.size()) EndLastLine();
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                      Line{std::string(key) + "=" + std::string(value), useCrlf_});
        modified_ = true;
        return true;
    }
    EndLastLine();
    lines_.push_back(Line{"[" + std::string(section) + "]", useCrlf_});
    lines_.push_back(Line{std::string(key) + "=" + std::string(value), useCrlf_});
    modified_ = true;
    return true;
}

const char* ProfileFile::LineEnd(const Line& line) {
    // Before a lone "\n" a "\r" that ends the text would read as part of the line end.
    return line.crlf || line.text.ends_with('\r') ? "\r\n" : "\n";
}

void ProfileFile::EndLastLine() {
    if (!finalLineEnd_ && !lines_.empty()) lines_.back().crlf = useCrlf_;
    finalLineEnd_ = true;
}

std::string ProfileFile::Text() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].text;
        if (i + 1 < lines_.size() || finalLineEnd_) text += LineEnd(lines_[i]);
    }
    return text;
}

bool ProfileFile::Save(const std::string& path) const {
    const std::string text = Text();
    return ReplaceFileContents(path, text.data(), text.size(), FileAccess::OwnerOnly) ==
           ReplaceFileResult::Ok;
}

}  // namespace tapwedge
