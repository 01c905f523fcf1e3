// reader-sim: the reader simulator on a pseudo-terminal bound to a COM number by a link "comN" in
// the port folder, driven by command lines from standard input and/or a control socket.
//
//   reader-sim [--com N] [--ports DIR] [--control SOCKET] [--script FILE] [--demo SECONDS]
//              [--latency MS]
//   reader-sim --send SOCKET COMMAND...      one command to a running simulator; prints the reply
//
// Replies go to standard output, one line per command. The end of standard input ends the
// program unless a control socket or the demo keeps it running; SIGINT and SIGTERM end it too.
// On the way out the link is removed.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "control_socket.h"
#include "front_end.h"
#include "platform/serial_ports.h"
#include "reader_sim/pty_attachment.h"
#include "sim_console.h"

namespace {

constexpr int kDefaultCom = 9;

// The pty line, bound to its COM number while plugged.
class PtyComPort final : public rig::SimPort {
public:
    PtyComPort(tapwedge::sim::ReaderSim& sim, int number, std::string folder)
        : sim_(sim), number_(number), folder_(std::move(folder)), link_(folder_ + "/com" + std::to_string(number)) {}
    ~PtyComPort() override { Unbind(); }

    // Plugs in and binds; "" or the reason it cannot.
    std::string Start() {
        const std::string refusal = CheckLinkFree();
        if (!refusal.empty()) return refusal;
        Plug();
        return "";
    }

