#include "core/csv_failure_notice.h"

#include <cstring>

namespace tapwedge {
namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<CsvFailureTexts> CsvFailureNotice::Record(int result, int error,
                                                        const std::string& path) {
    if (result == 0) {
        failingPath_.clear();
        tipNote_.clear();
        return std::nullopt;
    }
    if (!failingPath_.empty() && failingPath_ == path) return std::nullopt;
    failingPath_ = path.empty() ? "?" : path;
    tipNote_ = "CSV書き込みエラー: " + FileNameOf(path);
    CsvFailureTexts texts;
    texts.Title = "CSV出力エラー";
    texts.Message = "CSVファイルに書き込めません。\n" + path +
                    "\n読み取ったデータはファイルに記録されていません。";
    texts.ErrorLine = "cannot write the CSV file " + path + ": " + std::strerror(error) +
                      "; card reads are not logged until it can be written again";
    return texts;
}

}  // namespace tapwedge
