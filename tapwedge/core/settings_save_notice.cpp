#include "core/settings_save_notice.h"

#include <cerrno>
#include <cstring>

namespace tapwedge {

std::optional<FailureTexts> SettingsSaveNotice::Record(int result, int error,
                                                       const std::string& path) {
    if (result == 0) {
        failing_ = false;
        return std::nullopt;
    }
    if (failing_) return std::nullopt;
    failing_ = true;
    FailureTexts texts;
    texts.Title = "設定保存エラー";
    texts.Message = "設定を保存できません。\n" + path + "\n変更はプログラムの終了まで有効です。";
    const std::string reason =
        error == EINVAL ? "a value would not read back as it is" : std::strerror(error);
    texts.ErrorLine = "cannot save the settings to " + path + ": " + reason +
                      "; the changes hold only until the program ends";
    return texts;
}

}  // namespace tapwedge
