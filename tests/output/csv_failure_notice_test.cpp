// When CSV lines are lost the user is told once, and again only after a line was written in
// between or when the lines go to another file.
#include "core/csv_failure_notice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

using tapwedge::CsvFailureNotice;

TEST(CsvFailureNotice, TellsTheFirstOfARunOfFailuresOnly) {
    const std::string log = "/home/u/.config/tapwedge/log.csv";
    const std::string other = "/mnt/usb/cards.csv";
    const struct {
        int result;
        const std::string* path;
        bool told;
        const char* tipNote;
    } steps[] = {
        {0, &log, false, ""},
        {-1, &log, true, "CSV書き込みエラー: log.csv"},
        {-1, &log, false, "CSV書き込みエラー: log.csv"},
        {-1, &log, false, "CSV書き込みエラー: log.csv"},
        {0, &log, false, ""},
        {-1, &log, true, "CSV書き込みエラー: log.csv"},
        {-1, &other, true, "CSV書き込みエラー: cards.csv"},
        {-1, &other, false, "CSV書き込みエラー: cards.csv"},
    };
    CsvFailureNotice notice;
    int step = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(step++);
        const auto told = notice.Record(s.result, s.result == 0 ? 0 : ENOSPC, *s.path);
        EXPECT_EQ(told.has_value(), s.told);
        EXPECT_EQ(notice.TipNote(), s.tipNote);
    }
}

TEST(CsvFailureNotice, TheTextsNameTheFileAndTheReason) {
    CsvFailureNotice notice;
    const auto told = notice.Record(-1, EACCES, "/data/log.csv");
    ASSERT_TRUE(told);
    EXPECT_EQ(told->Title, "CSV出力エラー");
    EXPECT_EQ(told->Message,
              "CSVファイルに書き込めません。\n/data/log.csv\n"
              "読み取ったデータはファイルに記録されていません。");
    EXPECT_EQ(told->ErrorLine,
              "cannot write the CSV file /data/log.csv: Permission denied; card reads are not "
              "logged until it can be written again");
}

}  // namespace
