#pragma once
// A receiver on a UsbDll as the reader library has one, and a peer that keeps sending.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_driver_fixture.h"

namespace usbline_test {

// A receiver as the reader library has one: reads what it is told about with Read.
// Its behaviour is set before the device opens.
class Receiver {
public:
    std::size_t readLimit = 0;       // bytes read per call; 0 = all that were reported
    void (*throwOnFirstCall)() = nullptr;
    bool slow = false;               // stays a millisecond in each call
    std::function<void()> afterRead; // runs in each call once the bytes are taken

    void AttachTo(UsbDll& usb) {
        usb.OnReceive.Object = this;
        usb.OnReceive.Code = &Receiver::Handle;
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    std::vector<std::uint32_t> Counts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return counts_;
    }
    std::vector<void*> Senders() {
        std::lock_guard<std::mutex> lock(mutex_);
        return senders_;
    }
    std::vector<std::thread::id> Threads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_;
    }

    std::atomic<int> calls{0};
    std::atomic<bool> inCall{false};

private:
    static void Handle(void* self, void* sender, std::uint32_t count) {
        static_cast<Receiver*>(self)->Receive(static_cast<UsbDll*>(sender), count);
    }
    void Receive(UsbDll* sender, std::uint32_t count) {
        inCall = true;
        const int call = calls++;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            counts_.push_back(count);
            senders_.push_back(sender);
            threads_.push_back(std::this_thread::get_id());
        }
        if (call == 0 && throwOnFirstCall) {
            inCall = false;
            throwOnFirstCall();
        }
        std::vector<unsigned char> buffer(readLimit ? readLimit : count);
        const int n = sender->Read(buffer.data(), buffer.size());
        if (n > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_.append(buffer.begin(), buffer.begin() + n);
        }
        if (afterRead) afterRead();
        if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        inCall = false;
    }

    std::mutex mutex_;
    std::string text_;
    std::vector<std::uint32_t> counts_;
    std::vector<void*> senders_;
    std::vector<std::thread::id> threads_;
};

// Feeds the device as a reader that keeps talking would.
class Chatter {
public:
    explicit Chatter(int device)
        : thread_([this, device] {
              while (!stop_) {
                  Push(device, "z");
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              }
          }) {}
    ~Chatter() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace usbline_test
