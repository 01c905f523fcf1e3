#pragma once
// Writing a file so that a failure never damages the previous one: the bytes go to a new file in
// the same folder, which then replaces the old one by rename.
#include <cstddef>
#include <string>

namespace tapwedge {

enum class ReplaceFileResult {
    Ok,
    CreateFailed,  // the new file could not be created, or could not be put in place
    WriteFailed,   // fewer bytes written than asked (full disk, size limit, I/O error)
};

// Writes size bytes as the new contents of path. A replaced file keeps its permission bits;
// a new one gets 0666 less the umask. On failure the previous file (if any) is unchanged and
// no temporary file is left behind.
ReplaceFileResult ReplaceFileContents(const std::string& path, const void* data, std::size_t size);

}  // namespace tapwedge
