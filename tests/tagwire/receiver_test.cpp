// The receive state machine, fed directly with the chunks a transport would deliver.
#include <gtest/gtest.h>

#include "link_test_support.h"
#include "tagwire/tagwire.h"

namespace {

const Bytes kReplyData = {0x75, 0x01, 0x02, 0x00, 0xFF, 0x00, 0x00, 0xFF};
const Bytes kReply = Frame(kReplyData);

struct Outcome {
    std::int32_t state;
    bool ack;
};

Outcome FeedChunks(ReaderContext& context, const std::vector<Bytes>& chunks) {
    for (const Bytes& chunk : chunks) Feed(context, chunk);
    return {context.RxState.load(), context.AckReceived.load() != 0};
}

TEST(Receiver, AReplySplitAtAnyBoundaryCompletesTheSameFrame) {
    const Bytes stream = Join({kAck, kReply});
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        for (std::size_t cut2 = cut; cut2 < stream.size(); ++cut2) {
            ReaderContext context;
            const Bytes a(stream.begin(), stream.begin() + cut);
            const Bytes b(stream.begin() + cut, stream.begin() + cut2);
            const Bytes c(stream.begin() + cut2, stream.end());
            std::vector<Bytes> chunks = {a};
            if (!b.empty()) chunks.push_back(b);
            chunks.push_back(c);
            const Outcome out = FeedChunks(context, chunks);
            ASSERT_EQ(out.state, kRxComplete) << "cuts " << cut << "," << cut2;
            ASSERT_TRUE(out.ack) << "cuts " << cut << "," << cut2;
            ASSERT_EQ(ReceivedFrame(context), Record(kReplyData)) << "cuts " << cut << "," << cut2;
        }
    }
    ReaderContext context;  // one byte per chunk
    for (std::uint8_t b : stream) Feed(context, {b});
    EXPECT_EQ(context.RxState.load(), kRxComplete);
    EXPECT_EQ(ReceivedFrame(context), Record(kReplyData));
}

TEST(Receiver, SkipsGarbageAndBrokenFramesBeforeAGoodOne) {
    Bytes badLcs = Frame({0x11, 0x22});
    badLcs[4] ^= 0x01;
    Bytes badDcs = Frame({0x11, 0x22});
    badDcs[7] ^= 0x01;
    Bytes zeroLcs = Frame({0x11, 0x22});
    zeroLcs[4] = 0x00;  // a wrong LCS that could start the next preamble
    const Bytes truncatedHeader = {0x00, 0x00, 0xFF, 0x05};
    struct Case {
        const char* name;
        Bytes before;
    };
    const Case cases[] = {
        {"one garbage byte", {0x42}},
        {"garbage ending in zero", {0x42, 0x00}},
        {"garbage ending in two zeros", {0x42, 0x00, 0x00}},
        {"a long run of zeros", {0x00, 0x00, 0x00, 0x00, 0x00}},
        {"lone start bytes", {0xFF, 0xFF, 0x00, 0xFF}},
        {"wrong LCS", badLcs},
        {"wrong DCS", badDcs},
        {"wrong LCS of zero", zeroLcs},
        {"a header cut short", truncatedHeader},
        {"ACK header with a wrong LCS", {0x00, 0x00, 0xFF, 0x00, 0x12}},
    };
    for (const Case& c : cases) {
        for (bool oneChunk : {true, false}) {
            ReaderContext context;
            const std::vector<Bytes> chunks =
                oneChunk ? std::vector<Bytes>{Join({c.before, kReply})} : std::vector<Bytes>{c.before, kReply};
            EXPECT_EQ(FeedChunks(context, chunks).state, kRxComplete) << c.name << " " << oneChunk;
            EXPECT_EQ(ReceivedFrame(context), Record(kReplyData)) << c.name;
        }
    }
}

// Whatever came before it in the same wait, a good frame is received: every preamble, also in
// bytes already taken for another frame, begins a frame of its own.
TEST(Receiver, AFrameAfterGarbageIsReceivedAtAnyChunkBoundary) {
    Bytes badPostamble = Frame({0x11, 0x22});
    badPostamble.back() = 0x01;
    const Bytes partial = Frame({0x10, 0x20, 0x30, 0x40});
    struct Case {
        const char* name;
        Bytes before;
    };
    const Case cases[] = {
        {"a header without its length", {0x00, 0x00, 0xFF}},
        {"a run of zeros and a start byte", {0x00, 0x00, 0x00, 0x00, 0xFF}},
        {"a frame cut after its length", {0x00, 0x00, 0xFF, 0x03, 0xFD}},
        {"a frame cut in its data", Bytes(partial.begin(), partial.begin() + 7)},
        {"a frame cut before its checksum", Bytes(partial.begin(), partial.end() - 2)},
        // The next frame's first bytes complete the cut frame's data and checksum; its postamble
        // would be the next frame's start byte.
        {"a cut frame that ends on the next one's bytes", {0x00, 0x00, 0xFF, 0x02, 0xFE, 0x00}},
        {"an ACK without its postamble", {0x00, 0x00, 0xFF, 0x00, 0xFF}},
        {"an ACK header with a wrong LCS", {0x00, 0x00, 0xFF, 0x00, 0x00, 0x00}},
        {"a NACK with a wrong last byte", {0x00, 0x00, 0xFF, 0xFF, 0x05}},
        {"a frame with a bad postamble", badPostamble},
    };
    for (const Case& c : cases) {
        const Bytes stream = Join({c.before, kReply});
        for (std::size_t cut = 0; cut < stream.size(); ++cut) {
            ReaderContext context;
            std::vector<Bytes> chunks;
            if (cut > 0) chunks.emplace_back(stream.begin(), stream.begin() + cut);
            chunks.emplace_back(stream.begin() + cut, stream.end());
            ASSERT_EQ(FeedChunks(context, chunks).state, kRxComplete) << c.name << ", cut " << cut;
            ASSERT_EQ(ReceivedFrame(context), Record(kReplyData)) << c.name << ", cut " << cut;
        }
    }
}

