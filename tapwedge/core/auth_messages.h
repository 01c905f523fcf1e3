#pragma once
// What the polling loop makes of a reader authentication's result: whether the reader counts as
// ready, the message that tells the user why not, and the rule that one failure is told once
// while it repeats, so that the user is not held in message boxes by keys the reader refuses.
#include <cstdint>

namespace tapwedge {

struct AuthOutcome {
    bool Ready;           // the reader may be read from now on
    const char* Message;  // UTF-8; nullptr: nothing to tell
};

// The outcome of `result` (a Tagwire status) for a reader of `edition` (ReaderType's low nibble).
AuthOutcome AuthOutcomeOf(std::int32_t result, int edition);

class AuthMessageGate {
public:
    // Called for every failed authentication; true when its message is to be shown: not while
    // the same failure repeats.
    bool Failed(std::int32_t result);
    // An authentication succeeded, the settings changed or the reader was opened anew: the next
    // failure is told again.
    void Forget() { told_ = false; }

private:
    bool told_ = false;
    std::int32_t result_ = 0;
};

}  // namespace tapwedge
