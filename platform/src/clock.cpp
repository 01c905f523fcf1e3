#include "platform/clock.h"

#include <atomic>
#include <ctime>
#include <thread>

namespace platform {
namespace {

std::atomic<TickSource> g_source{nullptr};

std::uint32_t MonotonicTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // keeps the 32-bit wrap
}

}  // namespace

std::uint32_t TickCount() {
    const TickSource source = g_source.load(std::memory_order_acquire);
    return source ? source() : MonotonicTicks();
}

void SetTickSource(TickSource source) { g_source.store(source, std::memory_order_release); }

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform
