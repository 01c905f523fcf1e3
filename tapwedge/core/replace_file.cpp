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

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Creates a new, empty file beside path; returns its descriptor or -1.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix = FolderOf(path) + "." + BaseNameOf(path).substr(0, kTempNameStem) +
                               ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
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

// Writes the new contents over the old ones in the file itself, then cuts it to their length.
// Used when the file may be written but not replaced; a failure may leave it damaged.
ReplaceFileResult WriteInPlace(int fd, const unsigned char* data, std::size_t size,
                               FileAccess access) {
    // Only the owner may change the mode: another owner's file keeps its own.
    if (access == FileAccess::OwnerOnly) (void)::fchmod(fd, kOwnerOnlyFileMode);
    const bool written = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, data, size) &&
                         ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    return written ? ReplaceFileResult::Ok : ReplaceFileResult::WriteFailed;
}

}  // namespace

ReplaceFileResult ReplaceFileContents(const std::string& givenPath, const void* data,
                                     std::size_t size, FileAccess access) {
    if (givenPath.empty() || givenPath.back() == '/') return ReplaceFileResult::CreateFailed;
    const auto* bytes = static_cast<const unsigned char*>(data);
    // A symbolic link stays a link: its target is the file replaced.
    std::string path = givenPath;
    struct stat link{};
    if (::lstat(givenPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(givenPath.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }

    // Saving must not change who may save: a file the user may not write is not replaced, and
    // one the user may write is written even where no file may be created beside it.
    struct stat old{};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return ReplaceFileResult::CreateFailed;
    const Descriptor target(exists ? ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY) : -1);
    if (exists && target.get() < 0) return ReplaceFileResult::CreateFailed;

    std::string tempPath;
    const int fd = CreateTemporaryBeside(
        path, tempPath, access == FileAccess::OwnerOnly ? kOwnerOnlyFileMode : 0666);
    if (fd < 0) {
        return exists ? WriteInPlace(target.get(), bytes, size, access)
                      : ReplaceFileResult::CreateFailed;
    }
    if (exists) {
        // The new file takes the old one's owner and group, or the old file is written in place
        // (another user's file, a group the user is not in).
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            return WriteInPlace(target.get(), bytes, size, access);
        }
    }
    // Set from the descriptor, before any byte is written: the umask has no say, and the bytes
    // are never readable by others on the way.
    const mode_t mode = access == FileAccess::OwnerOnly ? kOwnerOnlyFileMode
                        : exists                        ? (old.st_mode & 07777)
                                                        : 0;
    if (mode != 0) (void)::fchmod(fd, mode);
    const bool written = WriteAll(fd, bytes, size) && ::fsync(fd) == 0;
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
