#include "core/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace tapwedge {
namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Bytes of the file's own name kept in the temporary name, so that the temporary name stays
// within the 255 bytes a folder entry may have even beside a file whose name uses them all.
constexpr std::size_t kTempNameStem = 64;

// Creates a new, empty file beside path; returns its descriptor or -1.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix = FolderOf(path) + "." + BaseNameOf(path).substr(0, kTempNameStem) +
                               ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ReplaceFileResult ReplaceFileContents(const std::string& givenPath, const void* data,
                                     std::size_t size) {
    if (givenPath.empty() || givenPath.back() == '/') return ReplaceFileResult::CreateFailed;
    // A symbolic link stays a link: its target is the file replaced.
    std::string path = givenPath;
    struct stat link{};
    if (::lstat(givenPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(givenPath.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    std::string tempPath;
    const int fd = CreateTemporaryBeside(path, tempPath);
    if (fd < 0) return ReplaceFileResult::CreateFailed;

    struct stat old{};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    const bool written = WriteAll(fd, static_cast<const unsigned char*>(data), size) &&
                         ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(tempPath.c_str());
        return ReplaceFileResult::WriteFailed;
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return ReplaceFileResult::CreateFailed;
    }
    return ReplaceFileResult::Ok;
}

}  // namespace tapwedge
