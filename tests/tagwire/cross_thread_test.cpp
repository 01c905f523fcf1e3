// The library called from two threads over the simulator on the fake USB device: a cancel from
// another thread during block reads and in a sealed session, two threads starting commands, and
// a close from another thread during a wait. No result is ever another command's, nothing runs
// on a deleted context. TAPWEDGE_STRESS_ROUNDS=n repeats each run n times (1 by default).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "card_rig.h"
#include "reader_sim/cards.h"
#include "sim_reader_keys.h"
#include "tagwire/tagwire.h"

namespace {

using namespace std::chrono_literals;
using card_rig::SimReader;
using card_rig::Transport;
using tapwedge::sim::Block16;
using tapwedge::sim::MifareCard;

int StressRounds() {
    const char* rounds = std::getenv("TAPWEDGE_STRESS_ROUNDS");
    return rounds ? std::max(1, std::atoi(rounds)) : 1;
}

// Calls TwCancel from a thread of its own every `period` until it is destroyed.
class Canceller {
public:
    explicit Canceller(std::chrono::milliseconds period)
        : thread_([this, period] {
              while (!stop_) {
                  std::this_thread::sleep_for(period);
                  const std::int32_t status = TwCancel();
                  if (status != TW_OK) failures_.fetch_add(1);
              }
          }) {}
    ~Canceller() {
        stop_ = true;
        thread_.join();
    }
    int Failures() const { return failures_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> failures_{0};
    std::thread thread_;
};

Block16 Pattern(std::uint8_t first) {
    Block16 b;
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

class CrossThread : public ::testing::Test {
protected:
    void SetUp() override {
        reader_ = std::make_unique<SimReader>(Transport::Usb);
        ASSERT_EQ(reader_->OpenStatus(), TW_OK);
    }
    void TearDown() override { reader_.reset(); }
    tapwedge::sim::ReaderSim& sim() { return reader_->sim; }

    std::unique_ptr<SimReader> reader_;
};

TEST_F(CrossThread, ACancelDuringBlockReadsNeverGivesTheOtherBlocksData) {
    // Sector 1 of a card opened with its key; blocks 4 and 5 hold different data.
    const std::array<std::uint8_t, 6> keyA = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    MifareCard card = MifareCard::Classic({0x04, 0x11, 0x22, 0x33});
    std::copy(keyA.begin(), keyA.end(), card.blocks[7].begin());
    card.blocks[4] = Pattern(0x40);
    card.blocks[5] = Pattern(0x50);
    sim().AddCard(card);
    TwMifCard found{};
    ASSERT_EQ(MifFindCard(&found, 0), TW_OK);
    ASSERT_EQ(MifSetCardKey(1, keyA.data(), keyA.data()), TW_OK);
    ASSERT_EQ(MifCardAuthentication(0, 1, 4), TW_OK);
    sim().SetReplyLatency(4ms);  // the reply is on its way when the cancel comes

    int ok = 0, cancelled = 0;
    for (int round = 0; round < StressRounds(); ++round) {
        Canceller canceller(7ms);
        for (int i = 0; i < 80; ++i) {
            const std::uint8_t block = i % 2 == 0 ? 4 : 5;
            std::array<std::uint8_t, 16> data{};
            const std::int32_t status = MifRead(block, data.data());
            if (status == TW_OK) {
                ++ok;
                ASSERT_EQ(data, card.blocks[block]) << "read " << i << " of block " << int(block);
            } else {
                ++cancelled;
                ASSERT_EQ(status, TW_ERR_CANCELLED) << "read " << i;
            }
        }
        EXPECT_EQ(canceller.Failures(), 0);
    }
    EXPECT_GT(ok, 0);
    EXPECT_GT(cancelled, 0);
}

TEST_F(CrossThread, ACancelInASealedSessionKeepsTheCounterInStep) {
    const TwAuthKeys keys = AuthKeysOf(sim());
    ASSERT_EQ(TwAuthentication(&keys, 0), TW_OK);
    sim().SetReplyLatency(4ms);
    int ok = 0, cancelled = 0;
    for (int round = 0; round < StressRounds(); ++round) {
        Canceller canceller(9ms);
        for (int i = 0; i < 60; ++i) {
            const std::int32_t status = TwTurnOff();
            if (status == TW_OK) {
                ++ok;
            } else {
                ++cancelled;
                ASSERT_EQ(status, TW_ERR_CANCELLED) << "command " << i;
            }
        }
    }
    EXPECT_GT(ok, 0);
    EXPECT_GT(cancelled, 0);
}

TEST_F(CrossThread, OfTwoThreadsStartingCommandsEachGetsItsOwnReplyOrBusy) {
    sim().SetVersionText("TQ5862 V1.00");
    const tapwedge::sim::Block8 attention = {1, 2, 3, 4, 5, 6, 7, 8};
    sim().SetAttentionData(attention);
    std::atomic<int> wrong{0}, busy{0};
    const int calls = 150 * StressRounds();
    std::thread versions([&] {
        for (int i = 0; i < calls; ++i) {
            char text[256] = {};
            const std::int32_t status = TwGetVersion(text);
            if (status == TW_ERR_BUSY) {
                ++busy;
            } else if (status != TW_OK || std::string(text) != "TQ5862 V1.00") {
                ++wrong;
            }
        }
    });
    for (int i = 0; i < calls; ++i) {
        std::uint8_t data[8] = {};
        const std::int32_t status = TwAttention(data);
        if (status == TW_ERR_BUSY) {
            ++busy;
        } else if (status != TW_OK || !std::equal(attention.begin(), attention.end(), data)) {
            ++wrong;
        }
    }
    versions.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(busy.load(), 0);
}

TEST_F(CrossThread, CloseFromAnotherThreadEndsTheWaitAndDeletesTheContextAfterIt) {
    // The waiting thread's messages take a while, as a program's do, and look at the line: the
    // close comes while the wait is away in them, and the wait looks at its context again when
    // they are done.
    const std::thread::id closing = std::this_thread::get_id();
    card_rig::ScriptedPump pump([closing] {
        if (std::this_thread::get_id() == closing) return;
        std::this_thread::sleep_for(2ms);
        TwUsbChkLine(0);
    });
    for (int round = 0; round < 3 * StressRounds(); ++round) {
        if (round > 0) {
            reader_.reset();
            reader_ = std::make_unique<SimReader>(Transport::Usb);
            ASSERT_EQ(reader_->OpenStatus(), TW_OK);
        }
        sim().ClearRecord();
        tapwedge::sim::Fault held;
        held.reply_after_cancel_ms = 1;  // the reply waits for the host's cancel
        sim().InjectFault(held);
        std::atomic<std::int32_t> status{1};
        std::thread waiting([&] {
            std::uint8_t data[8];
            status = TwAttention(data);
        });
        ASSERT_TRUE(sim().WaitForFrames(1, 2s));
        std::this_thread::sleep_for(20ms);  // well inside the wait
        EXPECT_EQ(TwClose(), TW_OK);
        waiting.join();
        EXPECT_TRUE(status == TW_ERR_CANCELLED || status == TW_ERR_NOT_OPEN) << status;
        EXPECT_EQ(TwTurnOff(), TW_ERR_NOT_OPEN);
    }
}

}  // namespace
