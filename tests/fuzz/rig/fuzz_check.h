#pragma once
// What the fuzz targets share: a check that stops the run as a crash (so that libFuzzer keeps
// the input), caller records of exactly their documented size, and the library's status codes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "tagwire/tagwire.h"

namespace fuzz_rig {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition, what)                                  \
    do {                                                             \
        if (!(condition)) ::fuzz_rig::Fail(__FILE__, __LINE__, what); \
    } while (0)

// A caller's record of exactly `size` bytes on the heap, so that the address sanitizer sees
// any byte touched past its end; filled from the input (or with a pattern) and remembered, so
// that a call that must not write it can be checked.
class Record {
public:
    explicit Record(std::size_t size, FuzzedDataProvider* input = nullptr)
        : bytes_(new std::uint8_t[size]), size_(size) {
        Bytes fill = input ? input->ConsumeBytes<std::uint8_t>(size) : Bytes{};
        fill.resize(size, 0xEE);
        if (size > 0) std::memcpy(bytes_.get(), fill.data(), size);
        initial_ = std::move(fill);
    }

    // A record holding these bytes.
    explicit Record(const Bytes& contents) : bytes_(new std::uint8_t[contents.size()]), size_(contents.size()) {
        if (size_ > 0) std::memcpy(bytes_.get(), contents.data(), size_);
        initial_ = contents;
    }
    template <typename T>
    static Record Of(const T& value) {
        Bytes contents(sizeof(T));
        std::memcpy(contents.data(), &value, sizeof(T));
        return Record(contents);
    }

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    template <typename T>
    T* As() {
        return reinterpret_cast<T*>(bytes_.get());
    }
    std::size_t size() const { return size_; }
    bool Unchanged() const { return UnchangedIn(0, size_); }
    // Whether bytes [from, from + n) are as they were made.
    bool UnchangedIn(std::size_t from, std::size_t n) const {
        return n == 0 || std::memcmp(bytes_.get() + from, initial_.data() + from, n) == 0;
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_;
    Bytes initial_;
};

// Whether `status` is one of the library's status codes.
inline bool KnownStatus(std::int32_t status) {
    switch (status) {
        case TW_OK:
        case TW_ERR_FAILED:
        case TW_ERR_OPEN:
        case TW_ERR_NOT_OPEN:
        case TW_ERR_OPEN_STATE:
        case TW_ERR_TIMEOUT:
        case TW_ERR_SHORT_REPLY:
        case TW_ERR_NACK:
        case TW_ERR_READER_NOT_GENUINE:
        case TW_ERR_AUTH_REFUSED:
        case TW_ERR_NOT_AUTHENTICATED:
        case TW_ERR_PLAIN_REPLY:
        case TW_ERR_PASSWORD_DISABLED:
        case TW_ERR_AUTH_STATUS:
        case TW_ERR_MAC:
        case TW_ERR_SEQUENCE:
        case TW_ERR_CHANGE_ID:
        case TW_ERR_PARAM:
        case TW_ERR_TOO_MANY:
        case TW_ERR_BAD_REPLY:
        case TW_ERR_READER_REJECTED:
        case TW_ERR_READER_FAILED:
        case TW_ERR_NO_CARD:
        case TW_ERR_CANCELLED:
        case TW_ERR_BUSY:
            return true;
        default:
            break;
    }
    const auto above = [&](std::int32_t base, std::int32_t span) {
        return status > base && status <= base + span;
    };
    return above(TW_ERR_READER_STATUS, 0xFF) || above(TW_ERR_CARD_STATUS, 0xFFFF);
}

}  // namespace fuzz_rig
