#pragma once
// The simulator's sender thread: chunks of reader output ordered by the time they are due.
// Whoever produces output (often the host's own writing thread, inside a peer callback) only
// queues it and returns at once; this thread alone sleeps and writes to the link.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "reader_sim/frames.h"
#include "reader_sim/link.h"

namespace tapwedge::sim {

using Clock = std::chrono::steady_clock;

class OutputQueue {
public:
    OutputQueue();
    ~OutputQueue();
    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;

    // Replaces the link; returns when no chunk is being delivered to the old one.
    void SetLink(Link* link);
    // Queues a chunk for `due`; chunks due at the same time go out in the order queued.
    void Push(Clock::time_point due, Bytes chunk);
    // Forgets every chunk not yet delivered.
    void DropPending();
    // Waits until nothing is queued or being delivered, at most `timeout`; true when idle.
    bool WaitIdle(std::chrono::milliseconds timeout);
    // Every chunk delivered so far, in order (for tests of the simulator).
    std::size_t DeliveredCount() const;

private:
    void Run();

    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::condition_variable idle_cv_;
    std::multimap<std::pair<Clock::time_point, std::uint64_t>, Bytes> queue_;
    std::uint64_t seq_ = 0;
    bool stop_ = false;
    bool delivering_ = false;
    std::size_t delivered_ = 0;
    std::mutex link_mu_;  // held while a chunk goes out, so that SetLink waits for it
    Link* link_ = nullptr;
    std::thread thread_;
};

}  // namespace tapwedge::sim
