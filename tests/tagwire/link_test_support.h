#pragma once
// Test rig of the link layer: an injected clock, a scripted message pump, and frame builders.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "link_layer.h"
#include "platform/clock.h"
#include "platform/message_pump.h"

using Bytes = std::vector<std::uint8_t>;

// The tick count, moved by the test (usually from inside the pump).
class FakeClock {
public:
    explicit FakeClock(std::uint32_t start = 1000) {
        now_.store(start);
        platform::SetTickSource(&Now);
    }
    ~FakeClock() { platform::SetTickSource(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    static std::uint32_t Now() { return now_.load(); }
    static void Advance(std::uint32_t ms) { now_.fetch_add(ms); }
    static void Set(std::uint32_t value) { now_.store(value); }

private:
    static inline std::atomic<std::uint32_t> now_{0};
};

// Installs a message pump for the scope; the pump is what a message handler would run.
class ScriptedPump {
public:
    explicit ScriptedPump(std::function<void()> pump) { platform::SetMessagePump(std::move(pump)); }
    ~ScriptedPump() { platform::SetMessagePump(nullptr); }
    ScriptedPump(const ScriptedPump&) = delete;
    ScriptedPump& operator=(const ScriptedPump&) = delete;
};

// A frame as the reader sends it: 00 00 FF LEN LCS data DCS 00.
inline Bytes Frame(const Bytes& data) {
    Bytes frame = {0x00, 0x00, 0xFF, static_cast<std::uint8_t>(data.size()),
                   static_cast<std::uint8_t>(0x100 - data.size())};
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) {
        frame.push_back(b);
        sum = static_cast<std::uint8_t>(sum + b);
    }
    frame.push_back(static_cast<std::uint8_t>(0x100 - sum));
    frame.push_back(0x00);
    return frame;
}

inline const Bytes kAck = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
inline const Bytes kNack = {0x00, 0x00, 0xFF, 0xFF, 0x00};

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline void Feed(ReaderContext& context, const Bytes& bytes) {
    FeedReceiver(context, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// The received frame as a record: [LEN + 1][data...].
inline Bytes ReceivedFrame(const ReaderContext& context) {
    Bytes frame(context.RxFrame[0]);
    context.RxFrame.CopyOut(frame.data(), 0, frame.size());
    return frame;
}

inline Bytes Record(const Bytes& data) {
    Bytes record = {static_cast<std::uint8_t>(data.size() + 1)};
    record.insert(record.end(), data.begin(), data.end());
    return record;
}
