#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

class CountingThread : public platform::Thread {
public:
    ~CountingThread() override { WaitFor(); }
    std::atomic<int> passes{0};

protected:
    void Execute() override {
        while (!Terminated()) {
            ++passes;
            platform::SleepMs(1);
        }
    }
};

TEST(Thread, LoopRunsUntilTerminatedAndWaitForReturnsAfterItsEnd) {
    CountingThread t;
    t.Start();
    while (t.passes.load() < 3) platform::SleepMs(1);
    t.Terminate();
    t.WaitFor();
    const int after = t.passes.load();
    platform::SleepMs(5);
    EXPECT_EQ(t.passes.load(), after);  // nothing runs after WaitFor returned
    EXPECT_TRUE(t.Terminated());
    t.WaitFor();                         // a second wait returns at once
}

TEST(Thread, WaitForWithoutStartReturnsAtOnce) {
    CountingThread t;
    t.WaitFor();
    EXPECT_EQ(t.passes.load(), 0);
}

}  // namespace
