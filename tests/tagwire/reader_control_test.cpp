// Reader control, pass-through and the raw logs against the reader simulator, over USB and
// COM, plain (not authenticated) and sealed.
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "link_layer.h"
#include "reader_context.h"
#include "reader_session.h"

namespace {

class ReaderControl : public ReaderSession {
protected:
    // Plain: a reader that is not authenticated (the control commands need none).
    void Enter(Channel channel) {
        if (channel == Channel::Sealed) {
            Authenticate(Channel::Sealed);
        } else {
            ASSERT_EQ(TwReset(), TW_OK);
            sim_.ClearRecord();
        }
    }
};
READER_SESSION_SUITE(ReaderControl);

ReaderContext& Context() { return *ContextPtr.load(); }

sim::Bytes Cat(std::initializer_list<sim::Bytes> parts) {
    sim::Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ---- control commands ----

TEST_P(ReaderControl, ControlRequestsAndReplies) {
    std::uint8_t switchByte = 0xEE;
    struct Case {
        const char* name;
        std::function<std::int32_t()> call;
        sim::Bytes request;
        std::function<void(sim::ReaderSim&)> script;
        std::int32_t result;
        // What the reader was told: its control record now and before the call.
        std::function<bool(const sim::ControlRecord&, const sim::ControlRecord&)> effect;
    } cases[] = {
        {"chip init", [] { return TwFChipInit(); }, {7, 0x62, 0x4D, 0x17, 0xA2, 0x6B, 0x0E},
         [](sim::ReaderSim&) {}, TW_OK,
         [](const auto& now, const auto& was) { return now.chip_inits == was.chip_inits + 1; }},
        {"chip init reads no status", [] { return TwFChipInit(); },
         {7, 0x62, 0x4D, 0x17, 0xA2, 0x6B, 0x0E},
         [](sim::ReaderSim& s) { s.QueueReply(0x62, {0x63, 9}); }, TW_OK, nullptr},
        {"chip init rejected", [] { return TwFChipInit(); },
         {7, 0x62, 0x4D, 0x17, 0xA2, 0x6B, 0x0E},
         [](sim::ReaderSim& s) { s.QueueReply(0x62, {0x7F}); }, TW_ERR_READER_REJECTED, nullptr},
        {"RF off", [] { return TwTurnOff(); }, {2, 0x54}, [](sim::ReaderSim&) {}, TW_OK,
         [](const auto& now, const auto& was) { return now.rf_offs == was.rf_offs + 1; }},
        {"RF off reads no status", [] { return TwTurnOff(); }, {2, 0x54},
         [](sim::ReaderSim& s) { s.QueueReply(0x54, {0x55, 4}); }, TW_OK, nullptr},
        {"RF off failed", [] { return TwTurnOff(); }, {2, 0x54},
         [](sim::ReaderSim& s) { s.QueueReply(0x54, {0x7E}); }, TW_ERR_READER_FAILED, nullptr},
        {"RF off, other reply", [] { return TwTurnOff(); }, {2, 0x54},
         [](sim::ReaderSim& s) { s.QueueReply(0x54, {0x63}); }, TW_ERR_BAD_REPLY, nullptr},
        {"output: the low byte of the value", [] { return TwSetOutput(2, 0x1234); },
         {4, 0x6A, 2, 0x34}, [](sim::ReaderSim&) {}, TW_OK,
         [](const auto& now, const auto&) { return now.outputs.at(2) == 0x34; }},
        {"output status 6", [] { return TwSetOutput(1, 1); }, {4, 0x6A, 1, 1},
         [](sim::ReaderSim& s) { s.SetCommandStatus(0x6A, 6); }, TW_ERR_READER_STATUS + 6,
         nullptr},
        {"output, code only", [] { return TwSetOutput(1, 0); }, {4, 0x6A, 1, 0},
         [](sim::ReaderSim& s) { s.QueueReply(0x6A, {0x6B}); }, TW_ERR_SHORT_REPLY, nullptr},
        {"switch", [&] { return TwGetSwitch(&switchByte); }, {2, 0x6C},
         [](sim::ReaderSim& s) { s.SetSwitchByte(0xA5); }, TW_OK,
         [&](const auto&, const auto&) { return switchByte == 0xA5; }},
        {"switch, code only", [&] { return TwGetSwitch(&switchByte); }, {2, 0x6C},
         [](sim::ReaderSim& s) { s.QueueReply(0x6C, {0x6D}); }, TW_ERR_SHORT_REPLY,
         [&](const auto&, const auto&) { return switchByte == 0xEE; }},
        {"switch, other reply", [&] { return TwGetSwitch(&switchByte); }, {2, 0x6C},
         [](sim::ReaderSim& s) { s.QueueReply(0x6C, {0x6B, 1}); }, TW_ERR_BAD_REPLY,
         [&](const auto&, const auto&) { return switchByte == 0xEE; }},
        {"baud rate status 3", [] { return TwChangeBaudRate(4); }, {3, 0x68, 4},
         [](sim::ReaderSim& s) { s.SetCommandStatus(0x68, 3); }, TW_ERR_READER_STATUS + 3,
         nullptr},
    };
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << ChannelName(channel) << ": " << c.name);
            sim_.SetCommandStatus(0x68, 0);
            sim_.SetCommandStatus(0x6A, 0);
            Enter(channel);
            switchByte = 0xEE;
            const sim::ControlRecord was = sim_.Control();
            c.script(sim_);
            EXPECT_EQ(c.call(), c.result);
            ASSERT_EQ(CommandCount(), 1u);
            EXPECT_EQ(LastCommand().sealed, channel == Channel::Sealed);
            EXPECT_TRUE(SentAs(LastCommand(), c.request));
            if (c.effect) { EXPECT_TRUE(c.effect(sim_.Control(), was)); }
        }
    }
}

