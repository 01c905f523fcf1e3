// What a wait for the reader costs: CPU while it waits, and the delay from the last reply byte
// to the return of WaitResponse.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "link_test_support.h"
#include "tagwire/tagwire.h"

namespace {

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// An ACK and then no reply: the wait runs its 1500 ms (time-out 2000) and ends by time-out.
void BM_IdleWaitCpu(benchmark::State& state) {
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        ReaderContext context;
        Feed(context, kAck);
        const double cpuStart = CpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        const std::int32_t status = WaitResponse(context, 2000);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        cpu += CpuSeconds() - cpuStart;
        if (status != TW_ERR_TIMEOUT) state.SkipWithError("the wait did not end by time-out");
    }
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    state.counters["wait_ms"] = 1000.0 * wall / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdleWaitCpu)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// A receive thread delivers a reply, its last byte at a moment the waiter cannot foresee.
void BM_LastByteToReturn(benchmark::State& state) {
    const Bytes reply = Join({kAck, Frame({0x75, 0x01, 0x02, 0x03})});
    std::vector<double> delays;
    int round = 0;
    for (auto _ : state) {
        ReaderContext context;
        std::atomic<std::int64_t> lastByteAt{0};
        const auto delay = std::chrono::microseconds(200 + (round++ * 337) % 3000);
        std::thread receiver([&] {
            std::this_thread::sleep_for(delay);
            FeedReceiver(context, reply.data(), static_cast<std::uint32_t>(reply.size() - 1));
            std::this_thread::sleep_for(delay / 2);
            lastByteAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
            FeedReceiver(context, &reply.back(), 1);
        });
        const std::int32_t status = WaitResponse(context, 2000);
        const std::int64_t returned = std::chrono::steady_clock::now().time_since_epoch().count();
        receiver.join();
        if (status != TW_OK) state.SkipWithError("the wait did not end with the reply");
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::duration(returned - lastByteAt.load()))
                .count();
        delays.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) return;
    state.counters["median_us"] = delays[delays.size() / 2] * 1e6;
    state.counters["p99_us"] = delays[delays.size() * 99 / 100] * 1e6;
    state.counters["worst_us"] = delays.back() * 1e6;
}
BENCHMARK(BM_LastByteToReturn)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
