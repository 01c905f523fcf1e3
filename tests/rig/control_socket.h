#pragma once
// The control channel of the simulator front ends: a unix stream socket that takes command lines
// and answers each with one reply line. Any number of clients, one after another or at once.
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace rig {

class ControlServer {
public:
    using Handler = std::function<std::string(const std::string& line)>;  // the reply, no line end

    // Binds `path` (a stale socket file there is replaced; any other file is not), listens and
    // starts serving on a thread of its own. Throws std::runtime_error on failure.
    ControlServer(std::string path, Handler handler);
    ~ControlServer();  // stops serving and removes the socket file
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    const std::string& Path() const { return path_; }

private:
    void Serve();

    std::string path_;
    Handler handler_;
    int listen_ = -1;
    int wake_ = -1;
    std::thread thread_;
};

// A client connection: one command, one reply.
class ControlClient {
public:
    // Connects, retrying until timeoutMs has passed (the server may still be starting).
    explicit ControlClient(const std::string& path, int timeoutMs = 0);
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // Sends one line and waits for its reply line; nothing on a broken connection or time-out.
    std::optional<std::string> Send(const std::string& line, int timeoutMs = 10000);

private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace rig
