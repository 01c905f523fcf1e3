#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace rig {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name)) out.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (value != kUnset) out.push_back(name + "=" + value);
    return out;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if ((options.capture_stdout && pipe2(outPipe, O_CLOEXEC) != 0) ||
        (options.capture_stderr && pipe2(errPipe, O_CLOEXEC) != 0))
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.capture_stdout) posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    else if (!options.stdout_file.empty())
        posix_spawn_file_actions_addopen(&actions, 1, options.stdout_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (options.capture_stderr) posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    else if (!options.stderr_file.empty())
        posix_spawn_file_actions_addopen(&actions, 2, options.stderr_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!options.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());

    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<std::string> env = EnvironmentWith(options.environment);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    // The child starts with no signal blocked, whatever the caller's threads block.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    if (posix_spawnp(&pid_, argp[0], &actions, &attributes, argp.data(), envp.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (options.capture_stdout) {
        close(outPipe[1]);
        out_ = outPipe[0];
    }
    if (options.capture_stderr) {
        close(errPipe[1]);
        err_ = errPipe[0];
    }
}

ChildProcess::~ChildProcess() {
    Stop();
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::Stop(int graceMs) {
    if (!Running()) return status_;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
    while (Running() && Clock::now() < deadline) usleep(10000);
    if (Running()) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = -1;
    }
    return status_;
}

std::string ChildProcess::ReadStdout(int timeoutMs) {
    std::string text;
    if (out_ < 0) return text;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{out_, POLLIN, 0};
        const int wait = text.empty() ? MsLeft(deadline) : 0;
        if (poll(&p, 1, wait) <= 0) return text;
        char chunk[4096];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return text;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

bool ChildProcess::WaitForStderr(const std::string& text, int timeoutMs) {
    if (err_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (err_text_.find(text) == std::string::npos) {
        pollfd p{err_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0) return false;
        char chunk[4096];
        const ssize_t n = read(err_, chunk, sizeof chunk);
        if (n <= 0) return false;
        err_text_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool WaitForFile(const std::string& path, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    struct stat info {};
    while (lstat(path.c_str(), &info) != 0) {
        if (Clock::now() >= deadline) return false;
        usleep(10000);
    }
    return true;
}

}  // namespace rig
