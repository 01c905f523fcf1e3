#include "soak_run.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "output_records.h"
#include "standard_outputs.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCardKinds = 3;
constexpr int kMaxFailureLines = 30;
constexpr int kReconnectWaitMs = 30000;
constexpr int kUnplugLatestMs = 150;  // the unplug comes 0..this after the card, before or after its read

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// "ok a=1 b=2" -> {a: 1, b: 2}
std::map<std::string, std::uint64_t> Fields(const std::string& reply) {
    std::map<std::string, std::uint64_t> fields;
    std::istringstream in(reply);
    for (std::string word; in >> word;) {
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos) continue;
        try {
            fields[word.substr(0, eq)] = std::stoull(word.substr(eq + 1));
        } catch (const std::exception&) {
        }
    }
    return fields;
}

std::string Visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

// What one tap's window (from the card's arrival to the next card's) brought.
struct TapWindow {
    int card = 0;
    int typed = 0;         // outputs of this card typed
    int logged = 0;        // CSV lines of this card
    std::string stray;     // outputs of other cards, or text that is no card's output
};

struct Tally {
    int taps = 0;
    int taps_of[kCardKinds] = {};
    int typed_once = 0, typed_never = 0, typed_more = 0;
    int logged_once = 0, logged_never = 0, logged_more = 0;
    int stray = 0;
    int unplugs = 0, reconnected = 0;
    bool ended = false, stuck = false;
    long rss_start = -1, rss_middle = -1, rss_end = -1;
    double seconds = 0;

    int Failures() const {
        return typed_never + typed_more + logged_never + logged_more + stray + (unplugs - reconnected) +
               (ended ? 1 : 0) + (stuck ? 1 : 0);
    }
};

class Soak {
public:
    Soak(Link link, const SoakSettings& settings)
        : link_(link), s_(settings), name_(link == Link::Com ? "COM" : "USB"), random_(settings.seed) {}

    int Run();

private:
    bool Start();
    void Tap(int index);
    bool UnplugAndPlug(TapWindow& window);
    // Takes in what was typed for up to ms; with untilTyped, only until the window's card came.
    void Collect(TapWindow& window, int ms, bool untilTyped);
    void TakeCsv(TapWindow& window);
    void Account(const TapWindow& window, int index);
    void Fail(int index, const std::string& what);
    std::uint64_t Authentications() { return Fields(run_->Command("counts"))["authentications"]; }
    void Progress(int index);
    void Report();

    Link link_;
    SoakSettings s_;
    const char* name_;
    std::mt19937_64 random_;
    std::unique_ptr<ProgramRun> run_;
    OutputRecords typed_{OutputRecords::Form::Typed};
    OutputRecords logged_{OutputRecords::Form::Csv};
    Tally t_;
    int failure_lines_ = 0;
    int missed_in_a_row_ = 0;
    Clock::time_point started_;
};

bool Soak::Start() {
    RunOptions options;
    options.link = link_;
    options.mutual_authentication = true;
    run_ = std::make_unique<ProgramRun>(options);
    if (!run_->Error().empty() || !run_->WaitReady(30000)) {
        std::fprintf(stderr, "%s: the program did not get ready: %s %s\n", name_, run_->Error().c_str(),
                     run_->ProgramErrors().c_str());
        return false;
    }
    if (run_->Command("status").find(" encrypted=1 ") == std::string::npos) {
        std::fprintf(stderr, "%s: the session is not encrypted: %s\n", name_, run_->Command("status").c_str());
        return false;
    }
    const std::string setup[] = {
        "fault seed " + std::to_string(s_.seed),
        "fault noreply " + std::to_string(s_.no_reply),
        "fault garbage " + std::to_string(s_.garbage),
        "fault mac " + std::to_string(s_.bad_mac),
        "fault counter " + std::to_string(s_.bad_counter),
    };
    for (const std::string& line : setup) {
        if (const std::string reply = run_->Command(line); !Ok(reply)) {
            std::fprintf(stderr, "%s: %s: %s\n", name_, line.c_str(), reply.c_str());
            return false;
        }
    }
    return true;
}

