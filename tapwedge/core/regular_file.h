#pragma once
// A file opened for reading only when it is a regular file. Opening never waits: a named pipe
// without a writer or a device in a file's place is refused at once, so a stray FIFO called
// "Card.set" or "Wedgetap.ini" cannot hold the program.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tapwedge {

class RegularFile {
public:
    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // 0 when the file is open; otherwise why not (errno values): ENOENT no such file, EISDIR a
    // folder, EINVAL another kind of file, else the system's reason (EACCES...).
    int Error() const { return error_; }
    bool IsOpen() const { return error_ == 0; }
    // The size the file had when it was opened.
    std::uint64_t Size() const { return size_; }
    // Reads length bytes at offset; false unless they lie wholly inside the file and were read.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;

private:
    int fd_ = -1;
    int error_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace tapwedge
