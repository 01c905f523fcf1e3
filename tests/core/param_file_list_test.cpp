// The card-parameter files of a folder and the names the dialog saves to.
#include "core/param_file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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
