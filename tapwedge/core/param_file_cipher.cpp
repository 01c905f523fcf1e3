#include "core/param_file_cipher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/replace_file.h"
#include "des/cf_encrypt.h"

namespace tapwedge {
namespace {

constexpr std::size_t kBlock = 8;
constexpr std::uint8_t kPadByte = 0;

// An open file descriptor, closed with the object.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads size bytes; false when the file ends (or fails) before.
bool ReadWhole(int fd, std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, out, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// One single-DES block operation of the DES component, in place on 8 bytes: the block and the key
// are unpacked into bit-bytes and the key schedule is built anew for every block.
void DesBlock(int direction, std::uint8_t block[8], const std::uint8_t key[8]) {
    std::uint8_t keyBits[64];
    std::uint8_t bits[64];
    for (int i = 0; i < 8; ++i) {
        CFEncrypt::DesByteToBits(key[i], keyBits + 8 * i);
        CFEncrypt::DesByteToBits(block[i], bits + 8 * i);
    }
    std::uint8_t schedule[16][48];
    CFEncrypt::DesKeySchedule(schedule, keyBits);
    CFEncrypt::DesCrypt(direction, bits, bits, schedule);
    for (int i = 0; i < 8; ++i) block[i] = CFEncrypt::DesBitsToByte(bits + 8 * i, 8);
}

constexpr int kEncrypt = 0;
constexpr int kDecrypt = 1;

std::size_t PaddedLength(std::int32_t length) {
    return (static_cast<std::size_t>(length) + kBlock - 1) / kBlock * kBlock;
}

}  // namespace

ParamFileCipher::ParamFileCipher() {
    // The default file key, written byte by byte at run time.
    std::uint8_t value = 0x3A;
    for (int i = 0; i < 8; ++i) {
        Key[i] = value;
        value = static_cast<std::uint8_t>(value * 5 + 0x47);
    }
    std::memcpy(CheckText, "CheckCod", sizeof CheckText);
}

std::int64_t ParamFileCipher::FileSize(std::int32_t length) {
    return length < 0 ? -1 : static_cast<std::int64_t>(PaddedLength(length) + kBlock);
}

void ParamFileCipher::EncryptBlock(std::uint8_t block[8], std::uint8_t chain[8]) const {
    for (std::size_t i = 0; i < kBlock; ++i) block[i] ^= chain[i];
    DesBlock(kEncrypt, block, Key);
    std::memcpy(chain, block, kBlock);
}

void ParamFileCipher::DecryptBlock(std::uint8_t block[8], std::uint8_t chain[8]) const {
    std::uint8_t cipher[8];
    std::memcpy(cipher, block, kBlock);
    DesBlock(kDecrypt, block, Key);
    for (std::size_t i = 0; i < kBlock; ++i) block[i] ^= chain[i];
    std::memcpy(chain, cipher, kBlock);
}

int ParamFileCipher::ReadParamFile(std::uint8_t* destination, std::int32_t length,
                                   const std::string& fileName) {
    if (length < 0 || (length > 0 && destination == nullptr)) return -1;
    // Never waits: a named pipe opens at once without a writer and is then refused as no file.
    const Descriptor file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) return -1;
    struct stat st{};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;

    const std::size_t padded = PaddedLength(length);
    std::vector<std::uint8_t> plain(padded + kBlock);
    if (static_cast<std::uint64_t>(st.st_size) < plain.size()) return -2;
    if (!ReadWhole(file.get(), plain.data(), plain.size())) return -2;

    std::uint8_t chain[8] = {};
    for (std::size_t at = 0; at < plain.size(); at += kBlock) DecryptBlock(&plain[at], chain);
    if (std::memcmp(&plain[padded], CheckText, kBlock) != 0) return -10;
    if (length > 0) std::memcpy(destination, plain.data(), static_cast<std::size_t>(length));
    return 0;
}

int ParamFileCipher::WriteParamFile(const std::uint8_t* source, std::int32_t length,
                                    const std::string& fileName) {
    if (length < 0 || (length > 0 && source == nullptr)) return -1;
    const std::size_t padded = PaddedLength(length);
    std::vector<std::uint8_t> cipher(padded + kBlock, kPadByte);
    if (length > 0) std::memcpy(cipher.data(), source, static_cast<std::size_t>(length));
    std::memcpy(&cipher[padded], CheckText, kBlock);

    std::uint8_t chain[8] = {};
    for (std::size_t at = 0; at < cipher.size(); at += kBlock) EncryptBlock(&cipher[at], chain);

    switch (ReplaceFileContents(fileName, cipher.data(), cipher.size(), FileAccess::OwnerOnly)) {
        case ReplaceFileResult::Ok: return 0;
        case ReplaceFileResult::CreateFailed: return -1;
        case ReplaceFileResult::WriteFailed: return -2;
    }
    return -1;
}

}  // namespace tapwedge
