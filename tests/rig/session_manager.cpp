#include "session_manager.h"

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rig {
namespace {

struct Client {
    SmsConn sms = nullptr;
    bool registered = false;
    bool saved = false;
    bool gone = false;
    int restartStyle = -1;  // the RestartStyleHint property last set, -1 none
};

// libICE's default handlers end the process when a client goes away.
void IgnoreIoError(IceConn) {}
void IgnoreError(IceConn, Bool, int, unsigned long, int, int, IcePointer) {}
Bool AnyHost(char*) { return True; }

}  // namespace

struct SessionManager::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Client>> clients;  // flags under the mutex; ICE calls on the thread
    std::vector<std::function<void()>> requests;  // run on the thread
    int posted = 0;                               // requests posted, and run (under the mutex)
    int ran = 0;
    std::vector<IceConn> connections;             // the thread's alone
    IceListenObj* listen = nullptr;
    int listenCount = 0;
    int wake[2] = {-1, -1};
    std::atomic<bool> stop{false};
    std::thread thread;

    void Run();
    // Runs request on the thread, under the mutex; its ticket, which `ran` reaches once it ran.
    int Post(std::function<void()> request);
    bool WaitUntil(int timeoutMs, const std::function<bool()>& done);
    Client* Adopt(SmsConn sms);
};

namespace {

// One manager per process at a time: libSM keeps its new-client procedure process-wide.
SessionManager::State* current = nullptr;

Client* Of(SmPointer data) { return static_cast<Client*>(data); }

void Changed(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(current->mutex);
    change();
    current->changed.notify_all();
}

Status RegisterClient(SmsConn sms, SmPointer data, char* previousId) {
    char* id = SmsGenerateClientID(sms);
    char fallback[] = "tapwedge-rig-client";
    const Status replied = SmsRegisterClientReply(sms, id != nullptr ? id : fallback);
    std::free(id);
    std::free(previousId);
    Changed([&] { Of(data)->registered = true; });
    return replied;
}

void InteractRequest(SmsConn sms, SmPointer, int) { SmsInteract(sms); }
void InteractDone(SmsConn, SmPointer, Bool) {}
void SaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void SaveYourselfPhase2Request(SmsConn sms, SmPointer) { SmsSaveYourselfPhase2(sms); }
void SaveYourselfDone(SmsConn, SmPointer data, Bool) {
    Changed([&] { Of(data)->saved = true; });
}
void CloseConnection(SmsConn sms, SmPointer data, int count, char** reasons) {
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(sms);
    SmsCleanUp(sms);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    Changed([&] {
        Of(data)->gone = true;
        Of(data)->sms = nullptr;
    });
}
void SetProperties(SmsConn, SmPointer data, int count, SmProp** properties) {
    for (int i = 0; i < count; ++i) {
        const SmProp& property = *properties[i];
        if (std::strcmp(property.name, SmRestartStyleHint) == 0 && property.num_vals == 1 &&
            property.vals[0].length >= 1) {
            const int style = *static_cast<const unsigned char*>(property.vals[0].value);
            Changed([&] { Of(data)->restartStyle = style; });
        }
        SmFreeProperty(properties[i]);
    }
    std::free(properties);
}
void DeleteProperties(SmsConn, SmPointer, int count, char** names) {
    for (int i = 0; i < count; ++i) std::free(names[i]);
    std::free(names);
}
void GetProperties(SmsConn sms, SmPointer) { SmsReturnProperties(sms, 0, nullptr); }

Status NewClient(SmsConn sms, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**) {
    Client* client = current->Adopt(sms);
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    callbacks->register_client = {RegisterClient, client};
    callbacks->interact_request = {InteractRequest, client};
    callbacks->interact_done = {InteractDone, client};
    callbacks->save_yourself_request = {SaveYourselfRequest, client};
    callbacks->save_yourself_phase2_request = {SaveYourselfPhase2Request, client};
    callbacks->save_yourself_done = {SaveYourselfDone, client};
    callbacks->close_connection = {CloseConnection, client};
    callbacks->set_properties = {SetProperties, client};
    callbacks->delete_properties = {DeleteProperties, client};
    callbacks->get_properties = {GetProperties, client};
    return 1;
}

}  // namespace

Client* SessionManager::State::Adopt(SmsConn sms) {
    std::lock_guard<std::mutex> lock(mutex);
    clients.push_back(std::make_unique<Client>());
    clients.back()->sms = sms;
    return clients.back().get();
}

int SessionManager::State::Post(std::function<void()> request) {
    int ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back([this, request = std::move(request)] {
            std::lock_guard<std::mutex> lock(mutex);
            request();
            ++ran;
            changed.notify_all();
        });
        ticket = ++posted;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake[1], &byte, 1);
    return ticket;
}