TEST_P(ReaderControl, BaudRateCodes) {
    struct Case {
        std::int32_t code;
        std::optional<sim::Bytes> reply;  // scripted, else the reader's own
        std::int32_t result;
        bool sent;
    } cases[] = {
        {0, {}, TW_OK, true},
        {11, {}, TW_OK, true},
        {12, {}, TW_ERR_PARAM, false},
        {-1, {}, TW_ERR_PARAM, false},
        {256, {}, TW_ERR_PARAM, false},  // its low byte would be code 0
        {INT_MIN, {}, TW_ERR_PARAM, false},
        // No status byte counts as 0, not the code the request left in the library's buffer.
        {11, sim::Bytes{0x69}, TW_OK, true},
        {5, sim::Bytes{0x69, 2}, TW_ERR_READER_STATUS + 2, true},
        {5, sim::Bytes{0x7F}, TW_ERR_READER_REJECTED, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code);
        sim_.ClearRecord();
        if (c.reply) sim_.QueueReply(0x68, *c.reply);
        EXPECT_EQ(TwChangeBaudRate(c.code), c.result);
        if (!c.sent) {
            EXPECT_EQ(CommandCount(), 0u);
            continue;
        }
        ASSERT_EQ(CommandCount(), 1u);
        EXPECT_TRUE(SentAs(LastCommand(), {3, 0x68, static_cast<std::uint8_t>(c.code)}));
        if (!c.reply) { EXPECT_EQ(sim_.Control().baud_code, c.code); }
    }
}

// The version text is the reply's data and a 0 byte, however long the reply, and nothing of the
// caller's buffer beyond it is written.
TEST_P(ReaderControl, VersionText) {
    struct Case {
        Channel channel;
        std::string text;
        std::int32_t result;
    } cases[] = {
        {Channel::Plain, "A", TW_OK},
        {Channel::Plain, "TQ5862 V1.00", TW_OK},
        {Channel::Plain, std::string(253, 'v'), TW_OK},  // the longest a reply frame carries
        {Channel::Plain, "", TW_ERR_SHORT_REPLY},
        {Channel::Sealed, "A", TW_OK},
        {Channel::Sealed, std::string(232, 'v'), TW_OK},  // the longest a sealed reply carries
        {Channel::Sealed, "", TW_ERR_SHORT_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << ChannelName(c.channel) << ", " << c.text.size()
                                        << " characters");
        Enter(c.channel);
        sim_.QueueReply(0xFE, Cat({{0xFF}, sim::Bytes(c.text.begin(), c.text.end())}));
        char out[256 + 64];
        std::memset(out, 0xEE, sizeof out);
        ASSERT_EQ(TwGetVersion(out), c.result);
        EXPECT_TRUE(SentAs(LastCommand(), {2, 0xFE}));
        // Plain: exactly the text and its 0 byte. Sealed: the seal's zero padding may follow.
        std::size_t written = c.result == TW_OK ? c.text.size() + 1 : 0;
        if (c.result == TW_OK) {
            EXPECT_EQ(std::string(out), c.text);
            if (c.channel == Channel::Sealed)
                while (written < sizeof out && out[written] == 0) ++written;
        }
        EXPECT_LE(written, 254u);
        for (std::size_t i = written; i < sizeof out; ++i)
            ASSERT_EQ(static_cast<std::uint8_t>(out[i]), 0xEE) << "written at " << i;
    }
}

