#include "platform/single_instance.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceLockResult LockSingleInstance(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name + ".lock";

    // Read-only is enough for a lock, also in a folder that is no longer writable; never through
    // a link, and never blocking on something other than a file put in its place.
    const int fd =
        open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        const int error = errno;
        return {InstanceLock::Failed, path + ": " + std::strerror(error), error};
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return {InstanceLock::Failed, path + ": not a regular file", EINVAL};
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {InstanceLock::Acquired, {}, 0};

    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return {InstanceLock::AlreadyRunning, {}, 0};
    return {InstanceLock::Failed, path + ": " + std::strerror(error), error};
}

}  // namespace platform