bool SessionManager::State::WaitUntil(int timeoutMs, const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

void SessionManager::State::Run() {
    while (!stop.load()) {
        std::vector<pollfd> fds{{wake[0], POLLIN, 0}};
        for (int i = 0; i < listenCount; ++i)
            fds.push_back({IceGetListenConnectionNumber(listen[i]), POLLIN, 0});
        for (IceConn c : connections) fds.push_back({IceConnectionNumber(c), POLLIN, 0});
        if (poll(fds.data(), fds.size(), 100) <= 0) continue;

        if (fds[0].revents != 0) {
            char bytes[64];
            while (read(wake[0], bytes, sizeof bytes) > 0) {
            }
            std::vector<std::function<void()>> due;
            {
                std::lock_guard<std::mutex> lock(mutex);
                due.swap(requests);
            }
            for (auto& request : due) request();
        }
        for (int i = 0; i < listenCount; ++i) {
            if (fds[1 + i].revents == 0) continue;
            IceAcceptStatus status{};
            if (IceConn c = IceAcceptConnection(listen[i], &status)) connections.push_back(c);
        }
        std::vector<IceConn> closed;
        for (std::size_t k = 0; k < fds.size() - 1 - listenCount; ++k) {
            if (fds[1 + listenCount + k].revents == 0) continue;
            IceConn c = connections[k];
            const IceProcessMessagesStatus status = IceProcessMessages(c, nullptr, nullptr);
            if (status == IceProcessMessagesIOError) {
                // Gone without a word: its client (if it registered) is gone too.
                std::lock_guard<std::mutex> lock(mutex);
                for (auto& client : clients) {
                    if (client->sms != nullptr && SmsGetIceConnection(client->sms) == c) {
                        SmsCleanUp(client->sms);
                        client->sms = nullptr;
                        client->gone = true;
                    }
                }
                changed.notify_all();
                IceSetShutdownNegotiation(c, False);
                IceCloseConnection(c);
                closed.push_back(c);
            } else if (status == IceProcessMessagesConnectionClosed) {
                closed.push_back(c);
            }
        }
        for (IceConn c : closed) connections.erase(std::find(connections.begin(), connections.end(), c));
    }
}

SessionManager::SessionManager() : state_(std::make_unique<State>()) {
    if (current != nullptr) {
        error_ = "one session manager per process";
        return;
    }
    IceSetIOErrorHandler(IgnoreIoError);
    IceSetErrorHandler(IgnoreError);
    char message[256] = {};
    if (!SmsInitialize("tapwedge-rig", "1.0", NewClient, nullptr, AnyHost, sizeof message, message)) {
        error_ = std::string("SmsInitialize: ") + message;
        return;
    }
    if (!IceListenForConnections(&state_->listenCount, &state_->listen, sizeof message, message)) {
        error_ = std::string("IceListenForConnections: ") + message;
        return;
    }
    for (int i = 0; i < state_->listenCount; ++i) IceSetHostBasedAuthProc(state_->listen[i], AnyHost);
    char* ids = IceComposeNetworkIdList(state_->listenCount, state_->listen);
    address_ = ids != nullptr ? ids : "";
    std::free(ids);
    if (pipe2(state_->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = "pipe2";
        return;
    }
    current = state_.get();
    state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

SessionManager::~SessionManager() {
    if (state_->thread.joinable()) {
        state_->stop = true;
        state_->Post([] {});
        state_->thread.join();
    }
    for (IceConn c : state_->connections) {
        IceSetShutdownNegotiation(c, False);
        IceCloseConnection(c);
    }
    if (state_->listen != nullptr) IceFreeListenObjs(state_->listenCount, state_->listen);
    for (int fd : state_->wake) {
        if (fd >= 0) close(fd);
    }
    if (current == state_.get()) current = nullptr;
}

bool SessionManager::WaitForClients(int count, int timeoutMs) {
    return error_.empty() && state_->WaitUntil(timeoutMs, [&] {
        return std::count_if(state_->clients.begin(), state_->clients.end(),
                             [](const auto& c) { return c->registered && !c->gone; }) >= count;
    });
}

int SessionManager::Clients() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return static_cast<int>(std::count_if(state_->clients.begin(), state_->clients.end(),
                                          [](const auto& c) { return c->registered && !c->gone; }));
}

int SessionManager::RestartStyleHint() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (const auto& c : state_->clients) {
        if (c->registered && !c->gone) return c->restartStyle;
    }
    return -1;
}

bool SessionManager::SaveYourself(bool shutdown, int timeoutMs) {
    if (!error_.empty()) return false;
    State& s = *state_;
    const int ticket = s.Post([&s, shutdown] {
        for (auto& c : s.clients) {
            if (!c->registered || c->gone) continue;
            c->saved = false;
            SmsSaveYourself(c->sms, SmSaveBoth, shutdown ? True : False, SmInteractStyleNone, False);
        }
    });
    // Every live client has been asked once the request ran: wait for their answers.
    const bool done = s.WaitUntil(timeoutMs, [&s, ticket] {
        return s.ran >= ticket &&
               std::all_of(s.clients.begin(), s.clients.end(),
                           [](const auto& c) { return !c->registered || c->gone || c->saved; });
    });
    if (done && !shutdown) {
        s.Post([&s] {
            for (auto& c : s.clients) {
                if (c->registered && !c->gone) SmsSaveComplete(c->sms);
            }
        });
    }
    return done;
}

bool SessionManager::Die(int timeoutMs) {
    if (!error_.empty()) return false;
    State& s = *state_;
    const int ticket = s.Post([&s] {
        for (auto& c : s.clients) {
            if (c->registered && !c->gone) SmsDie(c->sms);
        }
    });
    return s.WaitUntil(timeoutMs, [&s, ticket] {
        return s.ran >= ticket &&
               std::none_of(s.clients.begin(), s.clients.end(),
                            [](const auto& c) { return c->registered && !c->gone; });
    });
}

}  // namespace rig
