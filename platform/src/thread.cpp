#include "platform/thread.h"

#include <pthread.h>

#include <cstdlib>
#include <string>

namespace platform {

Thread::~Thread() {
    // Joining here would race with the already destroyed derived object: owners WaitFor first.
    if (thread_.joinable()) std::abort();
}

void Thread::Start(const char* name) {
    std::string threadName = name ? std::string(name).substr(0, 15) : std::string();
    thread_ = std::thread([this, threadName] {
        if (!threadName.empty()) pthread_setname_np(pthread_self(), threadName.c_str());
        Execute();
    });
}

void Thread::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace platform
