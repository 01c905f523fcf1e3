#include "core/param_file_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace tapwedge {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

// Only a regular file can hold card parameters: reading a named pipe would wait for a writer, and
// a device or a folder is none. A link counts as what it leads to.
bool IsRegularFile(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_REG) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat info {};
    return ::fstatat(::dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string_view FileExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

bool HasParamFileExtension(std::string_view name) {
    return EqualIgnoringCase(FileExtension(name), kParamFileExtension);
}

std::string WithParamFileExtension(std::string_view name) {
    std::string result(name.substr(0, name.size() - FileExtension(name).size()));
    result += kParamFileExtension;
    return result;
}

int ListParamFileNames(const std::string& folder, std::vector<std::string>& names) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return -1;
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (HasParamFileExtension(entry->d_name) && IsRegularFile(dir.get(), *entry)) {
            found.emplace_back(entry->d_name);
        }
    }
    names.insert(names.end(), found.begin(), found.end());
    return 0;
}

int FindNameIgnoringCase(const std::vector<std::string>& names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (EqualIgnoringCase(names[i], name)) return static_cast<int>(i);
    }
    return -1;
}

int FindListedName(const std::vector<std::string>& names, std::string_view name) {
    const auto exact = std::find(names.begin(), names.end(), name);
    if (exact != names.end()) return static_cast<int>(exact - names.begin());
    return FindNameIgnoringCase(names, name);
}

bool IsSavableParamFileName(std::string_view name, std::size_t maxBytes) {
    const std::string_view stem = name.substr(0, name.size() - FileExtension(name).size());
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
           name.size() <= maxBytes && stem.find_first_not_of(" \t") != std::string_view::npos;
}

}  // namespace tapwedge
