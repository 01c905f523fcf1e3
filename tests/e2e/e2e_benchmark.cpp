// The running program with the simulated reader answering in its own fixed time (a benchmark,
// not a test):
//   - latency: from the FeliCa card entering the field to the first key event at the X client,
//     median and worst of --latency-taps taps;
//   - CPU time of the program per minute of idle polling (no card; 100 ms once ready): of the
//     whole process, and of the program's own threads alone;
//   - wake-ups per second of each thread while idle (its voluntary context switches);
//   - resident memory (VmRSS) after 20 and after --taps taps (FeliCa and Mifare in turn).
// Over a COM port and over USB. On USB the simulator runs inside the program's process: its
// threads (named "sim-...") are shown apart and left out of the program's own figure, though its
// memory, and the little it does on the program's threads (it takes the host's writes inside
// the write call), stay counted with the program's.
//
//   build/bin/tapwedge_e2e_benchmark [--link com|usb|both] [--latency-ms N] [--latency-taps N]
//                                    [--idle-seconds N] [--taps N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "process_usage.h"
#include "program_run.h"
#include "reader_sim/thread_name.h"
#include "standard_outputs.h"

namespace {

using namespace std::chrono_literals;

struct Settings {
    std::vector<e2e::Link> links{e2e::Link::Com, e2e::Link::Usb};
    int latency_ms = 2;
    int latency_taps = 50;
    int idle_seconds = 60;
    int taps = 500;
};

const std::string kFelicaText = e2e::kStandardOutputs[e2e::kFelicaOutput].typed;
const std::string kMifareText = e2e::kStandardOutputs[e2e::kMifareOutput].typed;

std::int64_t PresentedAt(const std::string& reply) {
    const std::size_t at = reply.find("at=");
    return at == std::string::npos ? -1 : std::stoll(reply.substr(at + 3));
}

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

bool IsSimulatorThread(const std::string& name) {
    return name.rfind(tapwedge::sim::kThreadNamePrefix, 0) == 0;
}

// CPU of the whole process and of the program's own threads, then per thread (the program's
// first, busiest first) its wake-ups per second and share of a core.
void ReportIdle(double processCpu, const std::map<pid_t, e2e::ThreadUsage>& before,
                const std::map<pid_t, e2e::ThreadUsage>& after, int seconds) {
    struct Row {
        pid_t tid;
        e2e::ThreadUsage used;
        bool simulator;
    };
    std::vector<Row> rows;
    double ownCpu = 0;
    double ownWakeups = 0;
    double allWakeups = 0;
    for (const auto& [tid, later] : after) {
        const auto earlier = before.find(tid);
        const e2e::ThreadUsage used = e2e::UsageBetween(earlier == before.end() ? nullptr : &earlier->second, later);
        const bool simulator = IsSimulatorThread(later.name);
        allWakeups += static_cast<double>(used.wakeups);
        if (!simulator) {
            ownCpu += used.cpu_seconds;
            ownWakeups += static_cast<double>(used.wakeups);
        }
        rows.push_back({tid, used, simulator});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.simulator != b.simulator) return !a.simulator;
        return a.used.wakeups > b.used.wakeups;
    });
    const double perMinute = 60.0 / seconds;
    std::printf("  idle polling, whole process: %.2f s CPU per minute (%.1f %% of a core), %.0f wake-ups/s\n",
                processCpu * perMinute, 100.0 * processCpu / seconds, allWakeups / seconds);
    std::printf("  idle polling, the program's own threads: %.2f s CPU per minute (%.1f %% of a core), "
                "%.0f wake-ups/s\n",
                ownCpu * perMinute, 100.0 * ownCpu / seconds, ownWakeups / seconds);
    std::printf("  per thread while idle (wake-ups/s, %% of a core):\n");
    for (const Row& row : rows) {
        std::printf("    %-16s %7d %8.1f/s %6.2f %%%s\n", row.used.name.c_str(), static_cast<int>(row.tid),
                    static_cast<double>(row.used.wakeups) / seconds, 100.0 * row.used.cpu_seconds / seconds,
                    row.simulator ? "  (simulator, left out)" : "");
    }
}

// Between taps the field stays empty for a few polls: the program reports a card again only
// after a poll of its own kind found the field empty, and a poll that reads another card ends the
// tick before that (Mifare, FeliCa, the same Mifare card at once: the second Mifare tap is taken
// for the card still lying there).
constexpr auto kEmptyField = 300ms;

