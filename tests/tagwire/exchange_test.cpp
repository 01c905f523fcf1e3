// Framing, the reply check, the exchange and its guards, and re-entry through the message pump.
#include <gtest/gtest.h>

#include <cstring>

#include "link_test_support.h"
#include "tagwire/tagwire.h"

namespace {

Bytes LastSent(const ReaderContext& context, std::size_t n) {
    return Bytes(context.LastSent, context.LastSent + n);
}

// A pump that moves the clock by 1 ms per call and runs `script` with the call number.
class Script {
public:
    explicit Script(std::function<void(int)> script)
        : clock_(5000), pump_([this] {
              FakeClock::Advance(1);
              const int call = ++calls_;
              script_(call);
          }),
          script_(std::move(script)) {}
    int calls() const { return calls_; }

private:
    FakeClock clock_;
    ScriptedPump pump_;
    std::function<void(int)> script_;
    int calls_ = 0;
};

TEST(SendFrame, FramesTheDataAndKeepsLastSentInShortOrLongForm) {
    {
        ReaderContext context;
        const std::uint8_t code = 0x74;
        SendFrame(context, &code, 1);
        EXPECT_EQ(LastSent(context, 9), (Bytes{9, 0x00, 0x00, 0xFF, 0x01, 0xFF, 0x74, 0x8C, 0x00}));
    }
    struct Case {
        std::uint32_t dataLength;
        Bytes head;  // LastSent's first bytes
        std::size_t frameAt;
    };
    const Case cases[] = {
        {0, {8}, 1},
        {246, {254}, 1},       // a 253-byte frame: short form
        {247, {0xFF, 0x01}, 2},  // a 254-byte frame: long form, (254 + 3) mod 256
        {254, {0xFF, 0x08}, 2},  // the longest frame, 261 bytes
    };
    for (const Case& c : cases) {
        ReaderContext context;
        Bytes data(c.dataLength);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3 + 1);
        const Bytes frame = Frame(data);
        SendFrame(context, data.data(), c.dataLength);
        EXPECT_EQ(LastSent(context, c.head.size()), c.head) << c.dataLength;
        EXPECT_EQ(Bytes(context.LastSent + c.frameAt, context.LastSent + c.frameAt + frame.size()), frame)
            << c.dataLength;
    }
}

TEST(SendFrame, RestartsTheRawLogAndClearsTheAck) {
    ReaderContext context;
    Feed(context, Join({kAck, {1, 2, 3}}));
    ASSERT_EQ(context.RxLogCount.load(), 9u);
    ASSERT_TRUE(context.AckReceived.load());
    Feed(context, Frame({0x33}));
    const std::uint8_t code = 0x10;
    SendFrame(context, &code, 1);
    EXPECT_EQ(context.RxLogCount.load(), 0u);
    EXPECT_FALSE(context.AckReceived.load());
    EXPECT_EQ(context.RxState.load(), kRxComplete);  // the receiver is Transceive's to reset
}

TEST(CheckResponse, TestsInOrderFailureRejectionLengthCode) {
    struct Case {
        Bytes reply;
        std::uint8_t expected;
        int minimum;
        std::int32_t status;
    };
    const Case cases[] = {
        {{2, 0x7F}, 0x03, 4, TW_ERR_READER_REJECTED},
        {{2, 0x7E}, 0x03, 4, TW_ERR_READER_FAILED},
        {{3, 0x03, 0x00}, 0x03, 4, TW_ERR_SHORT_REPLY},
        {{4, 0x05, 0x00, 0x00}, 0x03, 4, TW_ERR_BAD_REPLY},
        {{3, 0x05, 0x00}, 0x03, 4, TW_ERR_SHORT_REPLY},  // length before code
        {{4, 0x03, 0x00, 0x00}, 0x03, 4, TW_OK},
        {{2, 0x75}, 0x75, 2, TW_OK},
        {{9, 0x7E, 0, 0, 0, 0, 0, 0, 0}, 0x7E, 2, TW_ERR_READER_FAILED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckResponse(c.reply.data(), c.expected, c.minimum), c.status)
            << "reply code " << int(c.reply[1]) << " length " << int(c.reply[0]);
    }
}

