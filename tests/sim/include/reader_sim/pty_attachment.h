#pragma once
// Attaches a ReaderSim to a pseudo-terminal: the host opens SlavePath() as its serial line.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "reader_sim/link.h"
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

class PtyAttachment final : public Link {
public:
    // Opens the pty pair (raw mode) and starts the thread that reads the host's bytes.
    // Throws std::runtime_error when no pty can be had.
    explicit PtyAttachment(ReaderSim& sim);
    ~PtyAttachment() override;
    PtyAttachment(const PtyAttachment&) = delete;
    PtyAttachment& operator=(const PtyAttachment&) = delete;

    const std::string& SlavePath() const { return slave_path_; }
    // Pulls the plug: the master closes, the host's line hangs up, nothing more goes either way.
    void Unplug();
    bool Unplugged() const { return unplugged_.load(); }

    void Deliver(const std::uint8_t* data, std::size_t count) override;

private:
    void ReadLoop();
    void CloseFds();

    ReaderSim& sim_;
    std::string slave_path_;
    int master_ = -1;
    int slave_ = -1;   // kept open so the line survives the host closing and reopening it
    int wake_ = -1;    // eventfd that stops the reader thread
    std::atomic<bool> unplugged_{false};
    std::mutex fd_mu_;
    std::thread reader_;
};

}  // namespace tapwedge::sim
