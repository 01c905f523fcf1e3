// What the transport adds to a command: the time of one attention command (ACK, then the reply
// 2 ms later, as two separate chunks) over the fake D2XX USB device and over a pty COM port,
// against the reader simulator. Run with LD_LIBRARY_PATH=build/tests/fakes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "card_rig.h"
#include "tagwire/tagwire.h"

namespace {

constexpr auto kReplyTime = std::chrono::milliseconds(2);

void BM_AttentionRoundTrip(benchmark::State& state) {
    const auto transport = static_cast<card_rig::Transport>(state.range(0));
    card_rig::SimReader reader(transport);
    if (reader.OpenStatus() != TW_OK) {
        state.SkipWithError("the reader did not open");
        return;
    }
    reader.sim.SetReplyLatency(kReplyTime);
    std::vector<double> ms;
    for (auto _ : state) {
        std::uint8_t reply[8];
        const auto start = std::chrono::steady_clock::now();
        const std::int32_t status = TwAttention(reply);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                               start).count());
        if (status != TW_OK) {
            state.SkipWithError("attention failed");
            return;
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[ms.size() * 99 / 100];
    state.counters["worst_ms"] = ms.back();
    state.SetLabel(transport == card_rig::Transport::Usb ? "usb" : "com");
}
BENCHMARK(BM_AttentionRoundTrip)
    ->Arg(static_cast<int>(card_rig::Transport::Usb))
    ->Arg(static_cast<int>(card_rig::Transport::Com))
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
