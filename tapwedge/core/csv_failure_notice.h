#pragma once
// Telling the user that card reads are not reaching the CSV file: once when a line cannot be
// written (or is written short), and again only after a line was written in between, or when
// the lines go to another file. The texts for the tray and for standard error name the file.
#include <optional>
#include <string>

namespace tapwedge {

struct CsvFailureTexts {
    std::string Title;      // of the tray message (UTF-8)
    std::string Message;    // the tray message, with the file's path (UTF-8)
    std::string ErrorLine;  // for standard error, with the path and the system's reason
};

class CsvFailureNotice {
public:
    // Takes the result of one line for path: 0 written, else failed with the system's error
    // (errno). The texts when this failure is to be told now.
    std::optional<CsvFailureTexts> Record(int result, int error, const std::string& path);

    // The line of the tray tip while lines are lost, naming the file (UTF-8); "" while they are
    // written.
    const std::string& TipNote() const { return tipNote_; }

private:
    std::string failingPath_;  // "" while lines are written
    std::string tipNote_;
};

}  // namespace tapwedge