int Soak::Run() {
    if (!Start()) return 1;
    std::printf("%s: %d taps, seed %llu; faults per card command: no reply %.2f %%, garbage %.2f %%, "
                "bad MAC %.2f %%, wrong counter %.2f %%; unplug %.2f %% of the taps\n",
                name_, s_.taps, static_cast<unsigned long long>(s_.seed), s_.no_reply, s_.garbage, s_.bad_mac,
                s_.bad_counter, s_.unplug);
    std::fflush(stdout);
    t_.rss_start = ResidentKb(run_->ProgramPid());
    started_ = Clock::now();
    for (int i = 0; i < s_.taps; ++i) {
        Tap(i);
        if (i + 1 == s_.taps / 2) t_.rss_middle = ResidentKb(run_->ProgramPid());
        if (!run_->ProgramRunning()) {
            t_.ended = true;
            Fail(i, "the program has ended");
            break;
        }
        if (missed_in_a_row_ >= s_.stuck_after) {
            t_.stuck = true;
            Fail(i, "stuck: " + std::to_string(missed_in_a_row_) + " cards in a row not typed");
            break;
        }
        if ((i + 1) % s_.progress_every == 0) Progress(i + 1);
    }
    t_.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    if (!t_.ended) t_.rss_end = ResidentKb(run_->ProgramPid());
    // Whatever is still held is no card's output.
    TapWindow last;
    last.card = -1;
    for (const auto& r : typed_.Flush()) last.stray += "typed \"" + Visible(r.text) + "\" ";
    for (const auto& r : logged_.Flush()) last.stray += "logged \"" + Visible(r.text) + "\" ";
    if (!last.stray.empty()) {
        ++t_.stray;
        Fail(t_.taps, "at the end: " + last.stray);
    }
    Report();
    return t_.Failures();
}

void Soak::Tap(int index) {
    TapWindow window;
    window.card = index % kCardKinds;
    const std::string name = kStandardOutputs[window.card].card;
    if (const std::string reply = run_->Command("present " + name); !Ok(reply)) {
        Fail(index, "present: " + reply);
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(s_.wait_ms);
    const bool unplug = std::uniform_real_distribution<double>(0, 100)(random_) < s_.unplug;
    if (unplug && !UnplugAndPlug(window)) Fail(index, "no reconnect after the unplug");
    while (window.typed == 0 && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        Collect(window, static_cast<int>(std::min<long long>(left, 200)), true);
    }
    // It stays a while: a card typed again while it lies there is caught here.
    if (window.typed > 0) Collect(window, s_.dwell_ms, false);
    if (const std::string reply = run_->Command("remove " + name); !Ok(reply)) Fail(index, "remove: " + reply);
    Collect(window, s_.pause_ms, false);
    TakeCsv(window);
    Account(window, index);
}

bool Soak::UnplugAndPlug(TapWindow& window) {
    Collect(window, std::uniform_int_distribution<int>(0, kUnplugLatestMs)(random_), false);
    const std::uint64_t before = Authentications();
    ++t_.unplugs;
    if (!Ok(run_->Command("unplug"))) return false;
    Collect(window, s_.unplugged_ms, false);
    if (!Ok(run_->Command("plug"))) return false;
    const auto end = Clock::now() + std::chrono::milliseconds(kReconnectWaitMs);
    while (Clock::now() < end) {
        if (Authentications() > before) {
            ++t_.reconnected;
            return true;
        }
        Collect(window, 50, false);
    }
    return false;
}

void Soak::Collect(TapWindow& window, int ms, bool untilTyped) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        const std::size_t chars = untilTyped ? 1 : std::numeric_limits<std::size_t>::max();
        std::string text;
        for (const KeyEvent& e : run_->Keys(chars, static_cast<int>(left))) text += e.chars;
        for (const auto& r : typed_.Feed(text)) {
            if (r.card == window.card) ++window.typed;
            else window.stray += "typed \"" + Visible(r.text) + "\" ";
        }
        if (untilTyped && window.typed > 0) return;
        if (!untilTyped) return;  // Keys waited the whole time
    }
}

void Soak::TakeCsv(TapWindow& window) {
    for (const auto& r : logged_.Feed(run_->NewCsvText())) {
        if (r.card == window.card) ++window.logged;
        else window.stray += "logged \"" + Visible(r.text) + "\" ";
    }
}

