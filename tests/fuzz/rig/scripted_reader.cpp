#include "scripted_reader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "fake_ftdi_control.h"
#include "platform/clock.h"
#include "platform/message_pump.h"
#include "reader_context.h"
#include "reader_sim/sealed_channel.h"

namespace fuzz_rig {
namespace sim = tapwedge::sim;

namespace {

constexpr const char* kSerial = "FUZZ0001";
constexpr std::uint32_t kCancelAfterMs = 10 * 60 * 1000;
constexpr std::uint32_t kFirstIdleStepMs = 100;
constexpr std::uint32_t kLongestIdleStepMs = 60 * 60 * 1000;
// Frame data holds at most 254 bytes: the reply code and 253 more.
constexpr std::size_t kMaxReplyBody = 253;
// A sealed reply: code, session block and data padded to blocks, MAC, within 254 bytes.
constexpr std::size_t kMaxSealedBody = 232;

std::atomic<std::uint32_t> g_now{1000};

std::uint32_t Now() { return g_now.load(); }

ReaderContext& Context() {
    ReaderContext* context = ContextPtr.load();
    FUZZ_CHECK(context != nullptr, "the library is not open");
    return *context;
}

Block8 BlockAt(const std::uint8_t* p) {
    Block8 b;
    std::copy(p, p + 8, b.begin());
    return b;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

ScriptedReader& ScriptedReader::Get() {
    static ScriptedReader* reader = new ScriptedReader();  // lives as long as the process
    return *reader;
}

ScriptedReader::ScriptedReader()
    : parser_([this](sim::ParsedHostFrame&& frame) { OnFrame(std::move(frame)); }) {
    platform::SetTickSource(&Now);
    platform::SetMessagePump([this] { Pump(); });
    FakeFtdiReset();
    FakeFtdiSetRecording(0);
    device_ = FakeFtdiAddDevice("QT58-V", kSerial, 0x0101);
    FakeFtdiSetPeer(device_, &ScriptedReader::OnHostWrite, this);
    FUZZ_CHECK(TwUsbOpen(kSerial, 0, 115200) == TW_OK, "the library does not open on the fake device");
}

void ScriptedReader::Begin(FuzzedDataProvider& input, Session session) {
    input_ = &input;
    pending_.clear();
    idle_ = 0;
    idleStep_ = kFirstIdleStepMs;
    ReaderContext& context = Context();
    context.RxState.store(kRxIdle);
    context.WaitState.store(kWaitIdle);
    context.AckReceived.store(0);
    context.Authenticated.store(session == Session::NotAuthenticated ? 0 : 1);
    context.Encrypted = session == Session::Sealed ? 1 : 0;
    if (session == Session::Sealed) {
        const Bytes key = input.ConsumeBytes<std::uint8_t>(8);
        std::fill(std::begin(context.SessionKey), std::end(context.SessionKey), 0x5A);
        std::copy(key.begin(), key.end(), context.SessionKey);
        const Bytes block = input.ConsumeBytes<std::uint8_t>(8);
        std::fill(std::begin(context.SessionBlock), std::end(context.SessionBlock), 0x01);
        std::copy(block.begin(), block.end(), context.SessionBlock);
    }
}

void ScriptedReader::End() {
    ReaderContext& context = Context();
    // A cancel while nothing waits stays pending until the next busy check; anything else
    // must have ended its wait.
    const std::int32_t wait = context.WaitState.load();
    FUZZ_CHECK(wait == kWaitIdle || wait == kWaitCancelled, "a wait was left running");
    FUZZ_CHECK(context.Timeout == kDefaultTimeout, "the response time-out was not put back");
    context.WaitState.store(kWaitIdle);
    FUZZ_CHECK(FakeFtdiReceiveQueued(device_) == 0, "bytes left unread");
    pending_.clear();
    input_ = nullptr;
}

void ScriptedReader::OnHostWrite(void* self, const std::uint8_t* data, std::size_t count) {
    static_cast<ScriptedReader*>(self)->parser_.Feed(data, count);
}

void ScriptedReader::OnFrame(sim::ParsedHostFrame&& frame) {
    // The host sends whole, good frames; its ACK (a cancel) gets no answer.
    FUZZ_CHECK(frame.kind != sim::ParsedHostFrame::Kind::Bad, "the host sent a broken frame");
    if (frame.kind != sim::ParsedHostFrame::Kind::Command || input_ == nullptr) return;
    Answer(frame.data);
}

// What the reader sends back for one command, and when, all from the input.
void ScriptedReader::Answer(const Bytes& command) {
    FuzzedDataProvider& in = *input_;
    idle_ = 0;
    idleStep_ = kFirstIdleStepMs;
    const std::uint8_t shape = in.ConsumeIntegral<std::uint8_t>();
    const std::uint32_t now = Now();

    // ACK: at once, none, late (around the 500 ms limit), or a NACK and nothing else.
    std::uint32_t replyFrom = now;
    bool mergeWithAck = false;
    switch (shape & 3) {
        case 0:
        case 2: {
            const std::uint32_t delay = (shape & 3) == 0 ? in.ConsumeIntegralInRange<std::uint32_t>(0, 20)
                                                         : in.ConsumeIntegralInRange<std::uint32_t>(400, 700);
            replyFrom = now + delay;
            mergeWithAck = (shape & 0x40) != 0;
            if (!mergeWithAck) Queue(replyFrom, sim::kAckFrame);
            break;
        }
        case 1:
            break;
        case 3:
            Queue(now + in.ConsumeIntegralInRange<std::uint32_t>(0, 600), sim::kNackFrame);
            return;
    }

    // The reply: soon, late (after the library has given up on it), or never.
    std::uint32_t at = replyFrom;
    switch ((shape >> 2) & 3) {
        case 0:
        case 1: at += in.ConsumeIntegralInRange<std::uint32_t>(0, 50); break;
        case 2:
            if (mergeWithAck) Queue(replyFrom, sim::kAckFrame);
            return;
        case 3: at += in.ConsumeIntegralInRange<std::uint32_t>(1000, 4000); break;
    }

    // Opened with the library's session key, a sealed command gives the reader its counter.
    Bytes plainCommand;
    bool sealed = false;
    ReaderContext& context = Context();
    if (context.Encrypted && command.size() >= 17) {
        const auto opened = sim::OpenBody(BlockAt(context.SessionKey), command.data() + 1, command.size() - 1);
        if (opened) {
            sealed = true;
            plainCommand = Join({command[0]}, *opened);
        }
    }
    if (!sealed) plainCommand = command;

    Bytes data = ReplyData(command, plainCommand);
    if (sealed) {
        const std::uint8_t sealing = in.ConsumeIntegral<std::uint8_t>();
        if (sealing < 200 || sealing >= 240) {
            // [code][E(counter, host random, data, padding)][MAC]; the counter is the host's + 1.
            const std::uint16_t host = static_cast<std::uint16_t>(plainCommand[1] | plainCommand[2] << 8);
            const std::uint16_t counter = static_cast<std::uint16_t>(host + (sealing < 220 ? 1 : 3));
            Bytes plain = {static_cast<std::uint8_t>(counter & 0xFF), static_cast<std::uint8_t>(counter >> 8)};
            plain.insert(plain.end(), plainCommand.begin() + 3, plainCommand.begin() + 9);
            plain.insert(plain.end(), data.begin() + 1,
                         data.begin() + 1 + static_cast<std::ptrdiff_t>(std::min(data.size() - 1, kMaxSealedBody)));
            Bytes body = sim::SealBody(BlockAt(context.SessionKey), std::move(plain));
            if (sealing >= 240) body.back() ^= 0x01;  // a wrong MAC
            data = Join({data[0]}, body);
        } else if (sealing < 230) {
            data = {0x7F};  // a plain error frame
        }  // else the plain reply itself
    }

    // The bytes on the line: a frame (perhaps damaged, perhaps after garbage) or any bytes.
    Bytes line;
    const std::uint8_t damage = static_cast<std::uint8_t>(shape >> 4) & 3;
    if (damage == 1) line = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(1, 12));
    if (damage == 3) {
        line = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 280));
    } else {
        sim::FrameDamage harm;
        if (damage == 2) {
            const std::uint8_t which = in.ConsumeIntegralInRange<std::uint8_t>(0, 2);
            harm = {which == 0, which == 1, which == 2};
        }
        line = Join(std::move(line), sim::BuildFrame(data, harm));
    }
    if (mergeWithAck) line = Join(sim::kAckFrame, line);
    if (line.empty()) return;

