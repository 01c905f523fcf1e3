// A settings file that cannot be saved is told once, and again only after a save succeeded in
// between.
#include "core/settings_save_notice.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using tapwedge::SettingsSaveNotice;

TEST(SettingsSaveNotice, TellsTheFirstOfARunOfFailuresOnly) {
    const struct {
        int result;
        bool told;
    } steps[] = {{0, false}, {-1, true}, {-1, false}, {0, false}, {0, false}, {-1, true}, {-1, false}};
    SettingsSaveNotice notice;
    int step = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(step++);
        EXPECT_EQ(notice.Record(s.result, s.result == 0 ? 0 : ENOSPC, "/h/Wedgetap.ini").has_value(),
                  s.told);
    }
}

TEST(SettingsSaveNotice, TheTextsNameTheFileAndTheReason) {
    const struct {
        int error;
        const char* reason;
    } cases[] = {{EACCES, "Permission denied"},
                 {ENOSPC, "No space left on device"},
                 {EINVAL, "a value would not read back as it is"}};
    for (const auto& c : cases) {
        SettingsSaveNotice notice;
        const auto told = notice.Record(-1, c.error, "/home/u/.config/tapwedge/Wedgetap.ini");
        ASSERT_TRUE(told);
        EXPECT_EQ(told->Title, "設定保存エラー");
        EXPECT_EQ(told->Message,
                  "設定を保存できません。\n/home/u/.config/tapwedge/Wedgetap.ini\n"
                  "変更はプログラムの終了まで有効です。");
        EXPECT_EQ(told->ErrorLine, std::string("cannot save the settings to "
                                               "/home/u/.config/tapwedge/Wedgetap.ini: ") +
                                       c.reason + "; the changes hold only until the program ends");
    }
}

}  // namespace
