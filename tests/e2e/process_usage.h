#pragma once
// What a running process has used, read from /proc: its CPU time as a whole (exited threads
// included), and per thread its name, its time on a CPU and how often it went to sleep (each
// voluntary context switch is a sleep that a wake-up ends).
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

namespace e2e {

struct ThreadUsage {
    std::string name;
    double cpu_seconds = 0;     // schedstat's time on a CPU, else stat's user + system ticks
    std::uint64_t wakeups = 0;  // status's voluntary_ctxt_switches
};

// User plus system CPU time of the whole process, in seconds.
double ProcessCpuSeconds(pid_t pid);

// The threads alive now, by thread id; empty when the process is gone.
std::map<pid_t, ThreadUsage> SampleThreads(pid_t pid);

// One thread over an interval: later minus earlier (a thread born in between counts from 0).
ThreadUsage UsageBetween(const ThreadUsage* earlier, const ThreadUsage& later);

}  // namespace e2e
