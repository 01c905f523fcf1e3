#include "core/param_file_cipher.h"

#include <openssl/des.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/card_param_image.h"
#include "file_faults.h"
#include "temp_dir.h"

namespace tapwedge {
namespace {

namespace fs = std::filesystem;
using Image = std::array<std::uint8_t, kCardParamImageSize>;

Image SampleImage() {
    Image image{};
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return image;
}

// DES-CBC with a zero IV by libcrypto.
std::vector<std::uint8_t> OpensslCbc(const std::vector<std::uint8_t>& in, const std::uint8_t key[8],
                                     bool encrypt) {
    DES_cblock keyBlock;
    std::memcpy(keyBlock, key, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);
    DES_cblock iv = {};
    std::vector<std::uint8_t> out(in.size());
    DES_ncbc_encrypt(in.data(), out.data(), static_cast<long>(in.size()), &schedule, &iv,
                     encrypt ? DES_ENCRYPT : DES_DECRYPT);
    return out;
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class ParamFile : public ::testing::Test {
protected:
    std::string Write(const Image& image, const std::string& name = "Card.set") {
        const std::string path = dir.File(name);
        EXPECT_EQ(ParamFileCipher().WriteParamFile(image.data(), kCardParamImageSize, path), 0);
        return path;
    }
    int Read(const std::string& path, Image& out) {
        return ParamFileCipher().ReadParamFile(out.data(), kCardParamImageSize, path);
    }

    test::TempDir dir;
    const Image image = SampleImage();
};

// Reading never waits for a writer: a named pipe, a device or a folder is no card-parameter
// file (-1), and neither is a regular file shorter than the 256 bytes (-2).
TEST_F(ParamFile, OnlyARegularFileIsReadAndReadingNeverBlocks) {
    ASSERT_EQ(::mkfifo(dir.File("pipe.set").c_str(), 0600), 0);
    fs::create_directory(dir.File("folder.set"));
    const struct {
        std::string path;
        int result;
    } cases[] = {
        {dir.File("pipe.set"), -1},
        {"/dev/zero", -1},
        {dir.File("folder.set"), -1},
        {dir.File("missing.set"), -1},
    };
    for (const auto& c : cases) {
        Image back = image;
        const test::BlockingGuard guard;
        EXPECT_EQ(Read(c.path, back), c.result) << c.path;
        EXPECT_FALSE(guard.Fired()) << c.path << " blocked";
        EXPECT_EQ(back, image) << c.path;
    }
}

TEST_F(ParamFile, WritesTwoHundredFiftySixBytesThatReadBack) {
    const std::string path = Write(image);
    EXPECT_EQ(fs::file_size(path), 256u);
    EXPECT_EQ(ParamFileCipher::FileSize(244), 256);
    Image back{};
    EXPECT_EQ(Read(path, back), 0);
    EXPECT_EQ(back, image);

    // The same image under the same default key gives the same file.
    Write(image, "again.set");
    EXPECT_EQ(test::ReadAll(path), test::ReadAll(dir.File("again.set")));
    const ParamFileCipher cipher;
    EXPECT_EQ(std::memcmp(cipher.CheckText, "CheckCod", 8), 0);
}

TEST_F(ParamFile, FileLengthDecidesBetweenShortAndValid) {
    const std::string valid = test::ReadAll(Write(image));
    fs::create_directory(dir.File("folder.set"));
    const struct {
        std::string name;
        std::string contents;
        int result;
    } cases[] = {
        {"255.set", valid.substr(0, 255), -2},
        {"248.set", valid.substr(0, 248), -2},
        {"empty.set", "", -2},
        {"300.set", valid + std::string(44, '\x5A'), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteAll(dir.File(c.name), c.contents);
        Image back{};
        EXPECT_EQ(Read(dir.File(c.name), back), c.result);
        if (c.result == 0) {
            EXPECT_EQ(back, image);
        }
    }
    Image back{};
    EXPECT_EQ(Read(dir.File("missing.set"), back), -1);
    EXPECT_EQ(Read(dir.File("folder.set"), back), -1);
}

TEST_F(ParamFile, DamageInTheLastBlockIsRefusedInTheFirstBlockItIsNot) {
    const std::string path = Write(image);
    const std::string valid = test::ReadAll(path);

    std::string damaged = valid;
    damaged[250] = static_cast<char>(damaged[250] ^ 0x10);
    test::WriteAll(path, damaged);
    Image untouched;
    untouched.fill(0xEE);
    EXPECT_EQ(Read(path, untouched), -10);
    for (auto b : untouched) ASSERT_EQ(b, 0xEE) << "destination changed on -10";

    damaged = valid;
    damaged[3] = static_cast<char>(damaged[3] ^ 0x04);
    test::WriteAll(path, damaged);
    Image back{};
    EXPECT_EQ(Read(path, back), 0);
    EXPECT_NE(std::memcmp(back.data(), image.data(), 8), 0) << "first block garbled";
    for (int i = 8; i < 16; ++i) {
        EXPECT_EQ(back[i], i == 11 ? image[i] ^ 0x04 : image[i]) << "byte " << i;
    }
    EXPECT_TRUE(std::equal(back.begin() + 16, back.end(), image.begin() + 16));
}

TEST_F(ParamFile, AnotherKeyIsRefused) {
    const std::string path = Write(image);
    ParamFileCipher other;
    other.Key[2] ^= 0x80;
    Image back{};
    EXPECT_EQ(other.ReadParamFile(back.data(), kCardParamImageSize, path), -10);
}

TEST_F(ParamFile, CiphertextIsStandardDesCbcOverImagePadAndCheckText) {
    for (const bool defaultKey : {true, false}) {
        SCOPED_TRACE(defaultKey ? "default key" : "own key");
        ParamFileCipher cipher;
        if (!defaultKey) {
            const std::uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
            std::memcpy(cipher.Key, key, 8);
        }
        const std::string path = dir.File("k.set");
        ASSERT_EQ(cipher.WriteParamFile(image.data(), kCardParamImageSize, path), 0);

        std::vector<std::uint8_t> plain(image.begin(), image.end());
        plain.resize(248, 0);  // the pad bytes are zero
        plain.insert(plain.end(), cipher.CheckText, cipher.CheckText + 8);
        EXPECT_EQ(Bytes(test::ReadAll(path)), OpensslCbc(plain, cipher.Key, true));

        // And a file made by libcrypto with other pad bytes reads back.
        plain[244] = 0xA5;
        plain[247] = 0x5A;
        const auto made = OpensslCbc(plain, cipher.Key, true);
        test::WriteAll(path, std::string(made.begin(), made.end()));
        Image back{};
        EXPECT_EQ(cipher.ReadParamFile(back.data(), kCardParamImageSize, path), 0);
        EXPECT_EQ(back, image);
    }
}

TEST_F(ParamFile, OtherLengthsArePaddedToWholeBlocks) {
    for (const std::int32_t length : {0, 1, 7, 8, 9}) {
        SCOPED_TRACE(length);
        const std::string path = dir.File("n.set");
        ParamFileCipher cipher;
        ASSERT_EQ(cipher.WriteParamFile(image.data(), length, path), 0);
        EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(path)), ParamFileCipher::FileSize(length));
        Image back{};
        EXPECT_EQ(cipher.ReadParamFile(back.data(), length, path), 0);
        EXPECT_TRUE(std::equal(back.begin(), back.begin() + length, image.begin()));
    }
    ParamFileCipher cipher;
    Image back{};
    EXPECT_EQ(cipher.WriteParamFile(image.data(), -1, dir.File("neg.set")), -1);
    EXPECT_EQ(cipher.ReadParamFile(back.data(), -1, dir.File("n.set")), -1);
    EXPECT_FALSE(fs::exists(dir.File("neg.set")));
}

TEST_F(ParamFile, FailedWritesKeepThePreviousFile) {
    const Image newer{};
    // Below a regular file nothing can be created.
    test::WriteAll(dir.File("plain"), "x");
    EXPECT_EQ(ParamFileCipher().WriteParamFile(newer.data(), kCardParamImageSize,
                                               dir.File("plain/Card.set")),
              -1);

    // A file the user may not write, in a folder he may (as an unprivileged user: root ignores
    // the bits), is not replaced.
    const std::string shared = dir.File("shared");
    fs::create_directory(shared);
    const std::string lockedPath = Write(image, "shared/Card.set");
    const std::string lockedBefore = test::ReadAll(lockedPath);
    fs::permissions(dir.Folder(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(shared, fs::perms::all);
    ::chmod(lockedPath.c_str(), 0644);
    const auto result = test::RunUnprivileged([&] {
        return ParamFileCipher().WriteParamFile(newer.data(), kCardParamImageSize, lockedPath);
    });
    if (result) {
        EXPECT_EQ(*result, -1);
        EXPECT_EQ(test::ReadAll(lockedPath), lockedBefore);
    }

    // A write that fails halfway (the file size limit stops it after 100 bytes).
    const std::string path = Write(image);
    const std::string before = test::ReadAll(path);
    EXPECT_EQ(test::WithFileSizeLimit(100, [&] {
                  return ParamFileCipher().WriteParamFile(newer.data(), kCardParamImageSize, path);
              }),
              -2);
    EXPECT_EQ(test::ReadAll(path), before);
    Image back{};
    EXPECT_EQ(Read(path, back), 0);
    EXPECT_EQ(back, image);
    if (!result) GTEST_SKIP() << "cannot run as an unprivileged user; permission case not run";
}

}  // namespace
}  // namespace tapwedge
