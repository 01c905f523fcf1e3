// The real program end to end, over a COM port and over USB: it finds and authenticates the
// simulated reader, types each card's ID and data areas with the configured separators into the
// focused X client under the Japanese layout, appends them to the CSV file, and types a card that
// stays on the reader once, and again after it was taken away and brought back.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "program_run.h"
#include "standard_outputs.h"

namespace e2e {
namespace {

constexpr int kOutputWaitMs = 10000;
constexpr int kQuietMs = 1000;  // ten polls at 100 ms

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

std::string LinkName(const testing::TestParamInfo<Link>& info) {
    return info.param == Link::Com ? "Com" : "Usb";
}

class EndToEnd : public testing::TestWithParam<Link> {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "the program is not built (" TAPWEDGE_PROGRAM "): nothing to run end to end";
    }
};

TEST_P(EndToEnd, EachCardIsTypedAndLoggedOnceWhileItStaysAndAgainWhenItComesBack) {
    RunOptions options;
    options.link = GetParam();
    ProgramRun run(options);
    ASSERT_EQ(run.Error(), "");
    ASSERT_TRUE(run.WaitReady(30000)) << "the program never authenticated: " << run.ProgramErrors();

    std::string lines;
    for (const CardOutput& c : kStandardOutputs) {
        SCOPED_TRACE(c.card);
        const std::string typed = c.typed;
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(Ok(run.Command(std::string("present ") + c.card)));
            EXPECT_EQ(run.Typed(typed.size(), kOutputWaitMs), typed) << "round " << round;
            lines += c.line;
            // Left on the reader, it is not output again.
            EXPECT_EQ(run.Typed(1, kQuietMs), "") << "round " << round;
            ASSERT_TRUE(Ok(run.Command(std::string("remove ") + c.card)));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    EXPECT_EQ(run.CsvText(), lines);
    EXPECT_TRUE(run.ProgramRunning()) << run.ProgramErrors();
}

INSTANTIATE_TEST_SUITE_P(Links, EndToEnd, testing::Values(Link::Com, Link::Usb), LinkName);

}  // namespace
}  // namespace e2e
