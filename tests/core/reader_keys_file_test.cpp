// Writing changed reader keys into the card-parameter file.
#include <gtest/gtest.h>

#include <cstring>

#include <sys/stat.h>

#include "core/param_file_cipher.h"
#include "core/reader_keys_file.h"
#include "file_faults.h"
#include "temp_dir.h"

namespace tapwedge::test {
namespace {

TwAuthKeys Keys(std::uint8_t base) {
    TwAuthKeys keys{};
    std::memset(&keys, base, sizeof keys);
    keys.Kcr[7] = static_cast<std::uint8_t>(base + 1);
    return keys;
}

CardParamImage ImageWithEntry(std::uint16_t kind) {
    CardParamImage image{};
    image.Entries[0].SetKind(kind);
    image.Width1 = 12;
    return image;
}

CardParamImage Read(const std::string& path) {
    CardParamImage image{};
    ParamFileCipher cipher;
    EXPECT_EQ(cipher.ReadParamFile(image.Data(), kCardParamImageSize, path), 0);
    return image;
}

TEST(ReaderKeysFile, KeysThatDifferInAnyByteAreChanged) {
    CardParamImage image{};
    image.ReaderKeys = Keys(0x31);
    EXPECT_FALSE(ReaderKeysDiffer(image, Keys(0x31)));
    TwAuthKeys other = Keys(0x31);
    other.Id[0] ^= 1;
    EXPECT_TRUE(ReaderKeysDiffer(image, other));
}

TEST(ReaderKeysFile, AnExistingFileKeepsItsEntriesAndGetsTheKeys) {
    TempDir dir;
    ParamFileCipher cipher;
    ASSERT_EQ(cipher.WriteParamFile(ImageWithEntry(0x9200).Data(), kCardParamImageSize,
                                    dir.File("Card.set")),
              0);
    // The image in memory holds other entries (a change kept only in memory).
    EXPECT_EQ(StoreReaderKeys(dir.File("Card.set"), Keys(0x40), ImageWithEntry(0x9240)), 0);
    const CardParamImage stored = Read(dir.File("Card.set"));
    EXPECT_EQ(stored.Entries[0].Kind(), 0x9200);
    EXPECT_EQ(stored.Width1, 12);
    EXPECT_EQ(stored.ReaderKeysPresent, 1);
    EXPECT_FALSE(ReaderKeysDiffer(stored, Keys(0x40)));
}

TEST(ReaderKeysFile, WithoutAFileTheImageInMemoryIsWrittenWithTheKeys) {
    TempDir dir;
    // A change kept only in memory: the file gets its entries, not its mark (the other bits of
    // the flags byte travel with the image).
    CardParamImage memory = ImageWithEntry(0x9240);
    memory.Flags = CardParamImage::kTemporaryChange | 0x05;
    EXPECT_EQ(StoreReaderKeys(dir.File("New.set"), Keys(0x40), memory), 0);
    const CardParamImage stored = Read(dir.File("New.set"));
    EXPECT_EQ(stored.Flags, 0x05);
    EXPECT_EQ(stored.Entries[0].Kind(), 0x9240);
    EXPECT_EQ(stored.ReaderKeysPresent, 1);
    EXPECT_FALSE(ReaderKeysDiffer(stored, Keys(0x40)));
}

TEST(ReaderKeysFile, AFileThatCannotBeReadIsLeftAlone) {
    TempDir dir;
    WriteAll(dir.File("Card.set"), std::string(40, 'x'));
    EXPECT_EQ(StoreReaderKeys(dir.File("Card.set"), Keys(0x40), ImageWithEntry(0x9240)), -1);
    EXPECT_EQ(ReadAll(dir.File("Card.set")), std::string(40, 'x'));
}

// A named pipe under the file's name is no file to read the entries from: the keys are not
// written, and the write-back returns at once instead of waiting for a writer of the pipe.
TEST(ReaderKeysFile, ANamedPipeIsLeftAloneWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("Card.set").c_str(), 0600), 0);
    const BlockingGuard guard;
    EXPECT_EQ(StoreReaderKeys(dir.File("Card.set"), Keys(0x40), ImageWithEntry(0x9240)), -1);
    EXPECT_FALSE(guard.Fired());
    struct stat info {};
    ASSERT_EQ(::lstat(dir.File("Card.set").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace tapwedge::test
