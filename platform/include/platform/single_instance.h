#pragma once
// One running copy of a program per user: an exclusive lock on a file named after the program,
// released by the system when the process ends, however it ends.
#include <string>

namespace platform {

enum class InstanceLock {
    Acquired,        // this process is the only copy; keep the lock for the process's life
    AlreadyRunning,  // another process holds the lock
    Failed,          // the lock file cannot be opened or locked; the error says why
};

struct InstanceLockResult {
    InstanceLock State = InstanceLock::Failed;
    std::string Error;     // with the lock file's path
    int ErrorNumber = 0;   // errno of a failure
};

// Locks folder/name.lock (created with mode 0600 when missing, never through a symbolic link,
// and only when it is a regular file). The descriptor stays open on success and is closed
// otherwise.
InstanceLockResult LockSingleInstance(const std::string& folder, const std::string& name);

}  // namespace platform
