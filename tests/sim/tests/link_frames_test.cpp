// Frames, ACK/NACK and the link faults of the simulator, seen by a raw host over the pty, and
// the chunking of its output seen directly on a recording link.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "host_harness.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {
namespace {

using namespace std::chrono_literals;
using testing::PtyHost;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Bytes kResetFrame{0x00, 0x00, 0xFF, 0x01, 0xFF, 0x74, 0x8C, 0x00};
const Bytes kResetReply{0x00, 0x00, 0xFF, 0x01, 0xFF, 0x75, 0x8B, 0x00};

struct PtyRig {
    ReaderSim sim;
    PtyAttachment pty{sim};
    PtyHost host{pty.SlavePath()};
};

TEST(SimLink, ExampleFrameGetsAckThenReplyAndIsRecorded) {
    PtyRig rig;
    rig.host.Write(kResetFrame);
    EXPECT_EQ(rig.host.Read(14, 1s), Cat({kAckFrame, kResetReply}));
    ASSERT_TRUE(rig.sim.WaitForFrames(1, 1s));
    auto frames = rig.sim.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, HostFrame::Kind::Command);
    EXPECT_EQ(frames[0].bytes, kResetFrame);
    EXPECT_EQ(frames[0].command, (Bytes{0x02, 0x74}));
    EXPECT_EQ(BuildFrame({0x74}), kResetFrame);
}

TEST(SimLink, FaultsChangeTheWireBytes) {
    struct Case {
        const char* name;
        Fault fault;
        Bytes expected;
    };
    const Bytes garbage{0x13, 0x00, 0xFF, 0x42};
    auto damaged = [](std::size_t at, std::uint8_t value) {
        Bytes f = kResetReply;
        f[at] = value;
        return f;
    };
    const Case cases[] = {
        {"no ack", {.ack = Fault::Ack::None}, kResetReply},
        {"nack", {.ack = Fault::Ack::Nack}, kNackFrame},
        {"ack without reply", {.no_reply = true}, kAckFrame},
        {"garbage", {.garbage = garbage}, Cat({kAckFrame, garbage, kResetReply})},
        {"bad lcs", {.bad_lcs = true}, Cat({kAckFrame, damaged(4, 0x00)})},
        {"bad dcs", {.bad_dcs = true}, Cat({kAckFrame, damaged(6, 0x8C)})},
        {"bad postamble", {.bad_postamble = true}, Cat({kAckFrame, damaged(7, 0x5A)})},
        {"split and merged", {.split_at = {1, 4}, .merge_with_ack = true}, Cat({kAckFrame, kResetReply})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyRig rig;
        rig.sim.InjectFault(c.fault);
        rig.host.Write(kResetFrame);
        EXPECT_EQ(rig.host.ReadFor(150ms), c.expected);
    }
}

TEST(SimLink, FaultsApplyOnceAndByCommandCode) {
    PtyRig rig;
    rig.sim.InjectFault({.command = 0x10, .ack = Fault::Ack::Nack});
    rig.sim.QueueReply(0x74, {0x75, 0x01});
    EXPECT_EQ(rig.host.Exchange({0x74}), (Bytes{0x75, 0x01}));  // scripted once, fault waits for 0x10
    EXPECT_EQ(rig.host.Exchange({0x74}), (Bytes{0x75}));
    rig.host.SendCommand({0x10, 0x00});
    EXPECT_EQ(rig.host.ReadFor(100ms), kNackFrame);
    EXPECT_EQ(rig.host.Exchange({0x74}), (Bytes{0x75}));
}

TEST(SimLink, RandomFaultsHitCardCommandsAtTheirRate) {
    PtyRig rig;
    const Bytes poll{0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00};  // no card: answered 0x7E
    rig.sim.SetRandomFault(RandomFault::NoReply, 1.0);
    EXPECT_EQ(rig.host.Exchange({0x74}), (Bytes{0x75}));  // the reader's own commands pass
    rig.host.SendCommand(poll);
    EXPECT_EQ(rig.host.ReadFor(100ms), kAckFrame);

    rig.sim.SetRandomFault(RandomFault::NoReply, 0);
    rig.sim.SetRandomFault(RandomFault::Garbage, 1.0);
    rig.sim.SetRandomFault(RandomFault::BadMac, 1.0);  // nothing is sealed: never drawn
    rig.host.SendCommand(poll);
    const Bytes noisy = rig.host.ReadFor(100ms);
    const Bytes reply = BuildFrame({0x7E});
    ASSERT_GT(noisy.size(), kAckFrame.size() + reply.size());
    EXPECT_EQ(Bytes(noisy.begin(), noisy.begin() + 6), kAckFrame);
    EXPECT_EQ(Bytes(noisy.end() - static_cast<std::ptrdiff_t>(reply.size()), noisy.end()), reply);

    // At a rate: the replies lost are the faults counted.
    rig.sim.SetRandomFault(RandomFault::Garbage, 0);
    rig.sim.SetRandomFault(RandomFault::NoReply, 0.3);
    rig.sim.SeedRandomFaults(42);
    int lost = 0;
    for (int i = 0; i < 100; ++i) lost += rig.host.Exchange(poll, 60ms).empty() ? 1 : 0;
    const SimCounts counts = rig.sim.Counts();
    EXPECT_EQ(counts.faults[static_cast<int>(RandomFault::NoReply)], 1u + lost);
    EXPECT_EQ(counts.faults[static_cast<int>(RandomFault::Garbage)], 1u);
    EXPECT_EQ(counts.faults[static_cast<int>(RandomFault::BadMac)], 0u);
    EXPECT_GT(lost, 15);
    EXPECT_LT(lost, 45);
    EXPECT_EQ(counts.commands, 103u);
    EXPECT_EQ(counts.card_commands, 102u);
    EXPECT_EQ(counts.sealed_card_commands, 0u);
}

TEST(SimLink, LateAckAndLateReplyKeepTheirOrder) {
    PtyRig rig;
    rig.sim.InjectFault({.ack_delay_ms = 120, .reply_delay_ms = 250});
    const auto start = std::chrono::steady_clock::now();
    rig.host.Write(kResetFrame);
    EXPECT_EQ(rig.host.Read(6, 1s), kAckFrame);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
    EXPECT_EQ(rig.host.Read(8, 1s), kResetReply);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

TEST(SimLink, HostGarbageAndBadFramesAreRecordedButNotAnswered) {
    PtyRig rig;
    Bytes bad_dcs = kResetFrame;
    bad_dcs[6] = 0x00;
    rig.host.Write(Cat({{0x55, 0xFF, 0x00}, bad_dcs, kAckFrame, kResetFrame}));
    EXPECT_EQ(rig.host.ReadFor(150ms), Cat({kAckFrame, kResetReply}));
    auto frames = rig.sim.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].kind, HostFrame::Kind::Bad);
    EXPECT_EQ(frames[0].bytes, bad_dcs);
    EXPECT_EQ(frames[1].kind, HostFrame::Kind::Ack);
    EXPECT_EQ(frames[2].kind, HostFrame::Kind::Command);
    EXPECT_EQ(rig.sim.ReceivedBytes().size(), 3 + bad_dcs.size() + kAckFrame.size() + kResetFrame.size());
}

