// Lines appended to the CSV log, byte for byte, in a scratch folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/csv_output.h"

#include "card_text.h"

namespace {

namespace fs = std::filesystem;
using tapwedge::AppendCsvLine;
using tapwedge::CardDataRecord;
using tapwedge::CardIdRecord;
using tapwedge::OutputItems;
using tapwedge::OutputOptions;

class CsvOutput : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tapwedge-csv-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        options_.CsvFolder = folder_ + "/";
        options_.CsvFileName = "log.csv";
        items_ = OutputItems::Defaults();
        items_[1].Length = 4;
        items_[2].Length = 4;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path() const { return options_.CsvFolder + options_.CsvFileName; }
    std::string Contents() const {
        std::ifstream in(Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    int Append(const std::string& id, const std::string& data) {
        return AppendCsvLine(items_, options_, IdText(id), DataText(data));
    }

    std::string folder_;
    OutputItems items_;
    OutputOptions options_;
};

TEST_F(CsvOutput, WritesIdAndTwoAreasAsOneLine) {
    ASSERT_FALSE(fs::exists(Path()));
    EXPECT_EQ(Append("0123456789ABCDEF", "12345678"), 0);
    const std::string expected = "0123456789ABCDEF,1234,5678\n";
    EXPECT_EQ(expected.size(), 27u);
    EXPECT_EQ(Contents(), expected);  // created, exactly one line
}

TEST_F(CsvOutput, Item1LengthZeroPutsTheWholeDataInArea1) {
    items_[1].Length = 0;
    EXPECT_EQ(Append("0123456789ABCDEF", "12345678"), 0);
    EXPECT_EQ(Contents(), "0123456789ABCDEF,12345678,\n");
}

TEST_F(CsvOutput, AreasAreCutByTheItemLengthsAndTheDataEnd) {
    items_[1].Length = 3;
    items_[2].Length = 0;
    EXPECT_EQ(Append("01", "ABCDEF"), 0);
    items_[2].Length = 10;
    EXPECT_EQ(Append("02", "ABCDEF"), 0);
    items_[1].Length = 10;
    EXPECT_EQ(Append("03", "ABCDEF"), 0);
    EXPECT_EQ(Append("", ""), 0);
    EXPECT_EQ(Contents(), "01,ABC,\n02,ABC,DEF\n03,ABCDEF,\n,,\n");
}

TEST_F(CsvOutput, AreasKeepOnlyPrintableBytesButTheIdIsNeverFiltered) {
    items_[1].Length = 5;
    items_[2].Length = 5;
    EXPECT_EQ(Append(std::string("0A\t\xb1", 4), "1\t2\r3\xb1\x7f""4 5\n6"), 0);
    EXPECT_EQ(Contents(), "0A\t\xb1,123,\x7f""4 5\n");
}

TEST_F(CsvOutput, AppendsAfterExistingLinesAndNeverTruncates) {
    {
        std::ofstream(Path(), std::ios::binary) << "earlier line\n";
    }
    EXPECT_EQ(Append("01", "AAAABBBB"), 0);
    EXPECT_EQ(Append("02", "CCCCDDDD"), 0);
    EXPECT_EQ(Contents(), "earlier line\n01,AAAA,BBBB\n02,CCCC,DDDD\n");
}

TEST_F(CsvOutput, WritesTheFullLineWithAllItemsDisabled) {
    for (int i = 0; i < 4; ++i) items_[i].Enabled = 0;
    EXPECT_EQ(Append("0123456789ABCDEF", "12345678"), 0);
    EXPECT_EQ(Contents(), "0123456789ABCDEF,1234,5678\n");
}

TEST_F(CsvOutput, FailsWhenTheFileCannotBeOpened) {
    options_.CsvFolder = folder_ + "/missing/";
    EXPECT_EQ(Append("01", "12345678"), -1);
    EXPECT_FALSE(fs::exists(options_.CsvFolder));
    options_.CsvFolder = folder_ + "/";
    options_.CsvFileName = "";  // names the folder itself
    EXPECT_EQ(Append("01", "12345678"), -1);
}

TEST_F(CsvOutput, FailsWhileAnotherWriterHoldsTheLock) {
    EXPECT_EQ(Append("01", "AAAABBBB"), 0);
    const int other = open(Path().c_str(), O_WRONLY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    EXPECT_EQ(Append("02", "CCCCDDDD"), -1);
    close(other);
    EXPECT_EQ(Append("03", "EEEEFFFF"), 0);
    EXPECT_EQ(Contents(), "01,AAAA,BBBB\n03,EEEE,FFFF\n");
}

TEST_F(CsvOutput, AFailedWriteIsReportedWithItsReason) {
    options_.CsvFolder = "/dev/";
    options_.CsvFileName = "full";
    errno = 0;
    EXPECT_EQ(Append("01", "12345678"), -1);
    EXPECT_EQ(errno, ENOSPC);
    options_.CsvFolder = folder_ + "/missing/";
    errno = 0;
    EXPECT_EQ(Append("01", "12345678"), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(CsvOutput, AShortWriteIsReportedAndTakenBack) {
    {
        std::ofstream(Path(), std::ios::binary) << "0123456789\n";  // 11 bytes
    }
    // The file may grow to 20 bytes: the 27-byte line is written only in part.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    errno = 0;
    const int result = Append("0123456789ABCDEF", "12345678");
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EFBIG) << "the reason of the short write";
    EXPECT_EQ(Contents(), "0123456789\n");
}

TEST_F(CsvOutput, NeverReadsPastTheRecords) {
    items_[1].Length = 0x7FFFFFFF;
    items_[2].Length = 0x7FFFFFFF;
    CardIdRecord id;
    id.Length = 5000;
    std::memset(id.Bytes, 'I', sizeof id.Bytes);
    CardDataRecord data;
    data.Length = 100000;
    std::memset(data.Bytes, 'D', sizeof data.Bytes);
    EXPECT_EQ(AppendCsvLine(items_, options_, id, data), 0);
    EXPECT_EQ(Contents(), std::string(20, 'I') + "," + std::string(260, 'D') + ",\n");
}

TEST(KeepPrintable, CopiesOnly0x20To0x7F) {
    const std::uint8_t source[] = {0x00, 0x1F, 0x20, 0x41, 0x7F, 0x80, 0xB1, 0xFF, 0x7E, 0x0A};
    std::uint8_t destination[sizeof source] = {};
    EXPECT_EQ(tapwedge::KeepPrintable(destination, source, sizeof source), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(destination), 4), std::string("\x20\x41\x7f\x7e"));
    EXPECT_EQ(tapwedge::KeepPrintable(destination, source, 0), 0);
    EXPECT_EQ(tapwedge::KeepPrintable(destination, source, -3), 0);
}

}  // namespace
