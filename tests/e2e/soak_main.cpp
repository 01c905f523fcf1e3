// tapwedge_soak: the fault soak of the running program (soak_run.h), not a test: it is not part
// of scripts/test. Percentages are per card command, the unplug per tap.
//
//   build/bin/tapwedge_soak [--link com|usb|both] [--taps N] [--seed N] [--no-reply PCT]
//                           [--garbage PCT] [--bad-mac PCT] [--bad-counter PCT] [--unplug PCT]
//                           [--unplugged-ms N] [--dwell-ms N] [--pause-ms N] [--progress N]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "soak_run.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tapwedge_soak [--link com|usb|both] [--taps N] [--seed N] [--no-reply PCT]\n"
                 "                     [--garbage PCT] [--bad-mac PCT] [--bad-counter PCT] [--unplug PCT]\n"
                 "                     [--unplugged-ms N] [--dwell-ms N] [--pause-ms N] [--progress N]\n"
                 "defaults: both links, 10000 taps each, seed 1, no reply 1, garbage 1, bad MAC 0.5,\n"
                 "wrong counter 0.5 (percent of the card commands), unplug 0.1 (percent of the taps)\n");
    return 2;
}

bool Number(const std::string& text, double low, double high, double& out) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high)) return false;
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (e2e::ProgramPath().empty()) {
        std::fprintf(stderr, "the program is not built (%s)\n", TAPWEDGE_PROGRAM);
        return 1;
    }
    e2e::SoakSettings s;
    std::vector<e2e::Link> links{e2e::Link::Com, e2e::Link::Usb};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        double v = 0;
        auto whole = [&](double low, double high, int& out) {
            if (!Number(value, low, high, v) || v != static_cast<int>(v)) return false;
            out = static_cast<int>(v);
            return true;
        };
        bool ok = true;
        if (option == "--link") {
            if (value == "com") links = {e2e::Link::Com};
            else if (value == "usb") links = {e2e::Link::Usb};
            else ok = value == "both";
        } else if (option == "--taps") ok = whole(1, 1e7, s.taps);
        else if (option == "--seed") {
            ok = Number(value, 0, 1e18, v);
            s.seed = static_cast<std::uint64_t>(v);
        } else if (option == "--no-reply") ok = Number(value, 0, 100, s.no_reply);
        else if (option == "--garbage") ok = Number(value, 0, 100, s.garbage);
        else if (option == "--bad-mac") ok = Number(value, 0, 100, s.bad_mac);
        else if (option == "--bad-counter") ok = Number(value, 0, 100, s.bad_counter);
        else if (option == "--unplug") ok = Number(value, 0, 100, s.unplug);
        else if (option == "--unplugged-ms") ok = whole(0, 60000, s.unplugged_ms);
        else if (option == "--dwell-ms") ok = whole(0, 60000, s.dwell_ms);
        else if (option == "--pause-ms") ok = whole(0, 60000, s.pause_ms);
        else if (option == "--progress") ok = whole(1, 1e7, s.progress_every);
        else ok = false;
        if (!ok) return Usage();
    }
    int failures = 0;
    for (e2e::Link link : links) failures += e2e::RunSoak(link, s);
    return failures == 0 ? 0 : 1;
}
