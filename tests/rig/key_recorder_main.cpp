// key-recorder: an X client that maps a window, takes the keyboard focus (and takes it back when
// another window takes it) and writes every character it receives, flushed per key.
//
//   key-recorder [--display :N] [--output FILE] [--lines] [--timestamps]
//
// By default the characters go out as they are (TAB and RETURN as bytes 09 and 0D). --lines
// writes one line per key press instead, with TAB, RETURN, '\' and other control bytes escaped
// (\t, \r, \\, \xNN); --timestamps puts the CLOCK_MONOTONIC time of its arrival in nanoseconds
// before each line. "key-recorder: ready" on standard error says the window has the focus.
//
// SIGUSR1 lets the focus go (a test drives a dialog, which must keep it) and SIGUSR2 takes it
// back and holds it again; each is answered on standard error with "key-recorder: focus
// released (N)" or "key-recorder: focus held (N)", N counting both from 1.
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xvfb_display.h"

namespace {

std::string Escaped(const std::string& chars) {
    std::string text;
    for (unsigned char c : chars) {
        if (c == '\t') text += "\\t";
        else if (c == '\r') text += "\\r";
        else if (c == '\n') text += "\\n";
        else if (c == '\\') text += "\\\\";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text.push_back(static_cast<char>(c));
        }
    }
    return text;
}

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

int Usage() {
    std::fprintf(stderr, "usage: key-recorder [--display :N] [--output FILE] [--lines] [--timestamps]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* fromEnvironment = std::getenv("DISPLAY");
    std::string display = fromEnvironment ? fromEnvironment : "";
    std::string output;
    bool lines = false, timestamps = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--lines") lines = true;
        else if (option == "--timestamps") timestamps = lines = true;
        else if (option == "--display" && i + 1 < argc) display = argv[++i];
        else if (option == "--output" && i + 1 < argc) output = argv[++i];
        else return Usage();
    }
    FILE* out = stdout;
    if (!output.empty() && !(out = std::fopen(output.c_str(), "ab"))) {
        std::fprintf(stderr, "key-recorder: cannot open %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    // Blocked before "ready", so that a focus signal never ends the recorder.
    sigset_t focusSignals;
    sigemptyset(&focusSignals);
    sigaddset(&focusSignals, SIGUSR1);
    sigaddset(&focusSignals, SIGUSR2);
    sigprocmask(SIG_BLOCK, &focusSignals, nullptr);
    const int signals = signalfd(-1, &focusSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        std::fprintf(stderr, "key-recorder: signalfd: %s\n", std::strerror(errno));
        return 1;
    }
    tapwedge_test::XKeyRecorder recorder(display);
    if (!recorder.Ok()) {
        std::fprintf(stderr, "key-recorder: cannot open the display '%s'\n", display.c_str());
        return 1;
    }
    std::fprintf(stderr, "key-recorder: ready\n");
    std::fflush(stderr);
    int focusChanges = 0;
    for (std::string chars;;) {
        if (recorder.NextKey(chars, -1, signals)) {
            if (timestamps) std::fprintf(out, "%lld ", MonotonicNs());
            if (lines) std::fprintf(out, "%s\n", Escaped(chars).c_str());
            else std::fwrite(chars.data(), 1, chars.size(), out);
            std::fflush(out);
            continue;
        }
        // Not woken by a focus signal: the display went away.
        signalfd_siginfo received{};
        if (read(signals, &received, sizeof received) != static_cast<ssize_t>(sizeof received)) break;
        const bool hold = received.ssi_signo == SIGUSR2;
        recorder.HoldFocus(hold);
        std::fprintf(stderr, "key-recorder: focus %s (%d)\n", hold ? "held" : "released", ++focusChanges);
        std::fflush(stderr);
    }
    std::fprintf(stderr, "key-recorder: the display went away\n");
    return 1;
}
