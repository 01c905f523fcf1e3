#include "control_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "reader_sim/thread_name.h"

namespace rig {
namespace {

constexpr std::size_t kMaxLine = 4096;

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ControlServer::ControlServer(std::string path, Handler handler)
    : path_(std::move(path)), handler_(std::move(handler)) {
    sockaddr_un address{};
    if (!FillAddress(path_, address)) throw std::runtime_error("control socket path too long: " + path_);
    struct stat info {};
    if (lstat(path_.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) throw std::runtime_error(path_ + " exists and is not a socket");
        unlink(path_.c_str());
    }
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wake_ = eventfd(0, EFD_CLOEXEC);
    if (listen_ < 0 || wake_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_, 8) != 0) {
        const std::string reason = std::strerror(errno);
        if (listen_ >= 0) close(listen_);
        if (wake_ >= 0) close(wake_);
        throw std::runtime_error("cannot listen on " + path_ + ": " + reason);
    }
    thread_ = std::thread([this] { Serve(); });
}

ControlServer::~ControlServer() {
    const std::uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) { /* the thread then ends with the process */ }
    thread_.join();
    close(listen_);
    close(wake_);
    unlink(path_.c_str());
}

void ControlServer::Serve() {
    tapwedge::sim::NameThisThread("control");
    std::map<int, std::string> clients;  // fd -> bytes of an unfinished line
    for (;;) {
        std::vector<pollfd> fds = {{wake_, POLLIN, 0}, {listen_, POLLIN, 0}};
        for (const auto& [fd, _] : clients) fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) break;
        if (fds[1].revents & POLLIN) {
            const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) clients[fd];
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            const int fd = fds[i].fd;
            std::string& buffer = clients[fd];
            char chunk[512];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            bool keep = n > 0 || (n < 0 && errno == EINTR);
            if (n > 0) buffer.append(chunk, static_cast<std::size_t>(n));
            for (std::size_t end; keep && (end = buffer.find('\n')) != std::string::npos;) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                const std::string reply = handler_(line);
                if (!reply.empty()) keep = WriteAll(fd, reply + "\n");
            }
            if (keep && buffer.size() > kMaxLine) {
                WriteAll(fd, "error line too long\n");
                keep = false;
            }
            if (!keep) {
                close(fd);
                clients.erase(fd);
            }
        }
    }
    for (const auto& [fd, _] : clients) close(fd);
}

ControlClient::ControlClient(const std::string& path, int timeoutMs) {
    sockaddr_un address{};
    if (!FillAddress(path, address)) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return;
        close(fd_);
        fd_ = -1;
        if (std::chrono::steady_clock::now() >= deadline) return;
        usleep(20000);
    }
}

ControlClient::~ControlClient() {
    if (fd_ >= 0) close(fd_);
}

std::optional<std::string> ControlClient::Send(const std::string& line, int timeoutMs) {
    if (fd_ < 0 || !WriteAll(fd_, line + "\n")) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string reply = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[512];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace rig