TEST_P(ReaderControl, AttentionRetriesOnceAfterASealedReplyFails) {
    const sim::Block8 data = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
    const sim::Bytes reply = Cat({{0x7B}, sim::Bytes(data.begin(), data.end())});
    const sim::Fault silent{.command = 0x7A, .ack = sim::Fault::Ack::None, .no_reply = true};
    struct Case {
        const char* name;
        Channel channel;
        std::vector<sim::Fault> faults;
        std::vector<sim::Bytes> replies;  // scripted in order, else the reader's own
        std::int32_t result;
        std::vector<bool> sealed;  // of each attempt
    } cases[] = {
        {"plain", Channel::Plain, {}, {}, TW_OK, {false}},
        {"plain, no retry", Channel::Plain, {silent}, {}, TW_ERR_TIMEOUT, {false}},
        {"plain, 7 bytes", Channel::Plain, {}, {Cat({{0x7B}, sim::Bytes(7, 1)})},
         TW_ERR_SHORT_REPLY, {false}},
        {"sealed", Channel::Sealed, {}, {}, TW_OK, {true}},
        {"bad MAC: retried in plain", Channel::Sealed, {{.command = 0x7A, .bad_mac = true}}, {},
         TW_OK, {true, false}},
        {"plain error reply: retried in plain", Channel::Sealed,
         {{.command = 0x7A, .plain_error_reply = true}}, {}, TW_OK, {true, false}},
        {"wrong counter: retried sealed", Channel::Sealed,
         {{.command = 0x7A, .wrong_counter = true}}, {}, TW_OK, {true, true}},
        {"the retry's failure is the result", Channel::Sealed,
         {{.command = 0x7A, .bad_mac = true}, silent}, {}, TW_ERR_TIMEOUT, {true, false}},
        {"the retry's reply is checked", Channel::Sealed, {{.command = 0x7A, .bad_mac = true}},
         {reply, {0x7B, 1, 2, 3}}, TW_ERR_SHORT_REPLY, {true, false}},
        {"sealed rejection: no retry", Channel::Sealed, {}, {{0x7F}}, TW_ERR_READER_REJECTED,
         {true}},
        {"sealed time-out: no retry", Channel::Sealed, {silent}, {}, TW_ERR_TIMEOUT, {true}},
    };
    sim_.SetAttentionData(data);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Enter(c.channel);
        for (const auto& fault : c.faults) sim_.InjectFault(fault);
        for (const auto& r : c.replies) sim_.QueueReply(0x7A, r);
        std::uint8_t out[8 + 8];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(TwAttention(out), c.result);
        const auto commands = sim_.Commands();
        ASSERT_EQ(commands.size(), c.sealed.size());
        for (std::size_t i = 0; i < commands.size(); ++i) {
            EXPECT_EQ(commands[i].sealed, c.sealed[i]) << "attempt " << i;
            EXPECT_TRUE(SentAs(commands[i], {2, 0x7A}));
        }
        if (c.sealed.size() == 2 && c.sealed[1]) {
            EXPECT_EQ(commands[0].counter, commands[1].counter);
        }
        if (c.result == TW_OK) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), out));
        } else {
            EXPECT_EQ(out[0], 0xEE);
        }
        EXPECT_EQ(out[8], 0xEE);
        sim_.ClearFaults();
        sim_.ClearReply(0x7A);
    }
}

