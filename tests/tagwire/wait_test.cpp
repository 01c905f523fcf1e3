// WaitResponse and PumpDelay against an injected clock moved by the scripted pump.
#include <gtest/gtest.h>

#include "link_test_support.h"
#include "platform/exception_handler.h"
#include "tagwire/tagwire.h"

namespace {

const Bytes kReply = Frame({0x75, 0x00});

struct Event {
    std::uint32_t at;  // ms after the start of the wait
    Bytes bytes;
};

struct WaitRun {
    std::int32_t status;
    std::uint32_t elapsed;
};

// Runs one wait; every pump moves the clock by `step` and feeds the events that are due.
WaitRun RunWait(ReaderContext& context, std::int32_t timeout, const std::vector<Event>& events,
            std::uint32_t step = 1, std::uint32_t start = 5000) {
    FakeClock clock(start);
    std::size_t next = 0;
    auto feedDue = [&] {
        const std::uint32_t elapsed = FakeClock::Now() - start;
        while (next < events.size() && events[next].at <= elapsed) Feed(context, events[next++].bytes);
    };
    feedDue();
    ScriptedPump pump([&] {
        FakeClock::Advance(step);
        feedDue();
        context.RxSignal.Notify();  // no real sleeping between pumps
    });
    const std::int32_t status = WaitResponse(context, timeout);
    return {status, FakeClock::Now() - start};
}

TEST(WaitResponse, TimeOutArithmetic) {
    struct Case {
        const char* name;
        std::int32_t timeout;
        std::vector<Event> events;
        std::uint32_t start;
        std::int32_t status;
        std::uint32_t elapsed;
    };
    const std::uint32_t kNearWrap = 0xFFFFFF00u;
    const Case cases[] = {
        {"no ACK: 500 ms", 2000, {}, 5000, TW_ERR_TIMEOUT, 500},
        {"ACK late at 500 ms", 2000, {{500, kAck}}, 5000, TW_ERR_TIMEOUT, 500},
        {"ACK without reply: timeout - 500", 2000, {{100, kAck}}, 5000, TW_ERR_TIMEOUT, 1500},
        {"reply at 1499 ms", 2000, {{100, kAck}, {1499, kReply}}, 5000, TW_OK, 1499},
        {"reply at 1500 ms is late", 2000, {{100, kAck}, {1500, kReply}}, 5000, TW_ERR_TIMEOUT, 1500},
        {"reply without ACK within 500 ms", 2000, {{499, kReply}}, 5000, TW_OK, 499},
        {"ACK and reply in one chunk", 2000, {{0, Join({kAck, kReply})}}, 5000, TW_OK, 0},
        {"longer time-out", 5000, {{10, kAck}, {4400, kReply}}, 5000, TW_OK, 4400},
        {"NACK", 2000, {{20, kNack}}, 5000, TW_ERR_NACK, 20},
        {"NACK after ACK", 2000, {{5, kAck}, {700, kNack}}, 5000, TW_ERR_NACK, 700},
        {"across the wrap, no reply", 2000, {{100, kAck}}, kNearWrap, TW_ERR_TIMEOUT, 1500},
        {"across the wrap, reply", 2000, {{100, kAck}, {1200, kReply}}, kNearWrap, TW_OK, 1200},
        {"time-out below 500 ends after the ACK", 300, {{10, kAck}, {50, kReply}}, 5000, TW_ERR_TIMEOUT, 11},
        // The reply inside a frame cut short: taken once the line has been silent 100 ms.
        {"reply after a cut frame", 2000,
         {{5, kAck}, {10, Join({{0x00, 0x00, 0xFF, 0x30, 0xD0, 0x01}, kReply})}}, 5000, TW_OK, 110},
        {"a cut frame that goes on", 2000,
         {{5, kAck}, {10, Join({{0x00, 0x00, 0xFF, 0x30, 0xD0, 0x01}, kReply})}, {60, {0x02}}}, 5000, TW_OK,
         160},
        {"bad postamble ends by time-out", 2000,
         {{5, kAck}, {10, Bytes{0x00, 0x00, 0xFF, 0x01, 0xFF, 0x75, 0x8B, 0x01}}}, 5000, TW_ERR_TIMEOUT,
         1500},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        const WaitRun run = RunWait(context, c.timeout, c.events, 1, c.start);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.elapsed, c.elapsed) << c.name;
        EXPECT_EQ(context.WaitState.load(), kWaitIdle) << c.name;
        EXPECT_EQ(context.RxState.load(), kRxIdle) << c.name;
    }
}

