#pragma once
// A byte area that the receive thread writes while the caller's thread may read it: every byte
// is a relaxed atomic, so concurrent access is defined; the order that matters (a frame is
// complete before it is read) comes from the receive state's release/acquire.
#include <atomic>
#include <cstddef>
#include <cstdint>

template <std::size_t N>
class AtomicBytes {
public:
    static constexpr std::size_t size() { return N; }

    std::uint8_t operator[](std::size_t i) const { return bytes_[i].load(std::memory_order_relaxed); }
    void Set(std::size_t i, std::uint8_t value) { bytes_[i].store(value, std::memory_order_relaxed); }

    // Copies n bytes from position `from` out; the caller keeps from + n within N.
    void CopyOut(std::uint8_t* out, std::size_t from, std::size_t n) const {
        for (std::size_t i = 0; i < n; ++i) out[i] = (*this)[from + i];
    }
    // Copies n bytes in at position `to`; the caller keeps to + n within N.
    void CopyIn(std::size_t to, const std::uint8_t* in, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) Set(to + i, in[i]);
    }

private:
    std::atomic<std::uint8_t> bytes_[N]{};
};
