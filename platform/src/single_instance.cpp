#include "platform/single_instance.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

InstanceLockResult LockSingleInstance(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name + ".lock";

    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return {InstanceLock::Failed, path + ": " + std::strerror(errno)};
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {InstanceLock::Acquired, {}};

    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return {InstanceLock::AlreadyRunning, {}};
    return {InstanceLock::Failed, path + ": " + std::strerror(error)};
}

}  // namespace platform
