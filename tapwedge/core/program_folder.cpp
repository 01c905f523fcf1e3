#include "core/program_folder.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace tapwedge {

std::string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return "./";
    return WithTrailingSeparator(exe.parent_path().string());
}

bool IsExistingFolder(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

}  // namespace tapwedge