    // Cut into up to three chunks, a few ms apart.
    const int pieces = shape >> 7 ? in.ConsumeIntegralInRange<int>(2, 3) : 1;
    std::size_t from = 0;
    for (int p = 1; p < pieces && from < line.size(); ++p) {
        const std::size_t cut = in.ConsumeIntegralInRange<std::size_t>(from + 1, line.size());
        Queue(at, Bytes(line.begin() + static_cast<std::ptrdiff_t>(from), line.begin() + static_cast<std::ptrdiff_t>(cut)));
        at += in.ConsumeIntegralInRange<std::uint32_t>(0, 30);
        from = cut;
    }
    if (from < line.size()) Queue(at, Bytes(line.begin() + static_cast<std::ptrdiff_t>(from), line.end()));
}

// The reply code and data for `command` ([code][parameters], plainCommand opened if sealed):
// mostly the right code, else the reader's failure and error codes or any code; a genuine
// reader's answers to the authentications, or any data.
Bytes ScriptedReader::ReplyData(const Bytes& command, const Bytes& plainCommand) {
    FuzzedDataProvider& in = *input_;
    const std::uint8_t code = command[0];
    const std::uint8_t choice = in.ConsumeIntegral<std::uint8_t>();
    std::uint8_t replyCode = static_cast<std::uint8_t>(code + 1);
    if (choice >= 192) replyCode = choice < 216 ? 0x7E : choice < 240 ? 0x7F : in.ConsumeIntegral<std::uint8_t>();

    if (choice < 128 && code == 0x70 && plainCommand.size() == 17) {
        // Mutual authentication, first exchange: the host random back and a reader random.
        const Block8 kar = BlockAt(keys_.Kar), kbr = BlockAt(keys_.Kbr), kcr = BlockAt(keys_.Kcr);
        const Block8 hostRandom = sim::TripleDesDecrypt(kar, kbr, BlockAt(plainCommand.data() + 9));
        Bytes random = in.ConsumeBytes<std::uint8_t>(8);
        random.resize(8, 0x33);
        const Block8 a = sim::TripleDesEncrypt(kbr, kcr, hostRandom);
        const Block8 b = sim::TripleDesEncrypt(kbr, kcr, BlockAt(random.data()));
        Bytes reply = {replyCode};
        reply.insert(reply.end(), a.begin(), a.end());
        reply.insert(reply.end(), b.begin(), b.end());
        return reply;
    }
    if (choice < 128 && (code == 0x72 || (code == 0x70 && plainCommand.size() == 33))) {
        // The second exchange and password authentication: a status, mostly 0.
        const std::uint8_t status = in.ConsumeIntegral<std::uint8_t>();
        return {replyCode, static_cast<std::uint8_t>(status < 160 ? 0 : status < 200 ? 16 : status)};
    }
    Bytes reply = {replyCode};
    const Bytes body = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, kMaxReplyBody));
    reply.insert(reply.end(), body.begin(), body.end());
    return reply;
}