// ---- pass-through ----

TEST_P(ReaderControl, ThruCommandRefusalsAndReply) {
    const std::uint8_t command[] = {3, 0x68, 1};
    const std::uint8_t empty[] = {0, 0x68, 1};
    const std::uint8_t noCode[] = {1, 0x68, 1};
    struct Case {
        const char* name;
        std::optional<Channel> channel;  // authenticated in this channel, else not at all
        const std::uint8_t* command;
        std::int32_t result;
    } cases[] = {
        {"not authenticated", {}, command, TW_ERR_FAILED},
        {"not authenticated, empty", {}, empty, TW_ERR_FAILED},
        {"plain, empty", Channel::Plain, empty, TW_ERR_PARAM},
        {"plain, without a code", Channel::Plain, noCode, TW_ERR_PARAM},
        {"sealed, empty", Channel::Sealed, empty, TW_ERR_PARAM},
        {"plain", Channel::Plain, command, TW_OK},
        {"sealed", Channel::Sealed, command, TW_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.channel) {
            Authenticate(*c.channel);
        } else {
            Enter(Channel::Plain);
        }
        std::uint8_t response[256];
        std::memset(response, 0xEE, sizeof response);
        sim_.SetCommandStatus(0x68, 9);
        EXPECT_EQ(TwThruCommand(response, c.command), c.result);
        if (c.result != TW_OK) {
            EXPECT_EQ(CommandCount(), 0u);
            EXPECT_EQ(response[0], 0xEE);
            continue;
        }
        EXPECT_TRUE(SentAs(LastCommand(), {3, 0x68, 1}));
        // The reply record: plain as received, sealed opened (with the seal's padding).
        EXPECT_EQ(response[0], c.channel == Channel::Plain ? 3 : 10);
        EXPECT_EQ(response[1], 0x69);
        EXPECT_EQ(response[2], 9);
    }

    // During another exchange it is busy and sends nothing.
    Authenticate(Channel::Plain);
    sim_.InjectFault({.command = 0x54, .reply_delay_ms = 100});
    std::optional<std::int32_t> inner;
    platform::SetMessagePump([&] {
        std::uint8_t response[256];
        if (!inner && CommandCount() > 0) inner = TwThruCommand(response, command);
    });
    EXPECT_EQ(TwTurnOff(), TW_OK);
    platform::SetMessagePump(nullptr);
    EXPECT_EQ(inner, TW_ERR_BUSY);
    EXPECT_EQ(CommandCount(), 1u);
}

// The time-out argument holds for the one exchange; the context's own comes back whatever the
// result.
TEST_P(ReaderControl, ThruCommand2PutsTheTimeoutBack) {
    const std::uint8_t command[] = {2, 0x6C};
    constexpr std::int32_t kOwn = 1700;
    const sim::Fault silent{.ack = sim::Fault::Ack::None, .no_reply = true};
    const sim::Fault noReply{.no_reply = true};
    struct Case {
        const char* name;
        bool authenticated;
        std::int32_t timeout;
        std::int32_t flag;
        std::optional<sim::Fault> fault;
        std::int32_t result;
        std::optional<std::int32_t> inWait;  // the time-out the wait ran with; none: nothing sent
    } cases[] = {
        {"flag 0 on a reader not authenticated", false, 800, 0, {}, TW_OK, 800},
        {"no ACK", false, 800, 0, silent, TW_ERR_TIMEOUT, 800},
        {"ACK without reply", false, 900, 0, noReply, TW_ERR_TIMEOUT, 900},
        {"flag 1 needs authentication", false, 800, 1, {}, TW_ERR_FAILED, {}},
        {"only the flag's low byte counts (1)", false, 800, 0x101, {}, TW_ERR_FAILED, {}},
        {"only the flag's low byte counts (0)", false, 800, 0x100, {}, TW_OK, 800},
        {"flag 2: busy check only", false, 800, 2, {}, TW_OK, 800},
        {"flag 1 authenticated", true, 800, 1, {}, TW_OK, 800},
        {"no end, flag 0", false, INT_MAX, 0, {}, TW_OK, INT_MAX},
        {"no end, flag 2: the busy check makes it 1000 ms", false, INT_MAX, 2, {}, TW_OK, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.authenticated) {
            Authenticate(Channel::Plain);
        } else {
            Enter(Channel::Plain);
        }
        if (c.fault) sim_.InjectFault(*c.fault);
        // A reply slower than the first look at the line, so that the wait always pumps.
        sim_.SetReplyLatency(std::chrono::milliseconds(20));
        Context().Timeout = kOwn;
        std::optional<std::int32_t> inWait;
        platform::SetMessagePump([&] { inWait = Context().Timeout; });
        std::uint8_t response[256] = {};
        EXPECT_EQ(TwThruCommand2(c.timeout, response, command, c.flag), c.result);
        platform::SetMessagePump(nullptr);
        EXPECT_EQ(Context().Timeout, kOwn);
        EXPECT_EQ(inWait, c.inWait);
        EXPECT_EQ(CommandCount(), c.inWait ? 1u : 0u);
        if (c.result == TW_OK) {
            EXPECT_EQ(response[0], 3);
            EXPECT_EQ(response[1], 0x6D);
        }
        sim_.ClearFaults();
        sim_.SetReplyLatency(std::chrono::milliseconds(0));
    }
}

