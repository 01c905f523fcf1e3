#include "reader_sim/pty_attachment.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "reader_sim/thread_name.h"

namespace tapwedge::sim {

PtyAttachment::PtyAttachment(ReaderSim& sim) : sim_(sim) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        CloseFds();
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        CloseFds();
        throw std::runtime_error("no pseudo-terminal name");
    }
    slave_path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC);
    if (slave_ < 0 || wake_ < 0) {
        CloseFds();
        throw std::runtime_error("cannot open the pseudo-terminal");
    }
    // Raw until the host sets its own mode: no echo, no line editing, no CR/LF translation.
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    sim_.SetLink(this);
    reader_ = std::thread([this] { ReadLoop(); });
}

PtyAttachment::~PtyAttachment() {
    sim_.SetLink(nullptr);
    const std::uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) { /* the thread also ends on a closed master */ }
    reader_.join();
    CloseFds();
}

void PtyAttachment::CloseFds() {
    std::lock_guard lock(fd_mu_);
    for (int* fd : {&master_, &slave_, &wake_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void PtyAttachment::Unplug() {
    if (unplugged_.exchange(true)) return;
    sim_.OnUnplugged();
    const std::uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) { /* reader ends anyway */ }
    reader_.join();
    std::lock_guard lock(fd_mu_);
    for (int* fd : {&master_, &slave_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    // A fresh thread object so that the destructor's join is harmless.
    reader_ = std::thread([] {});
}

void PtyAttachment::Deliver(const std::uint8_t* data, std::size_t count) {
    std::lock_guard lock(fd_mu_);
    if (unplugged_.load() || master_ < 0) return;
    while (count > 0) {
        ssize_t n = write(master_, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
}

void PtyAttachment::ReadLoop() {
    NameThisThread("pty");
    std::uint8_t buf[512];
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                sim_.OnHostBytes(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) return;
        // POLLHUP cannot happen while our own slave fd is open; guard against a busy loop anyway.
        if (fds[0].revents & POLLHUP) usleep(1000);
    }
}

}  // namespace tapwedge::sim
