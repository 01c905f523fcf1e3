#pragma once
// Where the simulated reader's bytes go: one attachment (pty, fake D2XX device) per simulator.
#include <cstddef>
#include <cstdint>

namespace tapwedge::sim {

class Link {
public:
    virtual ~Link() = default;
    // Hands one chunk of reader output to the host side; called on the simulator's sender thread.
    virtual void Deliver(const std::uint8_t* data, std::size_t count) = 0;
};

}  // namespace tapwedge::sim
