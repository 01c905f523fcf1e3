#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/exception_handler.h"
#include "platform/message_pump.h"

namespace {

TEST(MessagePump, RunsTheInstalledPumpAndNothingWithout) {
    platform::ProcessMessages();  // no pump: nothing happens
    int runs = 0;
    platform::SetMessagePump([&] { ++runs; });
    platform::ProcessMessages();
    platform::ProcessMessages();
    EXPECT_EQ(runs, 2);
    platform::SetMessagePump(nullptr);
    platform::ProcessMessages();
    EXPECT_EQ(runs, 2);
}

TEST(MessagePump, AHandlerMayReplaceThePumpWhileItRuns) {
    int outer = 0, inner = 0;
    platform::SetMessagePump([&] {
        ++outer;
        platform::SetMessagePump([&] { ++inner; });
    });
    platform::ProcessMessages();
    platform::ProcessMessages();
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 1);
    platform::SetMessagePump(nullptr);
}

TEST(ExceptionHandler, ReachesTheInstalledHandlerFromAnotherThread) {
    std::vector<std::string> seen;
    std::vector<void*> senders;
    int sender = 0;
    platform::SetExceptionHandler([&](void* s, std::exception_ptr e) {
        senders.push_back(s);
        seen.push_back(platform::DescribeException(e));
    });
    std::thread t([&] {
        try {
            throw 1;
        } catch (...) {
            platform::HandleException(&sender, std::current_exception());
        }
    });
    t.join();
    platform::HandleException(nullptr, std::make_exception_ptr(std::runtime_error("boom")));
    platform::SetExceptionHandler(nullptr);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "exception 1");
    EXPECT_EQ(seen[1], "boom");
    EXPECT_EQ(senders[0], &sender);
    EXPECT_EQ(senders[1], nullptr);
}

TEST(ExceptionHandler, DefaultPrintsToStandardError) {
    testing::internal::CaptureStderr();
    platform::HandleException(nullptr, std::make_exception_ptr(1));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("exception 1"), std::string::npos);
}

TEST(DynamicLibrary, LoadsByNameAndFindsSymbols) {
    EXPECT_EQ(platform::OpenLibrary("libdoes-not-exist.so"), nullptr);
    EXPECT_EQ(platform::FindSymbol(nullptr, "x"), nullptr);
    platform::LibraryHandle libm = platform::OpenLibrary("libm.so.6");
    ASSERT_NE(libm, nullptr);
    EXPECT_NE(platform::FindSymbol(libm, "cos"), nullptr);
    EXPECT_EQ(platform::FindSymbol(libm, "no_such_symbol_here"), nullptr);
    platform::CloseLibrary(libm);
    platform::CloseLibrary(nullptr);
}

}  // namespace
