// The running program with the simulated reader answering in its own fixed time (a benchmark,
// not a test):
//   - latency: from the FeliCa card entering the field to the first key event at the X client,
//     median and worst of --latency-taps taps;
//   - CPU time of the program per minute of idle polling (no card; 100 ms once ready);
//   - resident memory (VmRSS) after 20 and after --taps taps (FeliCa and Mifare in turn).
// Over a COM port and over USB (on USB the simulator runs inside the program's process, so its
// memory and CPU time are counted with the program's).
//
//   build/bin/tapwedge_e2e_benchmark [--link com|usb|both] [--latency-ms N] [--latency-taps N]
//                                    [--idle-seconds N] [--taps N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "program_run.h"
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

// User plus system CPU time of the process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {  // field 3 is the state
        if (i == 14) utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
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
    const double before = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(s.idle_seconds));
    const double used = CpuSeconds(pid) - before;
    std::printf("  idle polling: %.2f s CPU per minute (%.1f %% of a core)\n", used * 60.0 / s.idle_seconds,
                100.0 * used / s.idle_seconds);

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
