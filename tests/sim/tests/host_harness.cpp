#include "host_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace tapwedge::sim::testing {

using namespace std::chrono;

PtyHost::PtyHost(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
}

PtyHost::~PtyHost() {
    if (fd_ >= 0) close(fd_);
}

void PtyHost::Write(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

Bytes PtyHost::Read(std::size_t count, milliseconds timeout) {
    Bytes got;
    const auto end = steady_clock::now() + timeout;
    while (got.size() < count) {
        auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        std::uint8_t buf[256];
        ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

Bytes PtyHost::ReadFor(milliseconds time) { return Read(SIZE_MAX, time); }

Bytes PtyHost::ReadReplyData(milliseconds timeout) {
    const auto end = steady_clock::now() + timeout;
    auto left = [&] { return duration_cast<milliseconds>(end - steady_clock::now()); };
    // Hunt for 00 00 FF, skip ACKs, then LEN LCS data DCS 00.
    int zeros = 0;
    for (;;) {
        Bytes b = Read(1, left());
        if (b.empty()) return {};
        if (b[0] == 0x00) {
            ++zeros;
            continue;
        }
        if (b[0] != 0xFF || zeros < 2) {
            zeros = 0;
            continue;
        }
        zeros = 0;
        Bytes head = Read(2, left());
        if (head.size() < 2) return {};
        if (head[0] == 0x00 && head[1] == 0xFF) {  // ACK: eat its postamble
            Read(1, left());
            continue;
        }
        Bytes rest = Read(head[0] + 2u, left());
        if (rest.size() < head[0] + 2u) return {};
        return Bytes(rest.begin(), rest.begin() + head[0]);
    }
}

Bytes PtyHost::Exchange(const Bytes& command_data, milliseconds timeout) {
    SendCommand(command_data);
    return ReadReplyData(timeout);
}

}  // namespace tapwedge::sim::testing
