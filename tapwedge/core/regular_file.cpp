#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tapwedge {

RegularFile::RegularFile(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        error_ = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error_ = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error_ = EINVAL;
    } else {
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool RegularFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
    if (!IsOpen() || offset > size_ || length > size_ - offset) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const ssize_t got = ::pread(fd_, out, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace tapwedge
