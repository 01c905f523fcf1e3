// LoadSettings, SaveSettings (any section mask) and LoadSettings again on an arbitrary INI file:
// the same settings come back, and of the keys that were not written every value is kept, and
// every line but those of the keys written stays as it was (a line end may be added to the last
// line; new sections come at the end). The file is read by a plain reader of the profile format
// here, independently of the program's.
#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/settings_io.h"
#include "rig/fuzz_check.h"
#include "rig/scratch_folder.h"

namespace {

using tapwedge::AppSettings;

struct Line {
    std::string text;
    bool crlf = false;
    bool ended = true;  // followed by a line end
};

struct Entry {
    std::string section;  // lower case; empty before the first section
    std::string key;      // lower case
    std::string value;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// Lines end with "\n" or "\r\n".
std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t newline = text.find('\n', pos);
        Line line;
        if (newline == std::string::npos) {
            line.text = text.substr(pos);
            line.ended = false;
            lines.push_back(line);
            break;
        }
        line.text = text.substr(pos, newline - pos);
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.crlf = true;
        }
        lines.push_back(line);
        pos = newline + 1;
    }
    return lines;
}

std::optional<std::string> SectionOf(std::string_view text, bool first) {
    if (first && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    text = Trim(text);
    if (text.size() < 2 || text.front() != '[') return std::nullopt;
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Lower(Trim(text.substr(1, close - 1)));
}

// The key line a line is, in its section.
std::optional<Entry> EntryOf(std::string_view text, const std::string& section) {
    const std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#')) return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return Entry{section, Lower(Trim(text.substr(0, equals))), std::string(Trim(text.substr(equals + 1)))};
}

// Each line's key entry (or none), by the sections the lines stand in.
std::vector<std::optional<Entry>> Entries(const std::vector<Line>& lines) {
    std::vector<std::optional<Entry>> entries;
    std::string section;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionOf(lines[i].text, i == 0)) {
            section = *name;
            entries.emplace_back();
            continue;
        }
        entries.push_back(EntryOf(lines[i].text, section));
    }
    return entries;
}

using Key = std::pair<std::string, std::string>;

std::set<Key> WrittenKeys(int mask) {
    std::set<Key> keys;
    if (mask & tapwedge::kSaveOutputSettings) {
        for (const char* area : {"parameter1", "parameter2"}) {
            keys.insert({area, "enabled"});
            keys.insert({area, "segment"});
        }
        for (const char* key : {"position", "enabled", "segment"}) keys.insert({"cardid", key});
        for (const char* key : {"beep", "replacekey", "uiddisp", "keyemu", "log", "path", "file", "waittime",
                                "upperlowerchange", "start"}) {
            keys.insert({"parameter", key});
        }
    }
    if (mask & (tapwedge::kSaveCardFile | tapwedge::kSaveCommunication)) keys.insert({"card", "file"});
    if (mask & tapwedge::kSaveCommunication) {
        keys.insert({"comunication", "com"});
        keys.insert({"comunication", "authentication"});
    }
    return keys;
}

// The first field in which two settings differ, or nothing.
const char* Difference(const AppSettings& a, const AppSettings& b) {
    const auto& ca = a.CommSettings;
    const auto& cb = b.CommSettings;
    if (ca.ComPort != cb.ComPort || ca.AuthMethod != cb.AuthMethod || ca.CommMode != cb.CommMode) return "CommSettings";
    for (int i = 0; i < 4; ++i) {
        if (a.OutputItems[i].Enabled != b.OutputItems[i].Enabled) return "OutputItem Enabled";
        if (a.OutputItems[i].Separator != b.OutputItems[i].Separator) return "OutputItem Separator";
    }
    const auto& oa = a.OutputOptions;
    const auto& ob = b.OutputOptions;
    if (oa.Beep != ob.Beep || oa.UidNormalOrder != ob.UidNormalOrder || oa.KeyboardOutput != ob.KeyboardOutput ||
        oa.FileOutput != ob.FileOutput || oa.StartStopped != ob.StartStopped || oa.CaseSwitch != ob.CaseSwitch) {
        return "OutputOptions switches";
    }
    if (oa.CsvFolder != ob.CsvFolder) return "CsvFolder";
    if (oa.CsvFileName != ob.CsvFileName) return "CsvFileName";
    if (oa.WaitTime != ob.WaitTime) return "WaitTime";
    if (oa.ReplaceKey != ob.ReplaceKey) return "ReplaceKey";
    if (a.CardFileName != b.CardFileName) return "CardFileName";
    if (a.CardDialogFlags != b.CardDialogFlags || a.CommDialogMode != b.CommDialogMode) return "dialog flags";
    if (a.PollingStopped != b.PollingStopped) return "PollingStopped";
    if (a.Menu.View != b.Menu.View || a.Menu.SettingsItems != b.Menu.SettingsItems) return "Menu";
    return nullptr;
}