TEST(WaitResponse, WhatCameInTimeCountsAfterAHandlerRanPastTheDeadline) {
    // The first pump is a message handler (a modal box, say) that runs until `handlerEnd`,
    // while the reader's bytes keep arriving at their times; later pumps move 1 ms each.
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::uint32_t handlerEnd;
        std::int32_t status;
        std::uint32_t elapsed;
    };
    const Case cases[] = {
        {"ACK and reply in time", {{100, kAck}, {1400, kReply}}, 3000, TW_OK, 3000},
        {"reply without ACK in time", {{300, kReply}}, 800, TW_OK, 800},
        {"NACK in time", {{200, kNack}}, 900, TW_ERR_NACK, 900},
        {"ACK in time, the reply still to come", {{100, kAck}, {1200, kReply}}, 1000, TW_OK, 1200},
        {"ACK in time, no reply", {{100, kAck}}, 1000, TW_ERR_TIMEOUT, 1500},
        {"ACK late", {{600, kAck}, {700, kReply}}, 1000, TW_ERR_TIMEOUT, 1000},
        {"reply late", {{100, kAck}, {1600, kReply}}, 2000, TW_ERR_TIMEOUT, 2000},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        const std::uint32_t start = 5000;
        FakeClock clock(start);
        std::size_t next = 0;
        auto moveAndFeed = [&] {
            FakeClock::Advance(1);
            const std::uint32_t elapsed = FakeClock::Now() - start;
            while (next < c.events.size() && c.events[next].at <= elapsed) Feed(context, c.events[next++].bytes);
        };
        int pumps = 0;
        ScriptedPump pump([&] {
            if (pumps++ == 0) {
                while (FakeClock::Now() - start < c.handlerEnd) moveAndFeed();
            } else {
                moveAndFeed();
            }
            context.RxSignal.Notify();
        });
        EXPECT_EQ(WaitResponse(context, 2000), c.status) << c.name;
        EXPECT_EQ(FakeClock::Now() - start, c.elapsed) << c.name;
        EXPECT_EQ(context.RxState.load(), kRxIdle) << c.name;
    }
}

TEST(WaitResponse, WithoutEndItEndsOnlyByReplyNackOrCancel) {
    constexpr std::uint32_t kQuarterWrap = 0x40000000u;  // ten pumps: 2.5 wraps of the clock
    struct Case {
        const char* name;
        Bytes ending;  // fed after the long wait; empty = a cancel
        std::int32_t status;
    };
    const Case cases[] = {
        {"reply", kReply, TW_OK},
        {"NACK", kNack, TW_ERR_NACK},
        {"cancel", {}, TW_ERR_CANCELLED},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        FakeClock clock(0);
        Feed(context, kAck);
        int pumps = 0;
        ScriptedPump pump([&] {
            FakeClock::Advance(kQuarterWrap);
            if (++pumps == 10) {
                if (c.ending.empty()) {
                    CancelExchange(context);
                } else {
                    Feed(context, c.ending);
                }
            }
            context.RxSignal.Notify();
        });
        EXPECT_EQ(WaitResponse(context, kTimeoutNoEnd), c.status) << c.name;
        EXPECT_EQ(pumps, 10) << c.name;
    }
    ReaderContext context;  // the ACK limit still applies
    EXPECT_EQ(RunWait(context, kTimeoutNoEnd, {}).status, TW_ERR_TIMEOUT);
}

TEST(WaitResponse, APendingCancelEndsTheWaitAtOnce) {
    ReaderContext context;
    FakeClock clock;
    Feed(context, kReply);  // even a reply that is already there
    context.WaitState.store(kWaitCancelled);
    int pumps = 0;
    ScriptedPump pump([&] { ++pumps; });
    EXPECT_EQ(WaitResponse(context, 2000), TW_ERR_CANCELLED);
    EXPECT_EQ(pumps, 0);
    EXPECT_EQ(context.WaitState.load(), kWaitIdle);
    EXPECT_EQ(context.RxState.load(), kRxComplete);  // left as it was
}

TEST(WaitResponse, AnExceptionFromAMessageHandlerIsReportedAndTheWaitGoesOn) {
    ReaderContext context;
    int reported = 0;
    platform::SetExceptionHandler([&](void*, std::exception_ptr) { ++reported; });
    FakeClock clock;
    int pumps = 0;
    ScriptedPump pump([&] {
        FakeClock::Advance(1);
        if (++pumps == 3) throw 7;
        if (pumps == 5) Feed(context, kReply);
    });
    EXPECT_EQ(WaitResponse(context, 2000), TW_OK);
    platform::SetExceptionHandler(nullptr);
    EXPECT_EQ(reported, 1);
}

TEST(PumpDelay, PumpsUntilTheTimeHasPassed) {
    for (std::uint32_t start : {5000u, 0xFFFFFFF0u}) {
        FakeClock clock(start);
        int pumps = 0;
        ScriptedPump pump([&] {
            ++pumps;
            FakeClock::Advance(7);
        });
        PumpDelay(100);
        EXPECT_EQ(pumps, 15) << start;  // 14 * 7 = 98 < 100 <= 105
        EXPECT_EQ(FakeClock::Now() - start, 105u) << start;
    }
}

}  // namespace
