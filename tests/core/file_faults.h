#pragma once
// Real ways to make file writes fail, also when the tests run as root (who ignores permission
// bits): run the write as an unprivileged user in a child process, or under a file size limit.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>

namespace tapwedge::test {

// Runs fn in a child process as user and group "nobody" (65534); gives fn's result (-128..127),
// or nothing when the child could not drop its privileges.
template <class Fn>
std::optional<int> RunUnprivileged(Fn fn) {
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
        ::_exit(static_cast<unsigned char>(static_cast<signed char>(fn())));
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
    if (WEXITSTATUS(status) == 200) return std::nullopt;
    return static_cast<signed char>(static_cast<unsigned char>(WEXITSTATUS(status)));
}

// Runs fn with writes limited to files of at most limit bytes: a write beyond fails with EFBIG.
template <class Fn>
auto WithFileSizeLimit(rlim_t limit, Fn fn) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    auto result = fn();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

}  // namespace tapwedge::test
