#include "core/replace_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

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

// Saving as an unprivileged user (root ignores permission bits) must neither let the user
// replace a file he may not write, nor stop him writing one he may.
TEST(ReplaceFile, WhoMaySaveStaysAsItWas) {
    const struct {
        const char* name;
        fs::perms folderMode;
        std::optional<fs::perms> fileMode;  // a file owned by root, or none
        ReplaceFileResult result;
        bool replaced;
    } cases[] = {
        {"a read-only file in a writable folder is refused", fs::perms::all,
         fs::perms(0644), ReplaceFileResult::CreateFailed, false},
        {"a writable file in a locked folder is written in place", fs::perms(0755),
         fs::perms(0666), ReplaceFileResult::Ok, true},
        {"another user's writable file keeps its owner and mode", fs::perms::all,
         fs::perms(0666), ReplaceFileResult::Ok, true},
        {"no file is created in a locked folder", fs::perms(0755), std::nullopt,
         ReplaceFileResult::CreateFailed, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string folder = dir.File("f");
        fs::create_directory(folder);
        const std::string path = folder + "/a.set";
        const std::string old = "the old, longer contents";
        if (c.fileMode) {
            test::WriteAll(path, old);
            fs::permissions(path, *c.fileMode);
        }
        fs::permissions(dir.Folder(), fs::perms::others_exec, fs::perm_options::add);
        fs::permissions(folder, c.folderMode);

        const auto result = test::RunUnprivileged([&] { return static_cast<int>(Replace(path, "new")); });
        if (!result) GTEST_SKIP() << "cannot run as an unprivileged user";
        EXPECT_EQ(*result, static_cast<int>(c.result));
        EXPECT_EQ(EntriesIn(folder), c.fileMode ? 1u : 0u) << "no temporary file left";
        if (!c.fileMode) continue;
        EXPECT_EQ(test::ReadAll(path), c.replaced ? "new" : old);
        struct stat st{};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(fs::perms(st.st_mode & 07777), *c.fileMode);
    }
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
