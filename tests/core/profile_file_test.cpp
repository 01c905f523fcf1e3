#include "core/profile_file.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace tapwedge {
namespace {

TEST(ProfileFile, ReadsSectionsAndKeysWithoutRegardToCase) {
    const auto ini = ProfileFile::FromText(
        "; comment=1\n"
        "[Parameter]\n"
        "  Beep = x=ON \t\n"
        "#KEYEMU=OFF\n"
        "LOG=first\n"
        "log=second\n"
        "[CARD]\r\n"
        "FILE=a.set\r\n"
        "[parameter]\n"
        "PATH=/late\n");
    EXPECT_EQ(ini.Find("PARAMETER", "BEEP"), "x=ON");  // the rest after '=', without blanks
    EXPECT_EQ(ini.Find("PARAMETER", "LOG"), "first");    // the first of duplicates counts
    EXPECT_EQ(ini.Find("PARAMETER", "KEYEMU"), std::nullopt);  // commented out
    EXPECT_EQ(ini.Find("PARAMETER", "PATH"), std::nullopt);    // a later duplicate section
    EXPECT_EQ(ini.Find("card", "file"), "a.set");              // CR of CRLF is no part of it
    EXPECT_EQ(ini.Find("CARD", "MISSING"), std::nullopt);
    EXPECT_EQ(ini.ReadString("NONE", "X", "dflt"), "dflt");
}

TEST(ProfileFile, ReadIntegerTakesWholeDecimalNumbersOnly) {
    const struct {
        const char* value;
        std::int32_t expected;
    } cases[] = {{"12", 12},        {" -3 ", -3},          {"+7", 7},    {"", 99},
                 {"abc", 99},       {"12abc", 99},         {"1.5", 99},  {"0x10", 99},
                 {"2147483647", 2147483647}, {"2147483648", 99}, {"-2147483648", INT32_MIN},
                 {"+-1", 99}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto ini = ProfileFile::FromText(std::string("[S]\nK=") + c.value + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", 99), c.expected);
    }
    EXPECT_EQ(ProfileFile::FromText("").ReadInteger("S", "K", 5), 5);
}

TEST(ProfileFile, WriteChangesOnlyTheKeysWritten) {
    const std::string original =
        "; my settings\r\n"
        "[PARAMETER]\r\n"
        "LOG=ON\r\n"
        "Unknown=keep me\r\n"
        "\r\n"
        "[OTHER]\r\n"
        "X=1";  // no line end at the end of the file
    auto ini = ProfileFile::FromText(original);
    ini.Write("PARAMETER", "LOG", "ON");
    EXPECT_FALSE(ini.Modified()) << "same value";
    EXPECT_EQ(ini.Text(), original);

    ini.Write("Parameter", "Log", "OFF");  // keeps the file's spelling of the key
    ini.Write("PARAMETER", "PATH", "/tmp/");  // new key: end of its section, before the blank line
    ini.Write("OTHER", "Y", "2");          // new key after a last line without line end
    // A value that would read back otherwise is not written: no line of its own for what follows
    // a line break, no blanks around it that the reader drops.
    for (const char* unreadable : {"v\nINJECTED=1", " v", "v\t", "\n"}) {
        EXPECT_FALSE(ini.Write("NEW", "K", unreadable)) << unreadable;
    }
    EXPECT_TRUE(ini.Write("NEW", "K", "v"));  // new section
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.Text(),
              "; my settings\r\n"
              "[PARAMETER]\r\n"
              "LOG=OFF\r\n"
              "Unknown=keep me\r\n"
              "PATH=/tmp/\r\n"
              "\r\n"
              "[OTHER]\r\n"
              "X=1\r\n"
              "Y=2\r\n"
              "[NEW]\r\n"
              "K=v\r\n");
}

// Only "\n" ends a line: a lone "\r" is part of it, also at the end of the last line, and
// stays so when lines are added after it or a value holding one is written.
TEST(ProfileFile, ALoneCarriageReturnBelongsToItsLine) {
    for (const std::string end : {"\n", "\r\n"}) {
        SCOPED_TRACE(end == "\n" ? "LF file" : "CRLF file");
        auto ini = ProfileFile::FromText("[S]" + end + "A=x\ry" + end + "B=last\r");
        EXPECT_EQ(ini.Find("S", "A"), "x\ry");
        EXPECT_EQ(ini.Find("S", "B"), "last\r");
        ini.Write("S", "B", "last\r");
        EXPECT_FALSE(ini.Modified());

        ini.Write("S", "C", "new");          // a line after the last one
        ini.Write("S", "A", "p\rq");         // a value with a carriage return inside
        ini.Write("T", "D", "ends in CR\r");  // and at its end, in a new section
        const auto back = ProfileFile::FromText(ini.Text());
        EXPECT_EQ(back.Find("S", "A"), "p\rq");
        EXPECT_EQ(back.Find("S", "B"), "last\r");
        EXPECT_EQ(back.Find("S", "C"), "new");
        EXPECT_EQ(back.Find("T", "D"), "ends in CR\r");
    }
}

TEST(ProfileFile, WritingTheSameValueLeavesTheLineAsSpaced) {
    auto ini = ProfileFile::FromText("[S]\nK = v \n");
    ini.Write("S", "K", "v");
    EXPECT_FALSE(ini.Modified());
    ini.Write("S", "K", "w");
    EXPECT_EQ(ini.Text(), "[S]\nK =w\n");
}

TEST(ProfileFile, SaveReplacesTheFileAndLoadReadsItBack) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    auto ini = ProfileFile::Load(path);  // missing file: empty profile
    EXPECT_EQ(ini.Text(), "");
    ini.Write("A", "B", "c d");
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(test::ReadAll(path), "[A]\nB=c d\n");
    EXPECT_EQ(ProfileFile::Load(path).Find("a", "b"), "c d");
}

}  // namespace
}  // namespace tapwedge
