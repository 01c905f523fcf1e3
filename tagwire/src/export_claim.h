#pragma once
// Which thread runs exports on the reader context, and how long a context lives.
//
// An export claims the library for its thread while it runs. The claim is re-entrant: an export
// called from a message handler inside a wait of the same thread runs as it always did. An
// export on another thread is refused with TW_ERR_BUSY before it touches anything shared (the
// command buffer, the DES work area, the context), except the open and close exports, which
// cancel the running exchange and wait until its thread lets the library go, and TwCancel
// (CancelFromAnyThread). Every claim of a context keeps it alive: a context closed meanwhile is
// deleted when the last claim of it ends.
#include <cstdint>

#include "reader_context.h"

// The claim of a command export on the open context (OpenState 1).
class ExportClaim {
public:
    ExportClaim();
    ~ExportClaim();
    ExportClaim(const ExportClaim&) = delete;
    ExportClaim& operator=(const ExportClaim&) = delete;

    // False when refused: then Refusal() tells why.
    explicit operator bool() const { return context_ != nullptr; }
    // TW_ERR_NOT_OPEN, or TW_ERR_BUSY while another thread holds the library.
    std::int32_t Refusal() const { return refusal_; }
    ReaderContext* get() const { return context_; }
    ReaderContext* operator->() const { return context_; }
    ReaderContext& operator*() const { return *context_; }

private:
    ReaderContext* context_ = nullptr;
    std::int32_t refusal_ = 0;
};

// The claim of an open or close export: an exchange that runs on another thread is cancelled,
// and the claim waits until that thread has let the library go; the enumeration exports of
// other threads are waited for too. Always granted.
class OpenCloseClaim {
public:
    OpenCloseClaim();
    ~OpenCloseClaim();
    OpenCloseClaim(const OpenCloseClaim&) = delete;
    OpenCloseClaim& operator=(const OpenCloseClaim&) = delete;
};

// The claim of an enumeration export (device listing, line state): they only read the USB
// transport, so they run beside a command of another thread, but not beside an open or close.
// Creates the enumeration-only context when there is none. Context() may be null.
class EnumerationClaim {
public:
    EnumerationClaim();
    ~EnumerationClaim();
    EnumerationClaim(const EnumerationClaim&) = delete;
    EnumerationClaim& operator=(const EnumerationClaim&) = delete;
    ReaderContext* Context() const { return context_; }

private:
    ReaderContext* context_ = nullptr;
};

// TwCancel: cancels the exchange of the open context. From the thread that holds the library
// (or, when it is idle, held it last) it is the cancel of the link layer; from another thread
// it asks the holder to cancel, which that thread then completes inside its wait (now, or in
// the next wait when none runs: CompleteRemoteCancel), so that the late reply is settled or
// dropped there before its next command.
std::int32_t CancelFromAnyThread();

// Deletes a context that is no longer ContextPtr, at once or when its last claim ends.
void DiscardContext(ReaderContext* context);
