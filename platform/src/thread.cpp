#include "platform/thread.h"

#include <cstdlib>

namespace platform {

Thread::~Thread() {
    // Joining here would race with the already destroyed derived object: owners WaitFor first.
    if (thread_.joinable()) std::abort();
}

void Thread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void Thread::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace platform