AppSettings Load(const std::string& folder) {
    AppSettings settings = AppSettings::Defaults(folder);
    tapwedge::LoadSettings(settings, tapwedge::kIniFileName, folder);
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int mask = in.ConsumeIntegralInRange(0, 7);
    const std::string original = in.ConsumeRemainingBytesAsString();
    const std::string& folder = fuzz_rig::ScratchFolder::Path();
    const std::string path = folder + tapwedge::kIniFileName;
    fuzz_rig::WriteFile(path, original);

    const AppSettings loaded = Load(folder);
    tapwedge::SaveSettings(loaded, mask, tapwedge::kIniFileName, folder);
    const std::string saved = fuzz_rig::ReadFile(path);
    const AppSettings again = Load(folder);
    if (const char* field = Difference(loaded, again)) fuzz_rig::Fail(__FILE__, __LINE__, field);

    // Every value of a key not written is kept, in order.
    const std::set<Key> written = WrittenKeys(mask);
    const std::vector<Line> before = Lines(original);
    const std::vector<Line> after = Lines(saved);
    const auto entriesBefore = Entries(before);
    const auto entriesAfter = Entries(after);
    const auto kept = [&](const std::vector<std::optional<Entry>>& entries) {
        std::vector<Entry> values;
        for (const auto& e : entries) {
            if (e && written.count({e->section, e->key}) == 0) values.push_back(*e);
        }
        return values;
    };
    const std::vector<Entry> valuesBefore = kept(entriesBefore);
    const std::vector<Entry> valuesAfter = kept(entriesAfter);
    FUZZ_CHECK(valuesBefore.size() == valuesAfter.size(), "keys not written were added or lost");
    for (std::size_t i = 0; i < valuesBefore.size(); ++i) {
        FUZZ_CHECK(valuesBefore[i].section == valuesAfter[i].section && valuesBefore[i].key == valuesAfter[i].key &&
                       valuesBefore[i].value == valuesAfter[i].value,
                   "the value of a key not written changed");
    }

    // Every other line stays, with its line end; after them come only new section headers.
    const auto others = [&](const std::vector<Line>& lines, const std::vector<std::optional<Entry>>& entries) {
        std::vector<Line> out;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!entries[i] || written.count({entries[i]->section, entries[i]->key}) == 0) out.push_back(lines[i]);
        }
        return out;
    };
    const std::vector<Line> linesBefore = others(before, entriesBefore);
    const std::vector<Line> linesAfter = others(after, entriesAfter);
    FUZZ_CHECK(linesAfter.size() >= linesBefore.size(), "lines were lost");
    for (std::size_t i = 0; i < linesBefore.size(); ++i) {
        FUZZ_CHECK(linesBefore[i].text == linesAfter[i].text, "a line not written changed");
        if (linesBefore[i].ended) {
            FUZZ_CHECK(linesAfter[i].ended && linesBefore[i].crlf == linesAfter[i].crlf, "a line end changed");
        }
    }
    std::set<std::string> sections;
    for (const Key& k : written) sections.insert(k.first);
    for (std::size_t i = linesBefore.size(); i < linesAfter.size(); ++i) {
        const auto name = SectionOf(linesAfter[i].text, false);
        FUZZ_CHECK(name && sections.count(*name) == 1, "a line added that is no section of the keys written");
    }
    return 0;
}
