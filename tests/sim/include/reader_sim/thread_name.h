#pragma once
// The simulator's threads carry names that begin with "sim-", so that a measurement of a
// process that hosts the simulator (the preloaded one runs inside the program) can tell them
// from the program's own threads.
#include <pthread.h>

#include <string>

namespace tapwedge::sim {

inline constexpr const char kThreadNamePrefix[] = "sim-";

// Names the calling thread "sim-<what>", cut to the 15 bytes a thread name holds.
inline void NameThisThread(const char* what) {
    const std::string name = (kThreadNamePrefix + std::string(what)).substr(0, 15);
    pthread_setname_np(pthread_self(), name.c_str());
}

}  // namespace tapwedge::sim
