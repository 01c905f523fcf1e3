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

// Who may read the file once it is written.
enum class FileAccess {
    KeepMode,   // a replaced file keeps its permission bits; a new one gets 0666 less the umask
    OwnerOnly,  // the file is for its owner alone (0600), whatever the umask or its mode before:
                // settings, reader keys and card reads are no business of other local users
};

// Writes size bytes as the new contents of path. A replaced file keeps its owner and group, and
// its permission bits as access says (a file of another owner, written in place, keeps them in
// any case). On failure no temporary file is left behind and the previous file (if any) is
// unchanged, except after a failed write in place.
ReplaceFileResult ReplaceFileContents(const std::string& path, const void* data, std::size_t size,
                                     FileAccess access = FileAccess::KeepMode);

inline constexpr unsigned kOwnerOnlyFileMode = 0600;

}  // namespace tapwedge
