#pragma once
// A small X session manager (XSMP over ICE, libSM) for tests of how a program meets the end of
// the desktop session: programs started with SESSION_MANAGER = Address() register with it, and
// the test asks it for a checkpoint (SaveYourself, shutdown False) or a logout (SaveYourself
// with shutdown, then Die), as a desktop's "Save session" and "Log out" do. Its ICE connections
// live on a thread of their own; every call waits a bounded time.
#include <memory>
#include <string>

namespace rig {

class SessionManager {
public:
    SessionManager();
    ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // "" when it listens, else why not.
    const std::string& Error() const { return error_; }
    // The value of SESSION_MANAGER for its clients.
    const std::string& Address() const { return address_; }

    // Until `count` clients are registered; false after timeoutMs.
    bool WaitForClients(int count, int timeoutMs);
    // SaveYourself (type Both, no interaction) to every registered client; true once each has
    // answered SaveYourselfDone. A checkpoint (shutdown false) then ends with SaveComplete.
    bool SaveYourself(bool shutdown, int timeoutMs);
    // Die to every registered client; true once each has closed its connection.
    bool Die(int timeoutMs);
    // Clients registered and not gone.
    int Clients();
    // The restart style (SmRestartIfRunning 0 ... SmRestartNever 3) that the first registered
    // client last asked for, or -1 while it has asked for none.
    int RestartStyleHint();

    struct State;  // the thread's, opaque

private:
    std::unique_ptr<State> state_;
    std::string error_;
    std::string address_;
};

}  // namespace rig