void ScriptedReader::Queue(std::uint32_t at, Bytes bytes) {
    // After every chunk due at the same time or earlier.
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Chunk& c) {
        return platform::TickDiff(c.at, at) > 0;
    });
    pending_.insert(it, Chunk{at, std::move(bytes)});
}

// The program's message pump: the next chunk when it is due, else time passes.
void ScriptedReader::Pump() {
    const std::uint32_t now = Now();
    if (!pending_.empty() && platform::TickDiff(pending_.front().at, now) <= 0) {
        const Bytes bytes = std::move(pending_.front().bytes);
        pending_.pop_front();
        Deliver(bytes);
        return;
    }
    if (!pending_.empty()) {
        g_now.store(pending_.front().at);
        return;
    }
    // Nothing to send: time passes, faster and faster; a wait without end gets cancelled.
    g_now.fetch_add(idleStep_);
    idle_ += idleStep_;
    idleStep_ = std::min(idleStep_ * 2, kLongestIdleStepMs);
    if (idle_ >= kCancelAfterMs && !cancelling_ && input_ != nullptr) {
        cancelling_ = true;
        FUZZ_CHECK(TwCancel() == TW_OK, "cancel failed");
        cancelling_ = false;
        idle_ = 0;
    }
}

// Hands the chunk to the host and waits until its receive thread has fed it to the library.
void ScriptedReader::Deliver(const Bytes& bytes) {
    ReaderContext& context = Context();
    const std::uint64_t before = context.RxSignal.Generation();
    FakeFtdiPushReceive(device_, bytes.data(), bytes.size());
    const auto start = std::chrono::steady_clock::now();
    while (context.RxSignal.Generation() == before) {
        FUZZ_CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(10),
                   "the receive thread did not take the bytes");
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
}

}  // namespace fuzz_rig
