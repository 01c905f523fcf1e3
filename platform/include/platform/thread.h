#pragma once
// A worker thread with a terminate flag, whose owner can wait for the end of its loop.
#include <atomic>
#include <thread>

namespace platform {

class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // The owner must have called WaitFor (the derived part is gone by the time this runs).
    virtual ~Thread();

    // Starts Execute on a new thread; at most once per object. The name (at most 15 bytes)
    // is what the system shows for the thread (/proc/<pid>/task/<tid>/comm, top -H).
    void Start(const char* name = nullptr);
    // Asks the loop to end; Execute polls Terminated().
    void Terminate() { terminated_.store(true, std::memory_order_release); }
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    // Returns when Execute has returned (at once when never started); call from another thread.
    void WaitFor();

protected:
    virtual void Execute() = 0;

private:
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};

}  // namespace platform
