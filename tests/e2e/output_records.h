#pragma once
// Splits what the program typed, or appended to the CSV file, into the outputs of the standard
// cards (standard_outputs.h), in the order they came. Text that is none of them comes out as a
// record of its own, so that a garbled or cut output is seen, not skipped.
#include <string>
#include <vector>

namespace e2e {

class OutputRecords {
public:
    enum class Form { Typed, Csv };
    struct Record {
        int card = -1;  // index into kStandardOutputs; -1: text that is no card's output
        std::string text;
    };

    explicit OutputRecords(Form form) : form_(form) {}

    // Takes in more text; returns the records it completes.
    std::vector<Record> Feed(const std::string& text);
    // Text held back because it may still become an output: returned as a record of no card.
    std::vector<Record> Flush();

private:
    const char* OutputOf(int card) const;

    Form form_;
    std::string held_;
};

}  // namespace e2e