void Soak::Account(const TapWindow& w, int index) {
    ++t_.taps;
    ++t_.taps_of[w.card];
    (w.typed == 0 ? t_.typed_never : w.typed == 1 ? t_.typed_once : t_.typed_more)++;
    (w.logged == 0 ? t_.logged_never : w.logged == 1 ? t_.logged_once : t_.logged_more)++;
    if (!w.stray.empty()) ++t_.stray;
    missed_in_a_row_ = w.typed == 0 ? missed_in_a_row_ + 1 : 0;
    if (w.typed != 1 || w.logged != 1 || !w.stray.empty()) {
        Fail(index, std::string(kStandardOutputs[w.card].card) + " typed " + std::to_string(w.typed) +
                        " times, logged " + std::to_string(w.logged) + " times" +
                        (w.stray.empty() ? "" : "; other output: " + w.stray));
    }
}

void Soak::Fail(int index, const std::string& what) {
    if (failure_lines_++ >= kMaxFailureLines) return;
    std::printf("  %s tap %d: %s [%s] [%s]\n", name_, index, what.c_str(), run_->Command("status").c_str(),
                run_->Command("counts").c_str());
    std::fflush(stdout);
}

void Soak::Progress(int done) {
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    std::printf("  %s %d/%d taps, %.2f taps/s, failures %d, unplugs %d, resident %ld kB [%s]\n", name_, done,
                s_.taps, done / seconds, t_.Failures(), t_.unplugs, ResidentKb(run_->ProgramPid()),
                run_->Command("counts").c_str());
    std::fflush(stdout);
}

void Soak::Report() {
    auto c = Fields(run_->Command("counts"));
    const double rate = t_.seconds > 0 ? t_.taps / t_.seconds : 0;
    std::printf("%s: %d taps (FeliCa %d, Mifare %d, ISO15693 %d) in %.0f s, %.2f taps/s "
                "(%.0f min for 10000)\n",
                name_, t_.taps, t_.taps_of[0], t_.taps_of[1], t_.taps_of[2], t_.seconds, rate,
                rate > 0 ? 10000 / rate / 60 : 0.0);
    std::printf("  faults injected: no reply %llu, garbage %llu, bad MAC %llu, wrong counter %llu "
                "(in %llu card commands, %llu sealed); unplugs %d\n",
                static_cast<unsigned long long>(c["noreply"]), static_cast<unsigned long long>(c["garbage"]),
                static_cast<unsigned long long>(c["mac"]), static_cast<unsigned long long>(c["counter"]),
                static_cast<unsigned long long>(c["card"]), static_cast<unsigned long long>(c["sealed"]),
                t_.unplugs);
    std::printf("  typed: once %d, never %d, more than once %d; logged: once %d, never %d, more than once %d; "
                "taps with other output %d\n",
                t_.typed_once, t_.typed_never, t_.typed_more, t_.logged_once, t_.logged_never, t_.logged_more,
                t_.stray);
    std::printf("  reconnected after %d of %d unplugs; %llu authentications in all (the first, and one per "
                "reconnection)\n",
                t_.reconnected, t_.unplugs, static_cast<unsigned long long>(c["authentications"]));
    std::printf("  program resident memory: start %ld kB, middle %ld kB, end %ld kB%s\n", t_.rss_start,
                t_.rss_middle, t_.rss_end, link_ == Link::Usb ? " (simulator included)" : "");
    std::printf("  the program %s%s\n", t_.ended ? "has ended" : "still runs", t_.stuck ? "; the run was stuck" : "");
    std::printf("%s: %s (%d failures)\n", name_, t_.Failures() == 0 ? "PASS" : "FAIL", t_.Failures());
    if (t_.Failures() != 0) {
        std::string errors = run_->ProgramErrors();
        if (errors.size() > 4000) errors = "..." + errors.substr(errors.size() - 4000);
        std::printf("  the program wrote: %s\n", errors.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int RunSoak(Link link, const SoakSettings& settings) {
    Soak soak(link, settings);
    return soak.Run();
}

}  // namespace e2e