TEST(SimLink, ReplyHeldUntilTheHostCancels) {
    PtyRig rig;
    rig.sim.InjectFault({.reply_after_cancel_ms = 20});
    rig.host.Write(kResetFrame);
    EXPECT_EQ(rig.host.ReadFor(200ms), kAckFrame);
    rig.host.Write(kAckFrame);
    EXPECT_EQ(rig.host.ReadFor(150ms), kResetReply);
}

TEST(SimLink, UnpluggedPtyHangsUp) {
    PtyRig rig;
    EXPECT_EQ(rig.host.Exchange({0x74}), (Bytes{0x75}));
    rig.pty.Unplug();
    EXPECT_TRUE(rig.pty.Unplugged());
    EXPECT_TRUE(rig.host.ReadFor(50ms).empty());
}

// Chunk boundaries are only visible at the link itself.
class RecordingLink : public Link {
public:
    void Deliver(const std::uint8_t* data, std::size_t count) override {
        std::lock_guard lock(mu_);
        chunks_.emplace_back(data, data + count);
    }
    std::vector<Bytes> Chunks() {
        std::lock_guard lock(mu_);
        return chunks_;
    }

private:
    std::mutex mu_;
    std::vector<Bytes> chunks_;
};

TEST(SimLink, SplitAndMergedChunksReachTheLinkAsAsked) {
    RecordingLink link;
    ReaderSim sim;
    sim.SetLink(&link);
    sim.InjectFault({.split_at = {2, 5}});
    sim.InjectFault({.split_at = {3}, .merge_with_ack = true});
    for (int i = 0; i < 2; ++i) {
        sim.OnHostBytes(kResetFrame.data(), kResetFrame.size());
        ASSERT_TRUE(sim.WaitOutputIdle(1s));
    }
    const std::vector<Bytes> expected{
        kAckFrame, {0x00, 0x00}, {0xFF, 0x01, 0xFF}, {0x75, 0x8B, 0x00},
        Cat({kAckFrame, {0x00, 0x00, 0xFF}}), {0x01, 0xFF, 0x75, 0x8B, 0x00},
    };
    EXPECT_EQ(link.Chunks(), expected);
    sim.SetLink(nullptr);
}

}  // namespace
}  // namespace tapwedge::sim
