// ReadParamFile on arbitrary files against OpenSSL's DES-CBC: a file shorter than the padded
// plaintext and check block gives -2, one whose check block OpenSSL does not decrypt to the
// check text gives -10, and either leaves the destination untouched; any other gives 0 and
// exactly the plaintext OpenSSL finds. Half the files are plaintexts (ending in the check text
// or not) that OpenSSL encrypted, so that every outcome is met; they are also written back with
// WriteParamFile, which OpenSSL must read as the same plaintext.
#include <openssl/des.h>

#include <algorithm>
#include <cstring>

#include "core/param_file_cipher.h"
#include "rig/fuzz_check.h"
#include "rig/scratch_folder.h"

namespace {

using fuzz_rig::Bytes;
using fuzz_rig::Record;

Bytes Cbc(const std::uint8_t key[8], const Bytes& in, int direction) {
    DES_cblock keyBlock;
    std::memcpy(keyBlock, key, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_cblock iv = {};
    Bytes out(in.size());
    DES_ncbc_encrypt(in.data(), out.data(), static_cast<long>(in.size()), &schedule, &iv, direction);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    tapwedge::ParamFileCipher cipher;
    // Mostly the image length of the program's files; any length up to a few blocks more.
    const std::int32_t length = in.ConsumeBool() ? 244 : in.ConsumeIntegralInRange<std::int32_t>(0, 300);
    const std::size_t padded = (static_cast<std::size_t>(length) + 7) / 8 * 8;

    Bytes file;
    const bool encrypted = in.ConsumeBool();
    if (encrypted) {
        Bytes plain = in.ConsumeBytes<std::uint8_t>(padded + 8);
        plain.resize(padded + 8, 0);
        if (in.ConsumeBool()) std::memcpy(plain.data() + padded, cipher.CheckText, 8);
        file = Cbc(cipher.Key, plain, DES_ENCRYPT);
        if (in.ConsumeBool()) {  // cut short or lengthened
            file.resize(in.ConsumeIntegralInRange<std::size_t>(0, padded + 24), 0x5A);
        }
    } else {
        file = in.ConsumeRemainingBytes<std::uint8_t>();
    }
    const std::string path = fuzz_rig::ScratchFolder::Path() + "Card.set";
    fuzz_rig::WriteFile(path, std::string(file.begin(), file.end()));

    Record destination(static_cast<std::size_t>(length), &in);
    const int result = cipher.ReadParamFile(destination.data(), length, path);
    if (file.size() < padded + 8) {
        FUZZ_CHECK(result == -2 && destination.Unchanged(), "a short file was not refused with -2");
        return 0;
    }
    const Bytes plain = Cbc(cipher.Key, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(padded + 8)), DES_DECRYPT);
    if (std::memcmp(plain.data() + padded, cipher.CheckText, 8) != 0) {
        FUZZ_CHECK(result == -10 && destination.Unchanged(), "a wrong check block was not refused with -10");
        return 0;
    }
    FUZZ_CHECK(result == 0, "a good file was refused");
    FUZZ_CHECK(std::equal(plain.begin(), plain.begin() + length, destination.data()), "read otherwise than OpenSSL decrypts");

    if (encrypted) {
        // Written back, the plaintext reads the same with OpenSSL (the pad bytes are free).
        FUZZ_CHECK(cipher.WriteParamFile(destination.data(), length, path) == 0, "write failed");
        const std::string written = fuzz_rig::ReadFile(path);
        FUZZ_CHECK(written.size() == padded + 8, "written file of the wrong size");
        const Bytes back = Cbc(cipher.Key, Bytes(written.begin(), written.end()), DES_DECRYPT);
        FUZZ_CHECK(std::equal(plain.begin(), plain.begin() + length, back.begin()) &&
                       std::memcmp(back.data() + padded, cipher.CheckText, 8) == 0,
                   "written otherwise than OpenSSL decrypts");
    }
    return 0;
}
