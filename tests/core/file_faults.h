#pragma once
// Real ways to make file writes fail, also when the tests run as root (who ignores permission
// bits): run the write as an unprivileged user in a child process, or under a file size limit.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>

#include <sys/time.h>

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

// Guards a step that must not block on a file: should the step still be waiting after
// `seconds`, a timer signal interrupts the blocking call (such as opening a named pipe that no
// one writes to) so that the test goes on, and Fired() tells that the step blocked.
class BlockingGuard {
public:
    explicit BlockingGuard(int seconds = 3) {
        fired_ = 0;
        struct sigaction action{};
        action.sa_handler = [](int) { fired_ = 1; };
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no restart: the blocked call returns with EINTR
        ::sigaction(SIGALRM, &action, &old_);
        itimerval timer{};
        timer.it_value.tv_sec = seconds;
        timer.it_interval.tv_sec = 1;  // again, should the step block once more
        ::setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~BlockingGuard() {
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &old_, nullptr);
    }
    BlockingGuard(const BlockingGuard&) = delete;
    BlockingGuard& operator=(const BlockingGuard&) = delete;

    bool Fired() const { return fired_ != 0; }

private:
    static inline volatile std::sig_atomic_t fired_ = 0;
    struct sigaction old_{};
};

}  // namespace tapwedge::test