// ---- the raw logs ----

struct RecvRecords {
    std::uint8_t raw[301 + 32];
    std::uint8_t sent[264 + 32];
    RecvRecords() {
        std::memset(raw, 0xEE, sizeof raw);
        std::memset(sent, 0xEE, sizeof sent);
    }
};

// [n + 1][n bytes] below 254 bytes, [0xFF][(n + 3) mod 256][n bytes] from 254 on.
sim::Bytes LogRecord(const sim::Bytes& bytes) {
    const std::size_t n = bytes.size();
    sim::Bytes header = n < 254 ? sim::Bytes{static_cast<std::uint8_t>(n + 1)}
                                : sim::Bytes{0xFF, static_cast<std::uint8_t>((n + 3) % 256)};
    return Cat({header, bytes});
}

// The record at `out` equals `expected`, and nothing after it up to `size` was written.
testing::AssertionResult RecordIs(const std::uint8_t* out, std::size_t size,
                                  const sim::Bytes& expected) {
    const sim::Bytes got(out, out + expected.size());
    if (got != expected) return testing::AssertionFailure() << "record " << Hex(got);
    for (std::size_t i = expected.size(); i < size; ++i)
        if (out[i] != 0xEE) return testing::AssertionFailure() << "written at " << i;
    return testing::AssertionSuccess();
}

TEST_P(ReaderControl, RecvDataCopiesBothLogsThenEmptiesThem) {
    for (Channel channel : {Channel::Plain, Channel::Sealed}) {
        SCOPED_TRACE(ChannelName(channel));
        Enter(channel);
        ASSERT_EQ(TwTurnOff(), TW_OK);
        ASSERT_TRUE(sim_.WaitOutputIdle(std::chrono::seconds(1)));
        // What the reader sent back: its ACK, then the reply frame.
        const sim::Bytes reply =
            channel == Channel::Plain ? sim::BuildFrame({0x55}) : sim::Bytes{};
        const sim::Bytes frame = LastCommand().bytes;
        RecvRecords first;
        ASSERT_EQ(TwGetRecvData(first.raw, first.sent), TW_OK);
        EXPECT_TRUE(RecordIs(first.sent, sizeof first.sent, LogRecord(frame)));
        EXPECT_EQ(first.sent[0], channel == Channel::Plain ? 9 : 25);
        if (channel == Channel::Plain) {
            EXPECT_TRUE(RecordIs(first.raw, sizeof first.raw,
                                 LogRecord(Cat({sim::kAckFrame, reply}))));
        } else {
            EXPECT_EQ(first.raw[0], 1 + 6 + 24);  // the ACK and a sealed reply of 17 data bytes
        }

        RecvRecords second;
        ASSERT_EQ(TwGetRecvData(second.raw, second.sent), TW_OK);
        EXPECT_TRUE(RecordIs(second.raw, sizeof second.raw, {1}));
        EXPECT_TRUE(RecordIs(second.sent, sizeof second.sent, {0}));
    }
}

