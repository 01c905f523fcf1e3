#include "core/csv_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace tapwedge {
namespace {

// How long another writer may hold the file before this line is given up (the user-interface
// thread waits meanwhile, so keep it short).
constexpr int kLockWaitMs = 100;
constexpr mode_t kPrivateMode = 0600;

template <std::size_t N>
std::int32_t TextLength(std::int32_t length, const std::uint8_t (&)[N]) {
    return std::clamp<std::int32_t>(length, 0, static_cast<std::int32_t>(N));
}

bool LockExclusive(int fd) {
    for (int waited = 0;; ++waited) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (waited >= kLockWaitMs) return false;
        platform::SleepMs(1);
    }
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens the file for appending, creating it when it is missing. Card identifiers are personal
// data: a new file is for its user alone, whatever the umask; an existing one keeps its mode
// (its user may have shared it on purpose).
int OpenForAppend(const std::string& path) {
    constexpr int kAppend = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = open(path.c_str(), kAppend);
        if (fd >= 0 || errno != ENOENT) return fd;
        const int made = open(path.c_str(), kAppend | O_CREAT | O_EXCL, kPrivateMode);
        if (made >= 0) {
            (void)fchmod(made, kPrivateMode);
            return made;
        }
        if (errno != EEXIST) return -1;  // else made by another writer meanwhile: open it
    }
    return -1;
}

}  // namespace

int KeepPrintable(std::uint8_t* destination, const std::uint8_t* source, std::int32_t length) {
    int copied = 0;
    for (std::int32_t i = 0; i < length; ++i)
        if (source[i] >= 0x20 && source[i] <= 0x7F) destination[copied++] = source[i];
    return copied;
}

int AppendCsvLine(const OutputItems& items, const OutputOptions& options,
                  const CardIdRecord& cardId, const CardDataRecord& cardData) {
    const std::int32_t idLength = TextLength(cardId.Length, cardId.Bytes);
    const std::int32_t dataLength = TextLength(cardData.Length, cardData.Bytes);

    std::int32_t area1 = 0, area2 = 0;
    if (items[1].Length <= 0) {
        area1 = dataLength;
    } else {
        area1 = std::min(items[1].Length, dataLength);
        area2 = std::clamp(items[2].Length, 0, dataLength - area1);
    }

    std::vector<std::uint8_t> line(static_cast<std::size_t>(idLength + dataLength + 32));
    std::size_t n = 0;
    std::copy_n(cardId.Bytes, idLength, line.data());
    n += static_cast<std::size_t>(idLength);
    line[n++] = ',';
    n += static_cast<std::size_t>(KeepPrintable(line.data() + n, cardData.Bytes, area1));
    line[n++] = ',';
    n += static_cast<std::size_t>(KeepPrintable(line.data() + n, cardData.Bytes + area1, area2));
    line[n++] = '\n';

    const std::string path = options.CsvFolder + options.CsvFileName;
    const Fd file(OpenForAppend(path));
    if (file.get() < 0 || !LockExclusive(file.get())) return -1;

    struct stat before {};
    const bool sized = fstat(file.get(), &before) == 0 && S_ISREG(before.st_mode);
    // The rest of a short write is tried too: its failure tells why (a full disk, a size limit).
    std::size_t written = 0;
    while (written < n) {
        const ssize_t count = write(file.get(), line.data() + written, n - written);
        if (count < 0 && errno == EINTR) continue;
        if (count == 0) errno = EIO;
        if (count <= 0) break;
        written += static_cast<std::size_t>(count);
    }
    if (written == n) return 0;
    const int error = errno;
    // Take back a partial line, so that the next line does not run into it.
    if (written > 0 && sized) {
        const int rc = ftruncate(file.get(), before.st_size);
        (void)rc;
    }
    errno = error;
    return -1;
}

}  // namespace tapwedge
