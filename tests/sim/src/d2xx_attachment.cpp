#include "reader_sim/d2xx_attachment.h"

#include <deque>
#include <memory>

#include "fake_ftdi_control.h"

namespace tapwedge::sim {

// The peer context handed to the fake. The fake may still be inside a callback with it after
// the peer was detached, so gates are never freed while the process runs: a detached gate
// simply drops what arrives. A registry keeps them reachable.
struct D2xxAttachment::Gate {
    std::mutex mu;
    ReaderSim* sim = nullptr;

    static Gate* Make() {
        static std::mutex registry_mu;
        static std::deque<std::unique_ptr<Gate>> registry;
        std::lock_guard lock(registry_mu);
        registry.push_back(std::make_unique<Gate>());
        return registry.back().get();
    }
    static void OnHostWrite(void* context, const std::uint8_t* data, std::size_t count) {
        auto* gate = static_cast<Gate*>(context);
        std::lock_guard lock(gate->mu);
        if (gate->sim != nullptr) gate->sim->OnHostBytes(data, count);
    }
};

D2xxAttachment::D2xxAttachment(ReaderSim& sim, std::string description, std::string serial,
                               std::uint32_t location)
    : sim_(sim), description_(std::move(description)), serial_(std::move(serial)), location_(location) {
    {
        std::lock_guard lock(mu_);
        Plug();
    }
    // Outside mu_: the output thread delivers under the link lock and then takes mu_.
    sim_.SetLink(this);
}

D2xxAttachment::~D2xxAttachment() {
    sim_.SetLink(nullptr);
    Unplug();
}

namespace {
constexpr std::uint32_t kCtsOn = 0x10;
constexpr std::uint32_t kDsrOn = 0x20;
}  // namespace

void D2xxAttachment::Plug() {
    id_ = FakeFtdiAddDevice(description_.c_str(), serial_.c_str(), location_);
    gate_ = Gate::Make();
    gate_->sim = &sim_;
    FakeFtdiSetPeer(id_, &Gate::OnHostWrite, gate_);
    // A powered reader holds DSR and CTS up while it is plugged in.
    FakeFtdiSetModemStatus(id_, kDsrOn | kCtsOn);
}

int D2xxAttachment::DeviceId() const {
    std::lock_guard lock(mu_);
    return id_;
}

bool D2xxAttachment::Unplugged() const {
    std::lock_guard lock(mu_);
    return id_ < 0;
}

void D2xxAttachment::Unplug() {
    {
        std::lock_guard lock(mu_);
        if (id_ < 0) return;
        {
            std::lock_guard gate_lock(gate_->mu);
            gate_->sim = nullptr;
        }
        FakeFtdiSetPeer(id_, nullptr, nullptr);
        FakeFtdiRemoveDevice(id_);
        id_ = -1;
        gate_ = nullptr;
    }
    sim_.OnUnplugged();
}

void D2xxAttachment::Replug() {
    std::lock_guard lock(mu_);
    if (id_ >= 0) return;
    Plug();
}

void D2xxAttachment::Deliver(const std::uint8_t* data, std::size_t count) {
    std::lock_guard lock(mu_);
    if (id_ >= 0) FakeFtdiPushReceive(id_, data, count);
}

}  // namespace tapwedge::sim
