#pragma once
// Attaches a ReaderSim to a device of the fake D2XX library (tests/fakes): the host finds it
// in the device listing and opens it by serial number. The test executable must link the fake.
#include <cstdint>
#include <mutex>
#include <string>

#include "reader_sim/link.h"
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

class D2xxAttachment final : public Link {
public:
    // Plugs in a fake device wired to `sim`, with DSR and CTS on.
    explicit D2xxAttachment(ReaderSim& sim, std::string description = "QT58-V",
                            std::string serial = "SIM00001", std::uint32_t location = 0x0101);
    ~D2xxAttachment() override;
    D2xxAttachment(const D2xxAttachment&) = delete;
    D2xxAttachment& operator=(const D2xxAttachment&) = delete;

    int DeviceId() const;
    // Removes the device from the fake (every call on an open handle to it then fails).
    void Unplug();
    // Plugs a new device with the same description and serial number in again.
    void Replug();
    bool Unplugged() const;

    void Deliver(const std::uint8_t* data, std::size_t count) override;

private:
    struct Gate;
    void Plug();

    ReaderSim& sim_;
    std::string description_;
    std::string serial_;
    std::uint32_t location_;
    mutable std::mutex mu_;
    int id_ = -1;
    Gate* gate_ = nullptr;
};

}  // namespace tapwedge::sim
