#include "reader_sim/output_queue.h"

#include "reader_sim/thread_name.h"

namespace tapwedge::sim {

OutputQueue::OutputQueue() : thread_([this] { Run(); }) {}

OutputQueue::~OutputQueue() {
    {
        std::lock_guard lock(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void OutputQueue::SetLink(Link* link) {
    std::lock_guard lock(link_mu_);
    link_ = link;
}

void OutputQueue::Push(Clock::time_point due, Bytes chunk) {
    {
        std::lock_guard lock(mu_);
        queue_.emplace(std::make_pair(due, seq_++), std::move(chunk));
    }
    cv_.notify_all();
}

void OutputQueue::DropPending() {
    std::lock_guard lock(mu_);
    queue_.clear();
    if (!delivering_) idle_cv_.notify_all();
}

bool OutputQueue::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mu_);
    return idle_cv_.wait_for(lock, timeout, [this] { return queue_.empty() && !delivering_; });
}

std::size_t OutputQueue::DeliveredCount() const {
    std::lock_guard lock(mu_);
    return delivered_;
}

void OutputQueue::Run() {
    NameThisThread("output");
    std::unique_lock lock(mu_);
    for (;;) {
        if (stop_) return;
        if (queue_.empty()) {
            idle_cv_.notify_all();
            cv_.wait(lock);
            continue;
        }
        auto first = queue_.begin();
        if (const Clock::time_point due = first->first.first; Clock::now() < due) {
            // A copy: the wait reads its deadline again on waking, when DropPending may
            // have freed the chunk's entry.
            cv_.wait_until(lock, due);
            continue;
        }
        Bytes chunk = std::move(first->second);
        queue_.erase(first);
        delivering_ = true;
        lock.unlock();
        {
            std::lock_guard link_lock(link_mu_);
            if (link_ != nullptr && !chunk.empty()) link_->Deliver(chunk.data(), chunk.size());
        }
        lock.lock();
        delivering_ = false;
        ++delivered_;
    }
}

}  // namespace tapwedge::sim