// One tap: present, wait for the whole text, take away, leave the field empty. False when the
// text did not come.
bool Tap(e2e::ProgramRun& run, const char* card, const std::string& text, std::int64_t* latencyNs) {
    const std::string reply = run.Command(std::string("present ") + card);
    const std::vector<e2e::KeyEvent> keys = run.Keys(text.size(), 10000);
    std::string typed;
    for (const auto& k : keys) typed += k.chars;
    const std::string status = run.Command("status");
    run.Command(std::string("remove ") + card);
    std::this_thread::sleep_for(kEmptyField);
    if (typed != text) {
        std::fprintf(stderr, "  %s: typed \"%s\" (%s; %s)\n", card, typed.c_str(), reply.c_str(), status.c_str());
        std::fprintf(stderr, "  key recorder %s\n", run.RecorderState().c_str());
        std::fprintf(stderr, "  the program %s; it wrote: %s\n", run.ProgramRunning() ? "runs" : "has ended",
                     run.ProgramErrors().c_str());
        return false;
    }
    if (latencyNs) *latencyNs = keys.front().at_ns - PresentedAt(reply);
    return true;
}

int RunLink(e2e::Link link, const Settings& s) {
    const char* name = link == e2e::Link::Com ? "COM" : "USB";
    e2e::RunOptions options;
    options.link = link;
    options.reply_latency_ms = s.latency_ms;
    e2e::ProgramRun run(options);
    if (!run.Error().empty() || !run.WaitReady(30000)) {
        std::fprintf(stderr, "%s: the program did not get ready: %s %s\n", name, run.Error().c_str(),
                     run.ProgramErrors().c_str());
        return 1;
    }
    const pid_t pid = run.ProgramPid();
    std::printf("%s (reader reply time %d ms)\n", name, s.latency_ms);

    // Latency: the card comes while the program polls with nothing in the field.
    std::this_thread::sleep_for(kEmptyField);
    std::vector<double> latencies;
    for (int i = 0; i < s.latency_taps; ++i) {
        std::int64_t ns = 0;
        if (!Tap(run, "felica", kFelicaText, &ns)) return 1;
        latencies.push_back(static_cast<double>(ns) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::printf("  card in field -> first key: median %.1f ms, worst %.1f ms (%zu taps)\n",
                    latencies[latencies.size() / 2], latencies.back(), latencies.size());

    // Idle polling.
    std::this_thread::sleep_for(1s);
    const double before = e2e::ProcessCpuSeconds(pid);
    const auto threadsBefore = e2e::SampleThreads(pid);
    std::this_thread::sleep_for(std::chrono::seconds(s.idle_seconds));
    const double used = e2e::ProcessCpuSeconds(pid) - before;
    const auto threadsAfter = e2e::SampleThreads(pid);
    ReportIdle(used, threadsBefore, threadsAfter, s.idle_seconds);

    // Memory over many taps, FeliCa and Mifare in turn.
    for (int i = 1; i <= s.taps; ++i) {
        const bool felica = i % 2 == 1;
        if (!Tap(run, felica ? "felica" : "mifare", felica ? kFelicaText : kMifareText, nullptr)) return 1;
        if (i == 20 || i == s.taps) std::printf("  resident memory after %d taps: %ld kB\n", i, ResidentKb(pid));
        std::fflush(stdout);
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: tapwedge_e2e_benchmark [--link com|usb|both] [--latency-ms N] "
                         "[--latency-taps N] [--idle-seconds N] [--taps N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (e2e::ProgramPath().empty()) {
        std::fprintf(stderr, "the program is not built (%s)\n", TAPWEDGE_PROGRAM);
        return 1;
    }
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (option == "--link") {
            if (value == "com") s.links = {e2e::Link::Com};
            else if (value == "usb") s.links = {e2e::Link::Usb};
            else if (value != "both") return Usage();
        } else if (option == "--latency-ms") s.latency_ms = std::stoi(value);
        else if (option == "--latency-taps") s.latency_taps = std::stoi(value);
        else if (option == "--idle-seconds") s.idle_seconds = std::max(1, std::stoi(value));
        else if (option == "--taps") s.taps = std::max(20, std::stoi(value));
        else return Usage();
    }
    int failures = 0;
    for (e2e::Link link : s.links) failures += RunLink(link, s);
    return failures == 0 ? 0 : 1;
}