TEST(ByteOrder, LittleAndBigEndianFields) {
    std::uint8_t out[2];
    PutU16Le(0x1234, out);
    EXPECT_EQ(out[0], 0x34);
    EXPECT_EQ(out[1], 0x12);
    EXPECT_EQ(GetU16Le(out), 0x1234);
    PutU16Be(0xA1B2, out);
    EXPECT_EQ(out[0], 0xA1);
    EXPECT_EQ(out[1], 0xB2);
    EXPECT_EQ(GetU16Be(out), 0xA1B2);
    const std::uint8_t in[2] = {0xFF, 0x01};
    EXPECT_EQ(GetU16Le(in), 0x01FF);
    EXPECT_EQ(GetU16Be(in), 0xFF01);
}

TEST(Transceive, SendsTheCommandAndReturnsTheReplyInTheSameBuffer) {
    ReaderContext context;
    Feed(context, Frame({0x11}));  // a stale frame from before is not taken as the reply
    Bytes replyData(254);
    for (std::size_t i = 0; i < replyData.size(); ++i) replyData[i] = static_cast<std::uint8_t>(i);
    replyData[0] = 0x75;
    Script script([&](int call) {
        if (call == 3) Feed(context, Join({kAck, Frame(replyData)}));
    });
    std::memset(TwCommandBuffer, 0xEE, sizeof TwCommandBuffer);
    TwCommandBuffer[0] = 3;
    TwCommandBuffer[1] = 0x74;
    TwCommandBuffer[2] = 0x01;
    ASSERT_EQ(Transceive(context, TwCommandBuffer, TwCommandBuffer), TW_OK);
    EXPECT_EQ(LastSent(context, 10), (Bytes{10, 0x00, 0x00, 0xFF, 0x02, 0xFE, 0x74, 0x01, 0x8B, 0x00}));
    EXPECT_EQ(Bytes(TwCommandBuffer, TwCommandBuffer + 255), Record(replyData));
    EXPECT_EQ(TwCommandBuffer[255], 0xEE);  // nothing past the reply
    EXPECT_EQ(ReceivedFrame(context), Record(replyData));
}

TEST(GuardedTransceive, ModesAndTheEmptyCommand) {
    const std::uint8_t command[256] = {2, 0x74};
    const std::uint8_t empty[] = {0, 0x74};
    const std::uint8_t noCode[] = {1, 0x74};  // its frame would carry no data
    struct Case {
        const char* name;
        const std::uint8_t* command;
        std::uint8_t mode;
        bool authenticated;
        bool busy;
        std::int32_t status;
        bool sends;
    };
    const Case cases[] = {
        {"mode 0, empty command", empty, 0, true, false, TW_ERR_PARAM, false},
        {"mode 2, empty command", empty, 2, false, false, TW_ERR_PARAM, false},
        {"mode 1, authenticated, empty command", empty, 1, true, false, TW_ERR_PARAM, false},
        {"mode 0, a command without its code", noCode, 0, true, false, TW_ERR_PARAM, false},
        {"mode 1, not authenticated", command, 1, false, false, TW_ERR_FAILED, false},
        {"mode 1, busy", command, 1, true, true, TW_ERR_BUSY, false},
        {"mode 2, busy", command, 2, false, true, TW_ERR_BUSY, false},
        {"mode 9, busy", command, 9, false, true, TW_ERR_BUSY, false},
        {"mode 0 is not refused while busy", command, 0, false, true, TW_OK, true},
        {"mode 1, authenticated", command, 1, true, false, TW_OK, true},
        {"mode 2", command, 2, false, false, TW_OK, true},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        context.Authenticated.store(c.authenticated);
        if (c.busy) context.WaitState.store(kWaitWaiting);
        Script script([&](int call) {
            if (call == 1) Feed(context, Join({kAck, Frame({0x75})}));
        });
        std::uint8_t reply[256] = {};
        EXPECT_EQ(GuardedTransceive(context, reply, c.command, c.mode), c.status) << c.name;
        EXPECT_EQ(context.LastSent[0] != 0, c.sends) << c.name;
        if (c.status == TW_OK) {
            EXPECT_EQ(Bytes(reply, reply + 2), (Bytes{2, 0x75})) << c.name;
        }
    }
}

