#pragma once
// What the Usbline tests over the fake D2XX driver share: line parameters, the call record,
// a peer that collects written bytes, and waiting for what the receive thread does.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "d2xx/d2xx_types.h"
#include "fake_ftdi_control.h"
#include "usbline/usb_dll.h"

namespace usbline_test {

inline COMMPR Line(std::int32_t baud = 115200, std::uint8_t byteSize = 8, std::uint8_t parity = 0,
                   std::uint8_t stopBits = 0) {
    COMMPR line{};
    line.Port = 0;
    line.BaudRate = baud;
    line.ByteSize = byteSize;
    line.Parity = parity;
    line.StopBits = stopBits;
    line.Reserved = 0;
    return line;
}

// Polls until the condition holds (another thread makes it true); false after 5 s.
template <typename Condition>
bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::vector<FakeFtdiCall> RecordedCalls() {
    std::vector<FakeFtdiCall> calls(FakeFtdiCallCount());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (FakeFtdiGetCall(i, &calls[i]) != 0) calls.resize(i);
    }
    return calls;
}

// The calls made on the calling thread (the receive thread's polling left out).
inline std::vector<FakeFtdiCall> CallsOfThisThread() {
    std::vector<FakeFtdiCall> mine;
    const int me = FakeFtdiThreadNumber();
    for (const FakeFtdiCall& call : RecordedCalls()) {
        if (call.thread == me) mine.push_back(call);
    }
    return mine;
}

// Calls of threads other than this one (the receive threads).
inline std::vector<FakeFtdiCall> ReceiveThreadCalls() {
    std::vector<FakeFtdiCall> calls;
    const int me = FakeFtdiThreadNumber();
    for (const FakeFtdiCall& call : RecordedCalls()) {
        if (call.thread != me) calls.push_back(call);
    }
    return calls;
}

inline std::vector<std::string> Names(const std::vector<FakeFtdiCall>& calls) {
    std::vector<std::string> names;
    for (const FakeFtdiCall& call : calls) names.emplace_back(call.function);
    return names;
}

inline std::size_t CountNamed(const std::vector<FakeFtdiCall>& calls, const std::string& name) {
    std::size_t n = 0;
    for (const FakeFtdiCall& call : calls) n += name == call.function;
    return n;
}

// Collects what the host writes to a device (on the writing thread).
class WrittenBytes {
public:
    static void Peer(void* self, const std::uint8_t* data, std::size_t count) {
        auto* written = static_cast<WrittenBytes*>(self);
        std::lock_guard<std::mutex> lock(written->mutex_);
        written->bytes_.insert(written->bytes_.end(), data, data + count);
    }
    std::vector<std::uint8_t> Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
};

inline void Push(int device, const std::string& text) {
    FakeFtdiPushReceive(device, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

class FakeDriverTest : public ::testing::Test {
protected:
    void SetUp() override { FakeFtdiReset(); }
    void TearDown() override { FakeFtdiReset(); }
};

}  // namespace usbline_test