TEST_P(ReaderControl, RawLogRecordForms) {
    // The ACK, garbage before the reply's preamble, the 8-byte reply to RF off.
    for (std::size_t n : {253u, 254u, 255u, 299u}) {
        SCOPED_TRACE(testing::Message() << n << " bytes received");
        const sim::Bytes garbage(n - 6 - 8, 0x55);
        sim_.InjectFault({.command = 0x54, .garbage = garbage});
        ASSERT_EQ(TwTurnOff(), TW_OK);
        RecvRecords out;
        ASSERT_EQ(TwGetRecvData(out.raw, out.sent), TW_OK);
        const sim::Bytes expected = LogRecord(Cat({sim::kAckFrame, garbage, sim::BuildFrame({0x55})}));
        EXPECT_TRUE(RecordIs(out.raw, sizeof out.raw, expected));
        if (n == 254) { EXPECT_EQ(sim::Bytes(out.raw, out.raw + 2), (sim::Bytes{0xFF, 1})); }
    }

    // One chunk of 300 bytes fills the log whole; the record holds 299 of them.
    sim::Bytes chunk(300, 0x55);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(0x20 + i % 64);
    FeedReceiver(Context(), chunk.data(), static_cast<std::uint32_t>(chunk.size()));
    RecvRecords out;
    ASSERT_EQ(TwGetRecvData(out.raw, out.sent), TW_OK);
    EXPECT_TRUE(RecordIs(out.raw, sizeof out.raw,
                         LogRecord(sim::Bytes(chunk.begin(), chunk.begin() + 299))));
}

TEST_P(ReaderControl, SentRecordForms) {
    // A command of L bytes travels as a frame of L + 6 bytes.
    for (std::size_t length : {247u, 248u, 255u}) {
        SCOPED_TRACE(testing::Message() << "command of " << length << " bytes");
        std::uint8_t command[256] = {};
        command[0] = static_cast<std::uint8_t>(length);
        command[1] = 0x6C;
        for (std::size_t i = 2; i < length; ++i) command[i] = static_cast<std::uint8_t>(i);
        std::uint8_t response[256];
        ASSERT_EQ(TwThruCommand2(2000, response, command, 0), TW_OK);
        const sim::Bytes frame = LastCommand().bytes;
        ASSERT_EQ(frame.size(), length + 6);
        RecvRecords out;
        ASSERT_EQ(TwGetRecvData(out.raw, out.sent), TW_OK);
        EXPECT_TRUE(RecordIs(out.sent, sizeof out.sent, LogRecord(frame)));
    }
}

// ---- stubs and the closed library ----

TEST_P(ReaderControl, StubsAndTheClosedLibrary) {
    EXPECT_EQ(TwGetParameter(1, 2, 3), TW_ERR_FAILED);
    EXPECT_EQ(TwSetParameter(1, 2, 3), TW_ERR_FAILED);
    EXPECT_EQ(TwDebugWrite(5), TW_OK);
    EXPECT_EQ(TwCancel(), TW_OK);
    EXPECT_EQ(CommandCount(), 0u);

    TwClose();
    std::uint8_t bytes[320] = {};
    char text[320] = {};
    const std::uint8_t command[] = {2, 0x6C};
    const std::function<std::int32_t()> calls[] = {
        [] { return TwFChipInit(); },
        [] { return TwTurnOff(); },
        [] { return TwChangeBaudRate(1); },
        [] { return TwSetOutput(1, 1); },
        [&] { return TwGetSwitch(bytes); },
        [&] { return TwGetVersion(text); },
        [&] { return TwAttention(bytes); },
        [&] { return TwThruCommand(bytes, command); },
        [&] { return TwThruCommand2(100, bytes, command, 0); },
        [] { return TwCancel(); },
        [&] { return TwGetRecvData(bytes, bytes); },
        [] { return TwDebugWrite(0); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), TW_ERR_NOT_OPEN) << i;
    EXPECT_EQ(TwGetParameter(0, 0, 0), TW_ERR_FAILED);
    EXPECT_EQ(TwSetParameter(0, 0, 0), TW_ERR_FAILED);
}

}  // namespace
