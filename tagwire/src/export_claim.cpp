#include "export_claim.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link_layer.h"
#include "tagwire/tagwire.h"

namespace {

// How often a waiting open or close asks the holder again to cancel (it may have started
// another exchange of the same export meanwhile).
constexpr std::chrono::milliseconds kRecancelInterval{5};

std::mutex g_mutex;
std::condition_variable g_released;
// Guarded by g_mutex, as are ContextPtr's and OpenState's changes by the claimed exports, and
// the Pins and Discarded fields of every context.
std::thread::id g_holder;       // thread that holds the library; none when idle
int g_depth = 0;                // claims of the holder, nested through message handlers
int g_openClose = 0;            // open and close exports among them
int g_openCloseWaiting = 0;     // open and close exports of other threads waiting for the library
int g_enumerations = 0;         // enumeration exports running (on any threads)
std::thread::id g_lastHolder;   // thread that held the library last

bool HeldElsewhere() { return g_depth > 0 && g_holder != std::this_thread::get_id(); }

void Hold() {
    g_holder = std::this_thread::get_id();
    g_lastHolder = g_holder;
    ++g_depth;
}

// A cancel from this thread is for an exchange of another thread: one that runs there now,
// or, when the library is idle, the next one of the thread that held it last.
bool CancelIsRemote() {
    if (g_depth > 0) return HeldElsewhere();
    return g_lastHolder != std::thread::id() && g_lastHolder != std::this_thread::get_id();
}

// Lock held; returns the context to delete now, if any.
ReaderContext* Release(ReaderContext* pinned) {
    if (--g_depth == 0) g_holder = std::thread::id();
    ReaderContext* doomed = nullptr;
    if (pinned != nullptr) {
        // A remote cancel that found no wait to end lapses with the export, unless it is
        // still pending for the next exchange (WaitState 2).
        if (g_depth == 0 && pinned->WaitState.load() != kWaitCancelled) pinned->RemoteCancel.store(false);
        if (--pinned->Pins == 0 && pinned->Discarded) doomed = pinned;
    }
    g_released.notify_all();
    return doomed;
}

// Lock held: asks the exchange of the holder to end (cancelled, completed on its thread).
void RequestRemoteCancel(ReaderContext& context) {
    context.RemoteCancel.store(true, std::memory_order_release);
    context.WaitState.store(kWaitCancelled, std::memory_order_release);
    context.RxSignal.Notify();
}

// Lock held: claims and pins the open context, or says why not.
ReaderContext* ClaimOpenContext(std::int32_t& refusal) {
    if (OpenState.load() != kOpenOpen || ContextPtr.load() == nullptr) {
        refusal = TW_ERR_NOT_OPEN;
        return nullptr;
    }
    if (HeldElsewhere()) {
        refusal = TW_ERR_BUSY;
        return nullptr;
    }
    Hold();
    ReaderContext* context = ContextPtr.load();
    ++context->Pins;
    return context;
}

}  // namespace

ExportClaim::ExportClaim() {
    std::lock_guard<std::mutex> lock(g_mutex);
    context_ = ClaimOpenContext(refusal_);
}

ExportClaim::~ExportClaim() {
    if (context_ == nullptr) return;
    ReaderContext* doomed = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        doomed = Release(context_);
    }
    delete doomed;
}

OpenCloseClaim::OpenCloseClaim() {
    std::unique_lock<std::mutex> lock(g_mutex);
    ++g_openCloseWaiting;
    while (HeldElsewhere() || g_enumerations > 0) {
        if (HeldElsewhere() && g_openClose == 0 && OpenState.load() == kOpenOpen) {
            if (ReaderContext* context = ContextPtr.load()) RequestRemoteCancel(*context);
        }
        g_released.wait_for(lock, kRecancelInterval);
    }
    --g_openCloseWaiting;
    Hold();
    ++g_openClose;
}

OpenCloseClaim::~OpenCloseClaim() {
    std::lock_guard<std::mutex> lock(g_mutex);
    --g_openClose;
    Release(nullptr);
}

EnumerationClaim::EnumerationClaim() {
    std::unique_lock<std::mutex> lock(g_mutex);
    // The holder's own thread goes on at once (it may be inside a wait that an open or close of
    // another thread is waiting for).
    g_released.wait(lock, [] {
        if (g_depth > 0 && !HeldElsewhere()) return true;
        return g_openCloseWaiting == 0 && !(HeldElsewhere() && g_openClose > 0);
    });
    ++g_enumerations;
    if (OpenState.load() == kOpenNone) {
        ContextPtr.store(new ReaderContext());
        OpenState.store(kOpenEnumeration);
    }
    context_ = ContextPtr.load();
}

EnumerationClaim::~EnumerationClaim() {
    std::lock_guard<std::mutex> lock(g_mutex);
    --g_enumerations;
    g_released.notify_all();
}

std::int32_t CancelFromAnyThread() {
    ReaderContext* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (CancelIsRemote() && OpenState.load() == kOpenOpen && ContextPtr.load() != nullptr) {
            // An open or close on the other thread ends the exchange itself.
            if (g_openClose == 0) RequestRemoteCancel(*ContextPtr.load());
            return TW_OK;
        }
        std::int32_t refusal = TW_OK;
        context = ClaimOpenContext(refusal);
        if (context == nullptr) return refusal;
    }
    const std::int32_t status = CancelExchange(*context);
    ReaderContext* doomed = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        doomed = Release(context);
    }
    delete doomed;
    return status;
}

void DiscardContext(ReaderContext* context) {
    if (context == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (context->Pins > 0) {
            context->Discarded = true;
            return;
        }
    }
    delete context;
}