TEST(Reentry, ACancelFromAMessageHandlerEndsTheWait) {
    ReaderContext context;
    Script script([&](int call) {
        if (call == 1) Feed(context, kAck);
        if (call == 3) {
            EXPECT_EQ(CancelExchange(context), TW_OK);
        }
    });
    std::uint8_t command[256] = {2, 0x74};
    EXPECT_EQ(Transceive(context, command, command), TW_ERR_CANCELLED);
    EXPECT_EQ(script.calls(), 3);
    EXPECT_EQ(context.WaitState.load(), kWaitIdle);
    EXPECT_EQ(CheckBusy(context), TW_OK);
}

TEST(Reentry, ABusyCheckedCommandIsRefusedAndTheWaitGoesOn) {
    ReaderContext context;
    std::int32_t inner = 0;
    Bytes sentBefore;
    Script script([&](int call) {
        if (call == 1) Feed(context, kAck);
        if (call == 2) {
            sentBefore = LastSent(context, 9);
            const std::uint8_t other[] = {2, 0x10};
            std::uint8_t reply[256];
            inner = GuardedTransceive(context, reply, other, 2);
            EXPECT_EQ(CheckBusy(context), TW_ERR_BUSY);
            EXPECT_EQ(LastSent(context, 9), sentBefore);  // nothing was sent
        }
        if (call == 5) Feed(context, Frame({0x75, 0x42}));
    });
    std::uint8_t command[256] = {2, 0x74};
    EXPECT_EQ(Transceive(context, command, command), TW_OK);
    EXPECT_EQ(inner, TW_ERR_BUSY);
    EXPECT_EQ(command[2], 0x42);
}

TEST(Reentry, ABusyCheckEndsAWaitWithoutEndAndTakesOver) {
    ReaderContext context;
    context.Timeout = kTimeoutNoEnd;
    std::int32_t inner = 1;
    std::uint8_t innerReply[256] = {};
    Script script([&](int call) {
        if (call == 1) Feed(context, kAck);  // the polling command is accepted and waits on
        if (call == 50) {
            const std::uint8_t other[] = {2, 0x10};
            inner = GuardedTransceive(context, innerReply, other, 2);  // pumps again: calls 51..
        }
        if (call == 53) Feed(context, Join({kAck, Frame({0x11, 0x07})}));
    });
    std::uint8_t command[256] = {2, 0x4A};
    EXPECT_EQ(Transceive(context, command, command), TW_ERR_CANCELLED);
    EXPECT_EQ(inner, TW_OK);
    EXPECT_EQ(innerReply[1], 0x11);
    EXPECT_EQ(innerReply[2], 0x07);
    EXPECT_EQ(context.Timeout, 1000);
    EXPECT_EQ(context.WaitState.load(), kWaitIdle);
    EXPECT_EQ(LastSent(context, 9), (Bytes{9, 0x00, 0x00, 0xFF, 0x01, 0xFF, 0x10, 0xF0, 0x00}));
}

TEST(Cancel, ACancelWhileIdleCancelsTheNextWaitUnlessABusyCheckClearsIt) {
    {
        ReaderContext context;
        FakeClock clock;
        EXPECT_EQ(CancelExchange(context), TW_OK);
        EXPECT_EQ(context.WaitState.load(), kWaitCancelled);
        std::uint8_t command[256] = {2, 0x74};
        EXPECT_EQ(Transceive(context, command, command), TW_ERR_CANCELLED);
        EXPECT_EQ(LastSent(context, 1), Bytes{9});  // sent before the wait gave up
        EXPECT_EQ(context.WaitState.load(), kWaitIdle);
    }
    {
        ReaderContext context;
        CancelExchange(context);
        Script script([&](int call) {
            if (call == 1) Feed(context, Join({kAck, Frame({0x75})}));
        });
        const std::uint8_t command[256] = {2, 0x74};
        std::uint8_t reply[256];
        EXPECT_EQ(GuardedTransceive(context, reply, command, 2), TW_OK);
    }
}

TEST(Cancel, WithAnAuthenticatedReaderALateReplyIsTakenOffTheReceiver) {
    for (bool replyComes : {true, false}) {
        ReaderContext context;
        context.Authenticated.store(1);
        Script script([&](int call) {
            if (call == 40 && replyComes) Feed(context, Frame({0x75}));
        });
        EXPECT_EQ(CancelExchange(context), TW_OK);
        EXPECT_EQ(script.calls(), 100);  // 100 ms of messages
        EXPECT_EQ(context.RxState.load(), kRxIdle) << replyComes;
        EXPECT_EQ(context.WaitState.load(), kWaitCancelled);
    }
}

}  // namespace
