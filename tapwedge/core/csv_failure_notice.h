#pragma once
// Telling the user that card reads are not reaching the CSV file: once when a line cannot be
// written (or is written short), and again only after a line was written in between, or when
// the lines go to another file. The texts for the tray and for standard error name the file.
#include <optional>
#include <string>

#include "core/failure_texts.h"

namespace tapwedge {

using CsvFailureTexts = FailureTexts;

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
