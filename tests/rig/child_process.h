#pragma once
// A child process of a test or a benchmark: started with extra environment variables, its
// standard output and error optionally read through pipes, ended with SIGTERM (then SIGKILL).
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace rig {

class ChildProcess {
public:
    struct Options {
        std::map<std::string, std::string> environment;  // set (or, with value "\x01", removed)
        bool capture_stdout = false;
        bool capture_stderr = false;
        std::string stdout_file;  // standard output into this file (unless captured)
        std::string stderr_file;  // standard error into this file (unless captured)
        std::string directory;  // working directory; "" = the caller's
    };
    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}
    ~ChildProcess();  // Stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running();
    // SIGTERM, up to graceMs for the end, then SIGKILL. The exit status, or -1.
    int Stop(int graceMs = 3000);

    // What the child wrote since the last call, waiting up to timeoutMs for something.
    std::string ReadStdout(int timeoutMs);
    // Reads standard error until `text` shows up or timeoutMs passed; everything read so far.
    bool WaitForStderr(const std::string& text, int timeoutMs);
    std::string Stderr() const { return err_text_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = -1;
    std::string err_text_;
};

// Removes a variable of the current environment from the child's (Options::environment value).
inline constexpr const char* kUnset = "\x01";

// The folder a temporary tree lives in, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "tapwedge-rig");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Waits until `path` exists, up to timeoutMs.
bool WaitForFile(const std::string& path, int timeoutMs);

}  // namespace rig
