#include "core/replace_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "file_faults.h"
#include "temp_dir.h"

namespace tapwedge {
namespace {

namespace fs = std::filesystem;

std::size_t EntriesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

ReplaceFileResult Replace(const std::string& path, const std::string& bytes) {
    return ReplaceFileContents(path, bytes.data(), bytes.size());
}

TEST(ReplaceFile, ReplacesContentsKeepingModeAndLinks) {
    test::TempDir dir;
    const std::string path = dir.File("a.set");
    EXPECT_EQ(Replace(path, "new file"), ReplaceFileResult::Ok);
    EXPECT_EQ(test::ReadAll(path), "new file");

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Replace(path, "second"), ReplaceFileResult::Ok);
    EXPECT_EQ(test::ReadAll(path), "second");
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    fs::create_symlink(path, dir.File("link.set"));
    EXPECT_EQ(Replace(dir.File("link.set"), "through the link"), ReplaceFileResult::Ok);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.set")));
    EXPECT_EQ(test::ReadAll(path), "through the link");
    EXPECT_EQ(EntriesIn(dir.Folder()), 2u) << "no temporary file left";
}

TEST(ReplaceFile, NamesOfTheLongestLengthAFolderTakes) {
    test::TempDir dir;
    const std::string path = dir.File(std::string(251, 'n') + ".set");
    EXPECT_EQ(Replace(path, "long"), ReplaceFileResult::Ok);
    EXPECT_EQ(Replace(path, "longer"), ReplaceFileResult::Ok);
    EXPECT_EQ(test::ReadAll(path), "longer");
    EXPECT_EQ(EntriesIn(dir.Folder()), 1u);
}

TEST(ReplaceFile, CannotCreateBelowARegularFile) {
    test::TempDir dir;
    test::WriteAll(dir.File("file"), "x");
    EXPECT_EQ(Replace(dir.File("file/a.set"), "data"), ReplaceFileResult::CreateFailed);
    EXPECT_EQ(Replace(dir.Folder(), "data"), ReplaceFileResult::CreateFailed);
    EXPECT_EQ(test::ReadAll(dir.File("file")), "x");
}

TEST(ReplaceFile, FolderWithoutWritePermissionKeepsTheOldFile) {
    test::TempDir dir;
    const std::string folder = dir.File("locked");
    fs::create_directory(folder);
    const std::string path = folder + "/a.set";
    test::WriteAll(path, "old contents");
    fs::permissions(dir.Folder(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    ::chmod(path.c_str(), 0666);  // the file itself is writable, the folder is not

    const auto result = test::RunUnprivileged([&] { return static_cast<int>(Replace(path, "new")); });
    if (!result) GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(*result, static_cast<int>(ReplaceFileResult::CreateFailed));
    EXPECT_EQ(test::ReadAll(path), "old contents");
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST(ReplaceFile, WriteFailingHalfwayKeepsTheOldFile) {
    test::TempDir dir;
    const std::string path = dir.File("a.set");
    const std::string old(300, 'o');
    test::WriteAll(path, old);
    const auto result =
        test::WithFileSizeLimit(100, [&] { return Replace(path, std::string(256, 'n')); });
    EXPECT_EQ(result, ReplaceFileResult::WriteFailed);
    EXPECT_EQ(test::ReadAll(path), old);
    EXPECT_EQ(EntriesIn(dir.Folder()), 1u) << "the partial file is removed";
}

}  // namespace
}  // namespace tapwedge
