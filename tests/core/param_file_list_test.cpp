// The card-parameter files of a folder and the names the dialog saves to.
#include "core/param_file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "temp_dir.h"

namespace tapwedge {
namespace {

TEST(ParamFileList, ListsSetFilesWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* name : {"Card.set", "card.set", "X.SET", "b.Set", "a.txt", "set", "c.set.bak",
                             ".set", "d.setx"}) {
        test::WriteAll(dir.File(name), "x");
    }
    std::filesystem::create_directory(dir.File("folder.set"));
    std::vector<std::string> names = {"kept"};
    EXPECT_EQ(ListParamFileNames(dir.Folder(), names), 0);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "kept");
    std::vector<std::string> listed(names.begin() + 1, names.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{".set", "Card.set", "X.SET", "b.Set", "card.set"}));

    names.clear();
    EXPECT_EQ(ListParamFileNames(dir.File("missing"), names), -1);
    EXPECT_TRUE(names.empty());
}

// Only what can be read as a file is listed: a named pipe would block its reader, and a device
// or a link to nothing is no card-parameter file.
TEST(ParamFileList, ListsRegularFilesOnly) {
    test::TempDir dir;
    test::WriteAll(dir.File("a.set"), "x");
    ASSERT_EQ(::mkfifo(dir.File("pipe.set").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.File("a.set").c_str(), dir.File("link.set").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("pipe.set").c_str(), dir.File("pipelink.set").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("gone").c_str(), dir.File("dangling.set").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.File("null.set").c_str()), 0);
    std::vector<std::string> names;
    EXPECT_EQ(ListParamFileNames(dir.Folder(), names), 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.set", "link.set"}));
}

// Names that differ only in case are two files: the one spelled as given wins, and without it
// the first that matches without regard to case.
TEST(ParamFileList, AnExactNameWinsOverOneThatDiffersInCase) {
    const std::vector<std::string> names = {"card.set", "CARD.set", "Card.set"};
    EXPECT_EQ(FindListedName(names, "Card.set"), 2);
    EXPECT_EQ(FindListedName(names, "CARD.set"), 1);
    EXPECT_EQ(FindListedName(names, "card.set"), 0);
    EXPECT_EQ(FindListedName(names, "CARD.SET"), 0);
    EXPECT_EQ(FindListedName(names, "x.set"), -1);
    EXPECT_EQ(FindListedName({}, "a.set"), -1);
}

TEST(ParamFileList, NamesMatchIgnoringCase) {
    const std::vector<std::string> names = {"a.set", "Card.set", "CARD.set"};
    EXPECT_EQ(FindNameIgnoringCase(names, "CARD.SET"), 1);
    EXPECT_EQ(FindNameIgnoringCase(names, "card.set"), 1);
    EXPECT_EQ(FindNameIgnoringCase(names, "Card.se"), -1);
    EXPECT_EQ(FindNameIgnoringCase(names, "/x/Card.set"), -1);
    EXPECT_EQ(FindNameIgnoringCase({}, "a.set"), -1);
}

TEST(ParamFileList, SaveNamesGetTheSetExtension) {
    const struct {
        const char *typed, *saved;
    } cases[] = {
        {"abc", "abc.set"},   {"abc.txt", "abc.set"}, {"x.set", "x.set"},
        {"X.SET", "X.set"},   {"a.b.c", "a.b.set"},   {"abc.", "abc.set"},
        {"", ".set"},         {"カード", "カード.set"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithParamFileExtension(c.typed), c.saved) << c.typed;
    EXPECT_TRUE(HasParamFileExtension("a.SeT"));
    EXPECT_FALSE(HasParamFileExtension("a.sets"));
    EXPECT_FALSE(HasParamFileExtension("aset"));

    EXPECT_TRUE(IsSavableParamFileName("abc.set", 255));
    EXPECT_TRUE(IsSavableParamFileName(std::string(255, 'a'), 255));
    EXPECT_FALSE(IsSavableParamFileName(std::string(256, 'a'), 255));
    EXPECT_FALSE(IsSavableParamFileName("sub/abc.set", 255));
    EXPECT_FALSE(IsSavableParamFileName("/tmp/abc.set", 255));
    EXPECT_FALSE(IsSavableParamFileName(std::string("a\0b.set", 7), 255));
    // Nothing but an extension, or blanks before it: no name at all (".set" would be hidden).
    for (const char* empty : {".set", "  .set", "\t.set", "", " "}) {
        EXPECT_FALSE(IsSavableParamFileName(empty, 255)) << '"' << empty << '"';
    }
    EXPECT_TRUE(IsSavableParamFileName(" a .set", 255));
}

}  // namespace
}  // namespace tapwedge
