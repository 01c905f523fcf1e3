#pragma once
// Writing a file so that a failure does not damage the previous one: the bytes go to a new file in
// the same folder, which then replaces the old one by rename. Who may save stays as it was: a file
// the user may not write is refused, and a file the user may write but not replace (its folder is
// not writable, or it belongs to another user or group) is written in place.
#include <cstddef>
#include <string>

namespace tapwedge {

enum class ReplaceFileResult {
    Ok,
    CreateFailed,  // the file may not be written, or the new file could not be created or put in place
    WriteFailed,   // fewer bytes written than asked (full disk, size limit, I/O error)
};

// Writes size bytes as the new contents of path. A replaced file keeps its owner, group and
// permission bits; a new one gets 0666 less the umask. On failure no temporary file is left
// behind and the previous file (if any) is unchanged, except after a failed write in place.
ReplaceFileResult ReplaceFileContents(const std::string& path, const void* data, std::size_t size);

}  // namespace tapwedge
