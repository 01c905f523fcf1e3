#include "output_records.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "standard_outputs.h"

namespace e2e {

namespace {
constexpr int kCards = static_cast<int>(std::size(kStandardOutputs));
}  // namespace

const char* OutputRecords::OutputOf(int card) const {
    return form_ == Form::Typed ? kStandardOutputs[card].typed : kStandardOutputs[card].line;
}

std::vector<OutputRecords::Record> OutputRecords::Feed(const std::string& text) {
    held_ += text;
    std::vector<Record> records;
    while (!held_.empty()) {
        int whole = -1;
        bool begun = false;
        for (int card = 0; card < kCards; ++card) {
            const std::string output = OutputOf(card);
            if (held_.compare(0, output.size(), output) == 0) whole = card;
            else if (held_.size() < output.size() && output.compare(0, held_.size(), held_) == 0) begun = true;
        }
        if (whole >= 0) {
            const std::size_t size = std::char_traits<char>::length(OutputOf(whole));
            records.push_back({whole, held_.substr(0, size)});
            held_.erase(0, size);
            continue;
        }
        if (begun) break;  // an output still on its way
        // Text that is no output, up to the next whole output (if none yet, more may come).
        std::size_t next = std::string::npos;
        for (int card = 0; card < kCards; ++card) next = std::min(next, held_.find(OutputOf(card), 1));
        if (next == std::string::npos) break;
        records.push_back({-1, held_.substr(0, next)});
        held_.erase(0, next);
    }
    return records;
}

std::vector<OutputRecords::Record> OutputRecords::Flush() {
    std::vector<Record> records;
    if (!held_.empty()) records.push_back({-1, held_});
    held_.clear();
    return records;
}

}  // namespace e2e
