#pragma once
// A folder of the fuzz process for the files it writes: in $TAPWEDGE_FUZZ_SCRATCH (which
// scripts/fuzz sets), else in memory where the system offers it (/dev/shm); removed when the
// process ends normally.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzz_rig {

class ScratchFolder {
public:
    // The folder, ending with '/'.
    static const std::string& Path() {
        static ScratchFolder folder;
        return folder.path_;
    }

private:
    ScratchFolder() {
        const char* base = std::getenv("TAPWEDGE_FUZZ_SCRATCH");
        if (base == nullptr) base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        std::string pattern = std::string(base ? base : "/tmp") + "/tapwedge-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace fuzz_rig
