#pragma once
// The receiver's wake-up call to a waiting thread: a wait sleeps between two message pumps
// until the receiver has fed bytes, or for a short while at most.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class WaitSignal {
public:
    // The current generation; take it before testing the state the receiver changes.
    std::uint64_t Generation() {
        std::lock_guard<std::mutex> lock(mutex_);
        return generation_;
    }

    // Wakes the sleepers (the receiver, after each chunk).
    void Notify() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++generation_;
        }
        changed_.notify_all();
    }

    // Sleeps until a Notify after generation `seen`, or for `limit` at most.
    void SleepUntilChanged(std::uint64_t seen, std::chrono::microseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return generation_ != seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t generation_ = 0;
};
