// A command's wait for its reply over either transport, as the receive thread sees it: a reply
// that comes in pieces with pauses between them, the line pulled during the wait, and TwClose
// from a message handler while the reply is awaited and while it is coming in.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "card_rig.h"
#include "tagwire/tagwire.h"

namespace card_rig {
namespace {

using namespace std::chrono_literals;
using tapwedge::sim::Fault;

struct WaitCase {
    const char* name;
    Fault fault;  // on the RF-off command (0x54), whose export passes the wait's status on
    // What the message handler does during the wait, and when (after the command went out).
    std::chrono::milliseconds at;
    std::function<std::int32_t(SimReader&)> action;
    std::int32_t status;         // of TwTurnOff
    std::int32_t actionStatus;   // of the action, when it gives one
};

class TransportWaitTest : public ::testing::TestWithParam<Transport> {};

TEST_P(TransportWaitTest, TheReplyWaitAndWhatEndsIt) {
    const WaitCase cases[] = {
        {"reply in three pieces", {.command = 0x54, .split_at = {2, 5}, .split_gap_ms = 15}, 0ms,
         nullptr, TW_OK, 0},
        {"ACK and the reply's first piece together",
         {.command = 0x54, .split_at = {3}, .split_gap_ms = 15, .merge_with_ack = true}, 0ms, nullptr,
         TW_OK, 0},
        {"line pulled while the reply is awaited", {.command = 0x54, .reply_delay_ms = 400}, 50ms,
         [](SimReader& reader) {
             reader.Unplug();
             JumpClock::Jump(10'000);  // well past the time-out
             return 0;
         },
         TW_ERR_TIMEOUT, 0},
        {"TwClose while the reply is awaited", {.command = 0x54, .reply_delay_ms = 400}, 50ms,
         [](SimReader&) { return TwClose(); }, TW_ERR_CANCELLED, TW_OK},
        {"TwClose while the reply comes in",
         {.command = 0x54, .split_at = {3, 6}, .split_gap_ms = 150}, 100ms,
         [](SimReader&) { return TwClose(); }, TW_ERR_CANCELLED, TW_OK},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        JumpClock clock;
        SimReader reader(GetParam());
        ASSERT_EQ(reader.OpenStatus(), TW_OK);
        reader.sim.InjectFault(c.fault);
        std::int32_t actionStatus = 0;
        WaitScript script(reader.sim);
        if (c.action) script.Then(c.at, [&] { actionStatus = c.action(reader); });
        {
            ScriptedPump pump([&] { script.Step(); });
            EXPECT_EQ(TwTurnOff(), c.status);
        }
        EXPECT_EQ(script.Done(), c.action ? 1u : 0u);
        EXPECT_EQ(actionStatus, c.actionStatus);
    }
}

INSTANTIATE_TEST_SUITE_P(BothTransports, TransportWaitTest,
                         ::testing::Values(Transport::Usb, Transport::Com), TransportName);

}  // namespace
}  // namespace card_rig
