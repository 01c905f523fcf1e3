#include "comline/comm_dll.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <mutex>
#include <thread>

#include "line_settings.h"
#include "platform/clock.h"
#include "platform/exception_handler.h"
#include "platform/serial_ports.h"
#include "platform/thread.h"

namespace {

constexpr int kPollMs = 100;         // the loop also looks at its terminate flag this often
constexpr int kWriteStallMs = 1000;  // a write that cannot progress for this long fails
constexpr std::uint32_t kHangupPauseMs = 10;

// Waits for bytes on the line (or for the wake-up of Close) and reports them to OnReceive.
class ReceiveThread : public platform::Thread {
public:
    ReceiveThread(CommDll* owner, int line, int wake) : owner_(owner), line_(line), wake_(wake) {}
    ~ReceiveThread() override { WaitFor(); }

    bool IsCurrent() const { return id_.load(std::memory_order_acquire) == std::this_thread::get_id(); }

protected:
    void Execute() override {
        id_.store(std::this_thread::get_id(), std::memory_order_release);
        pollfd fds[2] = {{line_, POLLIN, 0}, {wake_, POLLIN, 0}};
        while (!Terminated()) {
            if (poll(fds, 2, kPollMs) <= 0 || fds[1].revents != 0) continue;
            if (fds[0].revents & POLLIN) {
                Deliver();
            } else if (fds[0].revents != 0) {
                // Hang-up (the other end of a pty closed) or error: poll would return at once.
                platform::SleepMs(kHangupPauseMs);
            }
        }
    }

private:
    static int Waiting(int fd) {
        int count = 0;
        return ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
    }

    void Deliver() {
        const int count = Waiting(line_);
        if (count > 0 && owner_->OnReceive.Assigned()) {
            try {
                owner_->OnReceive(owner_, static_cast<std::uint32_t>(count));
            } catch (...) {
                platform::HandleException(this, std::current_exception());
            }
        }
        // Bytes left unread (no receiver, or it took only part) are reported again later,
        // without spinning on a line that stays readable.
        if (Waiting(line_) > 0) platform::SleepMs(1);
    }

    CommDll* owner_;
    int line_;
    int wake_;
    std::atomic<std::thread::id> id_{};
};

}  // namespace

struct CommDll::Impl {
    std::mutex mutex;  // Open, Close and Write
    std::atomic<int> fd{-1};
    int wake = -1;
    std::unique_ptr<ReceiveThread> thread;

    void CloseLocked() {
        if (thread) {
            thread->Terminate();
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(wake, &one, sizeof one);
            thread->WaitFor();
            thread.reset();
        }
        const int line = fd.exchange(-1);
        if (line >= 0) close(line);  // also drops the lock of the port
        if (wake >= 0) close(wake);
        wake = -1;
    }
};

CommDll::CommDll(CommDll*) : impl_(std::make_unique<Impl>()) {}

CommDll::~CommDll() { Close(); }

bool CommDll::IsOpen() const { return impl_->fd.load() >= 0; }

int CommDll::Open(COMMPR line) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->thread && impl_->thread->IsCurrent()) return -1;  // from inside OnReceive
    impl_->CloseLocked();

    const std::string path = platform::SerialPortPath(line.Port);
    if (line.Port == 0 || path.empty()) return -1;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;

    termios settings{};
    termios applied{};
    speed_t speed{};
    const bool ok = isatty(fd) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                    tcgetattr(fd, &settings) == 0 && comline::ApplyLine(line, &settings) &&
                    tcsetattr(fd, TCSANOW, &settings) == 0 && tcgetattr(fd, &applied) == 0 &&
                    comline::SpeedOf(line.BaudRate, &speed) && cfgetospeed(&applied) == speed &&
                    (applied.c_cflag & CSIZE) == (settings.c_cflag & CSIZE);
    const int wake = ok ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (wake < 0) {
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);

    impl_->fd.store(fd);
    impl_->wake = wake;
    try {
        impl_->thread = std::make_unique<ReceiveThread>(this, fd, wake);
        impl_->thread->Start("com-receive");
    } catch (...) {
        impl_->thread.reset();
        impl_->CloseLocked();
        return -1;
    }
    return 0;
}

int CommDll::Close() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    // Close waits for the receive thread: from inside OnReceive that would never return.
    if (impl_->thread && impl_->thread->IsCurrent()) return -1;
    impl_->CloseLocked();
    return 0;
}

int CommDll::Read(unsigned char* buffer, unsigned long length) {
    const int fd = impl_->fd.load();
    if (fd < 0 || buffer == nullptr) return -1;
    if (length == 0) return 0;
    for (;;) {
        const ssize_t n = read(fd, buffer, length);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

int CommDll::Write(const unsigned char* buffer, unsigned long length) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const int fd = impl_->fd.load();
    if (fd < 0 || (buffer == nullptr && length > 0)) return -1;
    unsigned long done = 0;
    while (done < length) {
        const ssize_t n = write(fd, buffer + done, length - done);
        if (n > 0) {
            done += static_cast<unsigned long>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return -1;
        pollfd out{fd, POLLOUT, 0};
        if (poll(&out, 1, kWriteStallMs) <= 0 || !(out.revents & POLLOUT)) return -1;
    }
    return 0;
}
