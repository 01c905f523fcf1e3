// Typing a 64-character identifier and RETURN through XTest into an X client on a private
// Xvfb server, with no wait between keys. Reports the time from the first to the last key
// event (manual time), the time until the client had the whole text, and how many of the
// runs arrived exactly (no lost or reordered character).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "core/keystroke_output.h"
#include "platform/key_injectors.h"
#include "xvfb_display.h"

namespace {

using Clock = std::chrono::steady_clock;

// Notes the time of the first and the last key event it passes on.
class TimingInjector final : public platform::KeyInjector {
public:
    explicit TimingInjector(platform::KeyInjector& inner) : inner_(inner) {}
    bool Inject(const platform::KeyboardInput& input) override {
        const bool ok = inner_.Inject(input);
        last = Clock::now();
        if (events++ == 0) first = last;
        return ok;
    }
    const char* Name() const override { return inner_.Name(); }

    Clock::time_point first, last;
    int events = 0;

private:
    platform::KeyInjector& inner_;
};

void TypeIdentifier(benchmark::State& state) {
    tapwedge_test::XvfbDisplay xvfb;
    if (!xvfb.Ok()) {
        state.SkipWithError(xvfb.Error().c_str());
        return;
    }
    tapwedge_test::XKeyRecorder recorder(xvfb.Name());
    std::string error;
    auto xtest = platform::OpenXTestKeyInjector(xvfb.Name().c_str(), &error);
    if (!recorder.Ok() || !xtest) {
        state.SkipWithError(error.c_str());
        return;
    }

    const std::string id = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
    tapwedge::CardIdRecord idRecord;  // holds 20 characters: the identifier goes as data
    tapwedge::CardDataRecord data;
    data.Length = static_cast<std::int32_t>(id.size());
    std::memcpy(data.Bytes, id.data(), id.size());
    tapwedge::OutputItems items;
    items[1].Enabled = 1;
    items[1].Separator = 1;  // RETURN
    tapwedge::OutputOptions options;
    options.WaitTime = 0;
    const std::string expected = id + "\r";

    int exact = 0, runs = 0, events = 0;
    double receivedMs = 0;
    for (auto _ : state) {
        TimingInjector timing(*xtest);
        tapwedge::TypeOutputItems(tapwedge::KeystrokeContext{items, options, &timing}, idRecord,
                                  data);
        const std::string got = recorder.Receive(expected.size());
        const auto received = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(timing.last - timing.first).count());
        receivedMs += std::chrono::duration<double, std::milli>(received - timing.first).count();
        exact += got == expected ? 1 : 0;
        events = timing.events;
        ++runs;
    }
    state.counters["exact_runs"] = exact;
    state.counters["runs"] = runs;
    state.counters["key_events"] = events;
    state.counters["ms_until_received"] = receivedMs / runs;
}

BENCHMARK(TypeIdentifier)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