    void Plug() override {
        pty_.reset();  // the old line lets go of the simulator first
        pty_ = std::make_unique<tapwedge::sim::PtyAttachment>(sim_);
        std::error_code ignored;
        std::filesystem::create_directories(folder_, ignored);
        unlink(link_.c_str());
        if (symlink(pty_->SlavePath().c_str(), link_.c_str()) != 0)
            std::cerr << "reader-sim: cannot link " << link_ << ": " << std::strerror(errno) << "\n";
    }
    void Unplug() override {
        Unbind();
        if (pty_) pty_->Unplug();
    }
    bool Plugged() const override { return pty_ && !pty_->Unplugged(); }
    std::string Describe() const override {
        return "COM" + std::to_string(number_) + "=" + (pty_ ? pty_->SlavePath() : std::string("-"));
    }
    const std::string& Link() const { return link_; }

private:
    // A link to another live device (a real reader, another simulator) is left alone; a stale
    // link or one to a pseudo-terminal nobody serves any more is replaced.
    std::string CheckLinkFree() const {
        DIR* dir = opendir(folder_.c_str());
        if (dir == nullptr) return "";
        std::string found;
        const std::string name = "com" + std::to_string(number_);
        while (const dirent* entry = readdir(dir))
            if (strcasecmp(entry->d_name, name.c_str()) == 0) found = folder_ + "/" + entry->d_name;
        closedir(dir);
        if (found.empty()) return "";
        struct stat info {};
        if (lstat(found.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return found + " exists and is not a link; choose another --com";
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(found, error);
        const bool stale = stat(found.c_str(), &info) != 0;
        const bool pty = target.string().rfind("/dev/pts/", 0) == 0;
        if (!stale && !pty) return found + " binds COM" + std::to_string(number_) + " to " + target.string() +
                                   "; choose another --com";
        if (pty && !stale && PtyInUse(target.string()))
            return found + " is served by another simulator (" + target.string() + "); choose another --com";
        unlink(found.c_str());
        return "";
    }
    // A pty whose master is gone reports a hang-up to a reader of its slave.
    static bool PtyInUse(const std::string& slave) {
        const int fd = open(slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        pollfd p{fd, POLLIN, 0};
        const bool hungUp = poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
        close(fd);
        return !hungUp;
    }
    void Unbind() {
        std::error_code error;
        if (pty_ && std::filesystem::read_symlink(link_, error) == pty_->SlavePath()) unlink(link_.c_str());
    }

    tapwedge::sim::ReaderSim& sim_;
    int number_;
    std::string folder_;
    std::string link_;
    std::unique_ptr<tapwedge::sim::PtyAttachment> pty_;
};

int Usage() {
    std::cerr << "usage: reader-sim [--com N] [--ports DIR] [--control SOCKET] [--script FILE]\n"
                 "                  [--demo SECONDS] [--latency MS]\n"
                 "       reader-sim --send SOCKET COMMAND...\n"
              << rig::SimConsole::Help() << "\n";
    return 2;
}

int Send(int argc, char** argv) {
    if (argc < 4) return Usage();
    std::string line;
    for (int i = 3; i < argc; ++i) line += (i > 3 ? " " : "") + std::string(argv[i]);
    rig::ControlClient client(argv[2], 5000);
    if (!client.Connected()) {
        std::cerr << "reader-sim: no simulator listens on " << argv[2] << "\n";
        return 1;
    }
    const std::optional<std::string> reply = client.Send(line, 70000);
    if (!reply) {
        std::cerr << "reader-sim: no reply\n";
        return 1;
    }
    std::cout << *reply << "\n";
    return reply->rfind("ok", 0) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--send") == 0) return Send(argc, argv);

    int com = kDefaultCom;
    std::string ports = platform::SerialPortFolder(), control, script, demo, latency;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (option == "--com") com = std::atoi(value);
        else if (option == "--ports") ports = value;
        else if (option == "--control") control = value;
        else if (option == "--script") script = value;
        else if (option == "--demo") demo = value;
        else if (option == "--latency") latency = value;
        else return Usage();
    }
    if (com < platform::kMinComNumber || com > platform::kMaxComNumber || ports.empty()) return Usage();

    // Signals arrive through a descriptor; every thread started below inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    const int quitFd = eventfd(0, EFD_CLOEXEC);

    tapwedge::sim::ReaderSim sim;
    rig::SetUpReader(sim);
    PtyComPort port(sim, com, ports);
    if (const std::string refusal = port.Start(); !refusal.empty()) {
        std::cerr << "reader-sim: " << refusal << "\n";
        return 1;
    }
    rig::SimConsole console(sim, port, [quitFd] {
        const std::uint64_t one = 1;
        if (write(quitFd, &one, sizeof one) < 0) { /* the main loop still ends on a signal */ }
    });
    std::cerr << "reader-sim: " << port.Describe() << " (link " << port.Link() << ")\n";

    auto runOrFail = [&](const std::string& line) {
        const std::string reply = console.Run(line);
        if (reply.rfind("error", 0) == 0) {
            std::cerr << "reader-sim: " << line << ": " << reply << "\n";
            return false;
        }
        return true;
    };
    if (!script.empty()) {
        if (const std::string error = rig::RunScript(console, script); !error.empty()) {
            std::cerr << "reader-sim: " << error << "\n";
            return 1;
        }
    }
    if (!latency.empty() && !runOrFail("latency " + latency)) return 1;
    if (!demo.empty() && !(runOrFail("add standard") && runOrFail("demo " + demo))) return 1;

    // Commands come from standard input and from the socket's thread: one at a time, since the
    // port (plug, unplug, its description) is not shared otherwise.
    std::mutex consoleMu;
    auto run = [&](const std::string& line) {
        std::lock_guard lock(consoleMu);
        return console.Run(line);
    };
    // Described before the control socket can change the port.
    const std::string ready = "ready " + port.Describe();
    std::unique_ptr<rig::ControlServer> server;
    if (!control.empty()) {
        try {
            server = std::make_unique<rig::ControlServer>(control, run);
        } catch (const std::exception& e) {
            std::cerr << "reader-sim: " << e.what() << "\n";
            return 1;
        }
    }
    std::cout << ready << std::endl;

    bool stdinOpen = true;
    std::string pending;
    for (;;) {
        pollfd fds[3] = {{signalFd, POLLIN, 0}, {quitFd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents || fds[1].revents) break;
        if (fds[2].revents) {
            char chunk[512];
            const ssize_t n = read(0, chunk, sizeof chunk);
            if (n <= 0) {
                stdinOpen = false;
                if (!server && demo.empty()) break;
                continue;
            }
            pending.append(chunk, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string reply = run(pending.substr(0, end));
                pending.erase(0, end + 1);
                if (!reply.empty()) std::cout << reply << std::endl;
            }
        }
    }
    server.reset();
    return 0;
}
