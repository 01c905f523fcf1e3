#include "process_usage.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace e2e {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// User plus system time from a stat line (fields 14 and 15, after the name in parentheses).
double StatCpuSeconds(const std::string& stat) {
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos || end + 2 > stat.size()) return 0;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; fields >> field; ++i) {  // field 3 is the state
        if (i == 14) utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::uint64_t StatusValue(const std::string& status, const std::string& key) {
    const std::size_t at = status.find(key + ":");
    if (at == std::string::npos) return 0;
    return std::stoull(status.substr(at + key.size() + 1));
}

}  // namespace

double ProcessCpuSeconds(pid_t pid) { return StatCpuSeconds(ReadAll("/proc/" + std::to_string(pid) + "/stat")); }

std::map<pid_t, ThreadUsage> SampleThreads(pid_t pid) {
    std::map<pid_t, ThreadUsage> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir) return threads;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const std::string task = tasks + "/" + entry->d_name;
        const std::string status = ReadAll(task + "/status");
        if (status.empty()) continue;  // ended meanwhile
        ThreadUsage usage;
        usage.name = ReadAll(task + "/comm");
        if (!usage.name.empty() && usage.name.back() == '\n') usage.name.pop_back();
        usage.wakeups = StatusValue(status, "voluntary_ctxt_switches");
        unsigned long long onCpuNs = 0;
        if (std::istringstream(ReadAll(task + "/schedstat")) >> onCpuNs) {
            usage.cpu_seconds = static_cast<double>(onCpuNs) / 1e9;
        } else {
            usage.cpu_seconds = StatCpuSeconds(ReadAll(task + "/stat"));
        }
        threads[static_cast<pid_t>(std::stol(entry->d_name))] = usage;
    }
    closedir(dir);
    return threads;
}

ThreadUsage UsageBetween(const ThreadUsage* earlier, const ThreadUsage& later) {
    ThreadUsage used = later;
    if (earlier) {
        used.cpu_seconds -= earlier->cpu_seconds;
        used.wakeups -= earlier->wakeups;
    }
    return used;
}

}  // namespace e2e
