#include "line_event.h"

#include <time.h>

#include <system_error>

namespace usbline {

LineEvent::LineEvent() {
    // The bound is kept on the monotonic clock, so that a change of the wall clock cannot
    // stretch a wait.
    pthread_condattr_t attributes;
    int error = pthread_condattr_init(&attributes);
    if (error == 0) {
        error = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        if (error == 0) error = pthread_cond_init(&event_.eCondVar, &attributes);
        pthread_condattr_destroy(&attributes);
    }
    if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_cond_init");
    error = pthread_mutex_init(&event_.eMutex, nullptr);
    if (error != 0) {
        pthread_cond_destroy(&event_.eCondVar);
        throw std::system_error(error, std::generic_category(), "pthread_mutex_init");
    }
    event_.iVar = 0;
}

LineEvent::~LineEvent() {
    pthread_mutex_destroy(&event_.eMutex);
    pthread_cond_destroy(&event_.eCondVar);
}

void LineEvent::WaitUnless(const std::function<bool()>& ready, std::uint32_t ms) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&event_.eMutex);
    // One wait, not a loop on a predicate: the library's signal sets no flag, and a wake-up
    // that was not one only costs the caller an extra look at the queue.
    if (event_.iVar == 0 && !ready()) {
        pthread_cond_timedwait(&event_.eCondVar, &event_.eMutex, &deadline);
    }
    event_.iVar = 0;
    pthread_mutex_unlock(&event_.eMutex);
}

void LineEvent::Wake() {
    pthread_mutex_lock(&event_.eMutex);
    event_.iVar = 1;
    pthread_cond_broadcast(&event_.eCondVar);
    pthread_mutex_unlock(&event_.eMutex);
}

}  // namespace usbline
