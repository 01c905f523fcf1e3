// Sealed commands and replies as they travel: the session block in front of the parameters,
// the frame data lengths, the commands that cannot be sealed, and the sequence counter.
#include <gtest/gtest.h>

#include "des/cf_encrypt.h"
#include "sealed_oracle.h"
#include "sealed_records.h"
#include "tagwire/tagwire.h"

using sealed_oracle::Bytes;
using sealed_oracle::Key;

namespace {

const Key kSessionKey{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
const std::uint8_t kSessionBlock[8] = {0x05, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};

struct SealCase {
    Bytes command;
    std::size_t frameData;  // the sealed message without its length byte
};

TEST(SealCommand, FrameDataLengthsAndBytesMatchLibcrypto) {
    Bytes longest(234, 0x42);
    longest[0] = 234;
    longest[1] = 0x60;
    const SealCase cases[] = {
        {{2, 0x74}, 17},         // session block only: no padding
        {{3, 0x68, 0x05}, 25},   // one parameter: seven bytes of padding
        {{10, 0x12, 1, 2, 3, 4, 5, 6, 7, 8}, 25},
        {{11, 0x12, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 33},
        {longest, 249},
    };
    CFEncrypt des;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "L " << int{c.command[0]});
        Bytes plain{static_cast<std::uint8_t>(c.command[0] + 8), c.command[1]};
        plain.insert(plain.end(), kSessionBlock, kSessionBlock + 8);
        plain.insert(plain.end(), c.command.begin() + 2, c.command.end());
        const Bytes expected = sealed_oracle::Seal(plain, kSessionKey);

        std::uint8_t seal[kSealBufferSize];
        int length = 0;
        ASSERT_EQ(SealCommand(des, seal, c.command.data(), kSessionBlock, kSessionKey.data(),
                              &length),
                  TW_OK);
        ASSERT_EQ(length, static_cast<int>(c.frameData + 1));
        EXPECT_EQ(seal[1], c.command[1]) << "the code travels plain";
        EXPECT_EQ(Bytes(seal, seal + length), expected);
    }
}

TEST(SealCommand, RefusesCommandsThatCannotBeSealed) {
    CFEncrypt des;
    for (int length : {0, 1, 235, 255}) {
        SCOPED_TRACE(length);
        Bytes command(256, 0x33);
        command[0] = static_cast<std::uint8_t>(length);
        std::uint8_t seal[kSealBufferSize] = {};
        int sealedLength = -7;
        EXPECT_EQ(SealCommand(des, seal, command.data(), kSessionBlock, kSessionKey.data(),
                              &sealedLength),
                  TW_ERR_PARAM);
        EXPECT_EQ(sealedLength, -7);
    }
}

TEST(OpenReply, OpensGoodRepliesAndSortsTheOthers) {
    CFEncrypt des;
    // The reader's reply [0x75 + session block with counter 6 + status 0].
    Bytes plain{11, 0x75, 0x06, 0x00, 1, 2, 3, 4, 5, 6, 0x00};
    const Bytes good = sealed_oracle::Seal(plain, kSessionKey);
    std::uint8_t opened[kSealBufferSize];
    ASSERT_EQ(OpenReply(des, opened, good.data(), kSessionKey.data()), TW_OK);
    EXPECT_EQ(opened[0], good[0] - 8);
    EXPECT_TRUE(std::equal(plain.begin() + 1, plain.end(), opened + 1));

    Bytes badMac = good;
    badMac.back() ^= 0x80;
    struct Case {
        const char* name;
        Bytes record;
        std::int32_t result;
    } cases[] = {
        {"plain error frame", {2, 0x7F}, TW_ERR_PLAIN_REPLY},
        {"plain failure frame", {2, 0x7E}, TW_ERR_MAC},
        {"plain error frame with data", {3, 0x7F, 0x00}, TW_ERR_MAC},
        {"plain reply", {3, 0x75, 0x00}, TW_ERR_MAC},
        {"bad MAC", badMac, TW_ERR_MAC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes record = c.record;
        record.resize(300, 0);
        EXPECT_EQ(OpenReply(des, opened, record.data(), kSessionKey.data()), c.result);
    }
}

TEST(CheckSequence, AcceptsOnlyTheNextCounterAndWrapsPastOddValues) {
    struct Case {
        std::uint16_t host, reply;
        bool accepted;
        std::uint16_t hostAfter;
    } cases[] = {
        {1, 2, true, 3},
        {1, 1, false, 1},
        {1, 3, false, 1},
        {1, 0, false, 1},
        {0x01FF, 0x0200, true, 0x0201},  // carry into the high byte
        {65533, 65534, true, 65535},
        {65535, 0, true, 1},             // after 65535 the next host value is 1
        {65535, 65535, false, 65535},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.host << " answered " << c.reply);
        std::uint8_t host[8] = {static_cast<std::uint8_t>(c.host & 0xFF),
                                static_cast<std::uint8_t>(c.host >> 8), 1, 2, 3, 4, 5, 6};
        // The reader's other six bytes are not compared.
        const std::uint8_t reply[8] = {static_cast<std::uint8_t>(c.reply & 0xFF),
                                       static_cast<std::uint8_t>(c.reply >> 8), 9, 9, 9, 9, 9, 9};
        EXPECT_EQ(CheckSequence(host, reply), c.accepted ? TW_OK : TW_ERR_SEQUENCE);
        EXPECT_EQ(host[0] | host[1] << 8, c.hostAfter);
        EXPECT_EQ(Bytes(host + 2, host + 8), (Bytes{1, 2, 3, 4, 5, 6}));
    }
}

}  // namespace
