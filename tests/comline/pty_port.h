#pragma once
// A pseudo-terminal bound to a COM number through a temporary port folder: the test holds the
// master end, the code under test opens COM n and gets the slave end.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/serial_ports.h"

class PtyPort {
public:
    explicit PtyPort(int comNumber) {
        char folder[] = "/tmp/tapwedge-ports-XXXXXX";
        if (!mkdtemp(folder)) throw std::runtime_error("mkdtemp");
        folder_ = folder;
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("posix_openpt");
        }
        slave_ = ptsname(master_);
        Bind(comNumber);
        platform::SetSerialPortFolder(folder_);
    }
    ~PtyPort() {
        platform::SetSerialPortFolder("");
        if (master_ >= 0) close(master_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Binds one more COM number to the same terminal.
    void Bind(int comNumber) {
        const std::string link = folder_ + "/com" + std::to_string(comNumber);
        if (symlink(slave_.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink");
    }

    int master() const { return master_; }
    const std::string& slavePath() const { return slave_; }
    const std::string& folder() const { return folder_; }

    void Send(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) throw std::runtime_error("write to pty master");
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until `count` bytes arrived or `limit` passed; returns what arrived.
    std::vector<std::uint8_t> Receive(std::size_t count,
                                      std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) const {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (got.size() < count) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd in{master_, POLLIN, 0};
            if (poll(&in, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) break;
            if (!(in.revents & POLLIN)) break;
            std::uint8_t buffer[512];
            const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    std::string folder_;
    std::string slave_;
    int master_ = -1;
};
