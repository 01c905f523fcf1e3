// Faults drawn at random for card commands, for long runs of a program against the reader: a
// lost reply, line noise before a reply, and in an encrypted session a reply sealed with a bad
// MAC or the wrong counter.
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

constexpr std::size_t kMaxGarbage = 16;

std::size_t IndexOf(RandomFault kind) { return static_cast<std::size_t>(kind); }

}  // namespace

void ReaderSim::SetRandomFault(RandomFault kind, double probability) {
    std::lock_guard lock(mu_);
    random_faults_[IndexOf(kind)] = probability < 0 ? 0 : probability > 1 ? 1 : probability;
}

void ReaderSim::SeedRandomFaults(std::uint64_t seed) {
    std::lock_guard lock(mu_);
    random_.seed(seed);
}

SimCounts ReaderSim::Counts() const {
    std::lock_guard lock(mu_);
    return counts_;
}

std::optional<Fault> ReaderSim::DrawRandomFault(bool sealed) {
    // One draw picks at most one fault: each kind takes its own share of [0, 1).
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    double below = 0;
    for (RandomFault kind : {RandomFault::NoReply, RandomFault::Garbage, RandomFault::BadMac,
                             RandomFault::WrongCounter}) {
        const bool seal = kind == RandomFault::BadMac || kind == RandomFault::WrongCounter;
        if (seal && !sealed) continue;
        below += random_faults_[IndexOf(kind)];
        if (u >= below) continue;
        ++counts_.faults[IndexOf(kind)];
        Fault fault;
        switch (kind) {
        case RandomFault::NoReply: fault.no_reply = true; break;
        case RandomFault::BadMac: fault.bad_mac = true; break;
        case RandomFault::WrongCounter: fault.wrong_counter = true; break;
        case RandomFault::Garbage: {
            // Any bytes at all, as noise on the line would bring.
            const std::size_t n = std::uniform_int_distribution<std::size_t>(1, kMaxGarbage)(random_);
            std::uniform_int_distribution<int> byte(0, 255);
            for (std::size_t i = 0; i < n; ++i) fault.garbage.push_back(static_cast<std::uint8_t>(byte(random_)));
            break;
        }
        }
        return fault;
    }
    return std::nullopt;
}

}  // namespace tapwedge::sim
