// The soak's reading of the program's output: each standard card's text or CSV line is one
// record however the text is cut into chunks, and anything else is a record of no card, so that
// a garbled, doubled or cut output is counted, never skipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_records.h"
#include "standard_outputs.h"

namespace e2e {
namespace {

const std::string kF = kStandardOutputs[kFelicaOutput].typed;
const std::string kM = kStandardOutputs[kMifareOutput].typed;
const std::string kI = kStandardOutputs[kIso15693Output].typed;

// Feeds the text in chunks of `chunk` characters, then flushes; "F", "M", "I" or "?text".
std::vector<std::string> Read(OutputRecords::Form form, const std::string& text, std::size_t chunk) {
    OutputRecords records(form);
    std::vector<std::string> out;
    auto take = [&](const std::vector<OutputRecords::Record>& rs) {
        for (const auto& r : rs) out.push_back(r.card < 0 ? "?" + r.text : std::string(1, "FMI"[r.card]));
    };
    for (std::size_t at = 0; at < text.size(); at += chunk) take(records.Feed(text.substr(at, chunk)));
    take(records.Flush());
    return out;
}

TEST(SoakOutputRecords, WholeOutputsInAnyChunksAndEverythingElseAsNoCard) {
    const std::string line = kStandardOutputs[kMifareOutput].line;
    struct Case {
        const char* name;
        OutputRecords::Form form;
        std::string text;
        std::vector<std::string> records;
    } cases[] = {
        {"each card once", OutputRecords::Form::Typed, kF + kM + kI, {"F", "M", "I"}},
        {"a card twice", OutputRecords::Form::Typed, kM + kM, {"M", "M"}},
        {"noise before a card", OutputRecords::Form::Typed, "xy" + kI, {"?xy", "I"}},
        {"a card cut short, then another", OutputRecords::Form::Typed, kF.substr(0, 10) + kM,
         {"?" + kF.substr(0, 10), "M"}},
        {"a card cut short at the end", OutputRecords::Form::Typed, kF + kI.substr(0, 5), {"F", "?" + kI.substr(0, 5)}},
        {"CSV lines", OutputRecords::Form::Csv, line + line, {"M", "M"}},
        {"typed text is no CSV line", OutputRecords::Form::Csv, kM, {"?" + kM}},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, c.text.size()}) {
            SCOPED_TRACE(testing::Message() << c.name << ", chunks of " << chunk);
            EXPECT_EQ(Read(c.form, c.text, chunk), c.records);
        }
    }
}

}  // namespace
}  // namespace e2e