// A frame or NACK inside the data of a frame begun before it is that frame's data when the
// earlier frame ends whole; when the earlier one never ends, the waiter takes the inner one.
TEST(Receiver, AFrameInsideAnEarlierOneWaitsForIt) {
    const Bytes inner = Frame({0x7F});
    const Bytes outer = Frame(Join({{0x11}, inner, kNack, {0x22}}));
    ReaderContext whole;
    Feed(whole, outer);
    EXPECT_EQ(whole.RxState.load(), kRxComplete);
    EXPECT_EQ(ReceivedFrame(whole), Record(Join({{0x11}, inner, kNack, {0x22}})));

    // A frame cut short whose length runs on over the whole next frame.
    const Bytes cut = {0x00, 0x00, 0xFF, 0x30, 0xD0, 0x01, 0x02};
    ReaderContext context;
    Feed(context, Join({cut, kReply}));
    EXPECT_EQ(context.RxState.load(), kRxData) << "the cut frame may still end";
    ASSERT_TRUE(TakeWaitingFrame(context));
    EXPECT_EQ(context.RxState.load(), kRxComplete);
    EXPECT_EQ(ReceivedFrame(context), Record(kReplyData));
    EXPECT_FALSE(TakeWaitingFrame(context));

    ReaderContext nothing;
    Feed(nothing, cut);
    EXPECT_FALSE(TakeWaitingFrame(nothing));
    EXPECT_EQ(nothing.RxState.load(), kRxData);
}

TEST(Receiver, SpecialFramesAndWhatFollowsThem) {
    struct Case {
        const char* name;
        Bytes stream;
        std::int32_t state;
        bool ack;
    };
    const Case cases[] = {
        // A zero postamble may also begin the next preamble.
        {"ACK alone", kAck, kRxPreamble2, true},
        {"ACK with any postamble", {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x5A}, kRxIdle, true},
        {"ACK and reply in one chunk", Join({kAck, kReply}), kRxComplete, true},
        {"reply without ACK", kReply, kRxComplete, false},
        {"NACK", kNack, kRxNack, false},
        {"NACK holds: a reply after it is ignored", Join({kNack, kReply}), kRxNack, false},
        {"ACK after a complete frame is ignored", Join({kReply, kAck}), kRxComplete, false},
        {"a one-byte reply", Frame({0x7F}), kRxComplete, false},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        const Outcome out = FeedChunks(context, {c.stream});
        EXPECT_EQ(out.state, c.state) << c.name;
        EXPECT_EQ(out.ack, c.ack) << c.name;
    }
}

TEST(Receiver, TheRestOfAChunkAfterACompleteFrameIsDropped) {
    ReaderContext context;
    const Bytes second = Frame({0x99, 0x98});
    Feed(context, Join({kReply, second}));
    EXPECT_EQ(ReceivedFrame(context), Record(kReplyData));
    // Re-armed by the waiter, the receiver parses the next chunk afresh.
    context.RxState.store(kRxIdle);
    Feed(context, second);
    EXPECT_EQ(ReceivedFrame(context), Record({0x99, 0x98}));
}

TEST(Receiver, RxFrameKeepsTheLastWholeFrameWhileAnotherIsReceived) {
    ReaderContext context;
    Feed(context, kReply);
    context.RxState.store(kRxIdle);  // the waiter took the frame
    Bytes broken = Frame({0x01, 0x02, 0x03, 0x04});
    broken[4] ^= 0x10;
    Feed(context, broken);
    Feed(context, {0x00, 0x00, 0xFF, 0x09, 0xF7, 0x55});  // a header and a data byte
    EXPECT_EQ(ReceivedFrame(context), Record(kReplyData));
}

TEST(Receiver, LongestFrameFits) {
    Bytes data(254);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    ReaderContext context;
    Feed(context, Frame(data));  // 261 bytes in one chunk
    ASSERT_EQ(context.RxState.load(), kRxComplete);
    EXPECT_EQ(context.RxFrame[0], 255);
    EXPECT_EQ(ReceivedFrame(context), Record(data));
}

TEST(Receiver, RawLogKeepsTheBytesSinceTheLastSendAndRestartsAt300) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> chunks;
        std::uint32_t count;  // RxLogCount afterwards
        std::uint32_t lastAt;  // where the last chunk was logged
    };
    const Case cases[] = {
        {"one byte", {1}, 1, 0},
        {"a 300-byte chunk is logged whole", {300}, 300, 0},
        {"299 bytes stay", {150, 149}, 299, 150},
        {"reaching 300 restarts", {150, 149, 1}, 1, 0},
        {"after 300, the next chunk restarts", {300, 7}, 7, 0},
        {"crossing 300 restarts", {200, 200}, 200, 0},
    };
    for (const Case& c : cases) {
        ReaderContext context;
        std::uint8_t value = 1;
        Bytes last;
        for (std::uint32_t size : c.chunks) {
            last.assign(size, 0);
            for (auto& b : last) b = value++;
            Feed(context, last);
        }
        EXPECT_EQ(context.RxLogCount.load(), c.count) << c.name;
        Bytes logged(last.size());
        context.RxLog.CopyOut(logged.data(), c.lastAt, logged.size());
        EXPECT_EQ(logged, last) << c.name;
    }
}

}  // namespace
