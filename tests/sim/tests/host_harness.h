#pragma once
// A minimal host for the simulator's own tests: raw frame bytes over the pty, no library code.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "reader_sim/frames.h"

namespace tapwedge::sim::testing {

class PtyHost {
public:
    explicit PtyHost(const std::string& path);
    ~PtyHost();
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    void Write(const Bytes& bytes);
    void SendCommand(const Bytes& data) { Write(BuildFrame(data)); }
    // Reads until `count` bytes arrived or the time is up; returns what arrived.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout);
    // Reads for the whole time.
    Bytes ReadFor(std::chrono::milliseconds time);
    // Reads the ACK and one reply frame; returns the reply's data bytes (empty on a time-out).
    Bytes Exchange(const Bytes& command_data, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    // Reads one complete frame after an optional ACK; returns its data bytes (empty on a time-out).
    Bytes ReadReplyData(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
};

}  // namespace tapwedge::sim::testing
