// Reader authentication and the sealed channel against the reader simulator, over USB and COM.
#include <atomic>
#include <cstring>
#include <functional>

#include "reader_session.h"
#include "link_layer.h"
#include "reader_context.h"

namespace {

using Authentication = ReaderSession;
READER_SESSION_SUITE(Authentication);

bool Authenticated() { return ContextPtr.load()->Authenticated.load() != 0; }
bool Encrypted() { return ContextPtr.load()->Encrypted != 0; }
std::uint16_t HostCounter() {
    const auto* block = ContextPtr.load()->SessionBlock;
    return static_cast<std::uint16_t>(block[0] | block[1] << 8);
}

TEST_P(Authentication, MutualInBothModesSetsFlagsCounterAndTheReadersSession) {
    struct Case {
        int mode;
        std::uint8_t status;
        std::int32_t result;
        bool encrypted;
    } cases[] = {
        {0, 0, TW_OK, true},
        {1, 0, TW_OK, false},
        {0, 16, TW_ERR_AUTH_STATUS, true},  // accepted, with its note
    };
    const TwAuthKeys keys = Keys();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " status " << int{c.status});
        ASSERT_EQ(TwReset(), TW_OK);
        sim_.SetMutualAuthStatus(c.status);
        sim_.ClearRecord();
        EXPECT_EQ(TwAuthentication(&keys, c.mode), c.result);
        EXPECT_TRUE(Authenticated());
        EXPECT_EQ(Encrypted(), c.encrypted);
        EXPECT_EQ(HostCounter(), 1);
        EXPECT_EQ(sim_.Session().encrypted, c.encrypted);
        const auto commands = sim_.Commands();
        ASSERT_EQ(commands.size(), 2u);
        EXPECT_EQ(commands[0].data.size(), 17u);  // [0x70][ID][3DES(Rh)]
        EXPECT_EQ(commands[1].data.size(), 18u);  // [0x72][ID][3DES(Rr)][mode]
        EXPECT_FALSE(commands[0].sealed || commands[1].sealed);
        EXPECT_EQ(commands[1].data[17], c.mode);
        // The session key is the reader's random.
        const auto key = sim_.Session().session_key;
        EXPECT_TRUE(std::equal(key.begin(), key.end(), ContextPtr.load()->SessionKey));
    }
}

TEST_P(Authentication, MutualFailuresLeaveTheFlags) {
    const TwAuthKeys good = Keys();
    TwAuthKeys wrongReaderKey = good;
    wrongReaderKey.Kcr[0] ^= 0x40;  // the reader's answer no longer decrypts to our random
    TwAuthKeys wrongHostKey = good;
    wrongHostKey.Kar[3] ^= 0x40;    // the reader cannot read our random: refuses the answer
    struct Case {
        const char* name;
        const TwAuthKeys* keys;
        std::function<void(sim::ReaderSim&)> script;
        std::int32_t result;
    } cases[] = {
        {"reader not genuine", &wrongReaderKey, [](sim::ReaderSim&) {}, TW_ERR_READER_NOT_GENUINE},
        {"host answer refused", &wrongHostKey, [](sim::ReaderSim&) {}, TW_ERR_READER_NOT_GENUINE},
        {"refused status", &good, [](sim::ReaderSim& s) { s.SetMutualAuthStatus(5); },
         TW_ERR_AUTH_REFUSED},
        {"short first reply", &good,
         [](sim::ReaderSim& s) { s.QueueReply(0x70, {0x71, 1, 2, 3, 4, 5, 6, 7, 8}); },
         TW_ERR_SHORT_REPLY},
        {"wrong first reply", &good,
         [](sim::ReaderSim& s) { s.QueueReply(0x70, sim::Bytes(17, 0x55)); }, TW_ERR_BAD_REPLY},
        {"rejected", &good, [](sim::ReaderSim& s) { s.QueueReply(0x70, {0x7F}); },
         TW_ERR_READER_REJECTED},
        {"short second reply", &good, [](sim::ReaderSim& s) { s.QueueReply(0x72, {0x73}); },
         TW_ERR_SHORT_REPLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool startAuthenticated : {false, true}) {
            SCOPED_TRACE(startAuthenticated);
            sim_.SetMutualAuthStatus(0);
            if (startAuthenticated) {
                ASSERT_EQ(TwSetAuthenticationStatus(), TW_OK);
            } else {
                ASSERT_EQ(TwReset(), TW_OK);
            }
            c.script(sim_);
            EXPECT_EQ(TwAuthentication(c.keys, 0), c.result);
            EXPECT_EQ(Authenticated(), startAuthenticated);
            EXPECT_FALSE(Encrypted());
            sim_.ClearReply(0x70);
            sim_.ClearReply(0x72);
        }
    }
}

TEST_P(Authentication, HalvesRunSeparately) {
    const TwAuthKeys keys = Keys();
    ASSERT_EQ(TwAuthentication1(&keys), TW_OK);
    EXPECT_FALSE(Authenticated());
    ASSERT_EQ(TwAuthentication2(&keys, 0), TW_OK);
    EXPECT_TRUE(Authenticated() && Encrypted());
    EXPECT_EQ(TwTurnOff(), TW_OK);  // sealed under the session key of the first half
    EXPECT_TRUE(LastCommand().sealed);
}

TEST_P(Authentication, PasswordWithEachStatus) {
    const TwAuthKeys good = Keys();
    TwAuthKeys wrong = good;
    wrong.Kbr[0] ^= 1;
    struct Case {
        const char* name;
        const TwAuthKeys* keys;
        bool disabled;
        std::int32_t result;
    } cases[] = {
        {"accepted", &good, false, TW_OK},
        {"wrong keys", &wrong, false, TW_ERR_AUTH_REFUSED},
        {"disabled", &good, true, TW_ERR_PASSWORD_DISABLED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(TwReset(), TW_OK);
        std::uint8_t blockBefore[8], keyBefore[8];
        std::memcpy(blockBefore, ContextPtr.load()->SessionBlock, 8);
        std::memcpy(keyBefore, ContextPtr.load()->SessionKey, 8);
        sim_.SetPasswordDisabled(c.disabled);
        sim_.ClearRecord();
        EXPECT_EQ(TwPWAuthentication(c.keys), c.result);
        EXPECT_EQ(Authenticated(), c.result == TW_OK);
        EXPECT_FALSE(Encrypted());
        EXPECT_EQ(LastCommand().data.size(), 33u);
        EXPECT_EQ(std::memcmp(blockBefore, ContextPtr.load()->SessionBlock, 8), 0);
        EXPECT_EQ(std::memcmp(keyBefore, ContextPtr.load()->SessionKey, 8), 0);
    }
}

TEST_P(Authentication, SealedFramesAndTheCounter) {
    AuthenticateEncrypted();
    ASSERT_EQ(TwTurnOff(), TW_OK);  // [2][0x54]
    EXPECT_TRUE(LastCommand().sealed);
    EXPECT_EQ(LastCommand().data.size(), 17u);
    EXPECT_EQ(LastCommand().counter, 1);
    ASSERT_EQ(TwChangeBaudRate(3), TW_OK);  // [3][0x68][3]
    EXPECT_EQ(LastCommand().data.size(), 25u);
    EXPECT_EQ(LastCommand().counter, 3);
    EXPECT_EQ(HostCounter(), 5);

    // The counter wraps from 65535 to 1.
    ContextPtr.load()->SessionBlock[0] = 0xFF;
    ContextPtr.load()->SessionBlock[1] = 0xFF;
    ASSERT_EQ(TwTurnOff(), TW_OK);
    EXPECT_EQ(LastCommand().counter, 65535);
    EXPECT_EQ(HostCounter(), 1);
    ASSERT_EQ(TwTurnOff(), TW_OK);
    EXPECT_EQ(LastCommand().counter, 1);
}

TEST_P(Authentication, CommandsThatCannotBeSealedAreRefusedBeforeSending) {
    AuthenticateEncrypted();
    std::uint8_t response[256];
    for (int length : {1, 235, 255}) {
        SCOPED_TRACE(length);
        std::uint8_t command[256] = {};
        command[0] = static_cast<std::uint8_t>(length);
        command[1] = 0x40;
        const std::size_t before = CommandCount();
        EXPECT_EQ(TwThruCommand(response, command), TW_ERR_PARAM);
        EXPECT_EQ(CommandCount(), before);
    }
    EXPECT_TRUE(Encrypted());
}

TEST_P(Authentication, PlainErrorReplyEndsTheSessionAndTheNextCommandGoesPlain) {
    AuthenticateEncrypted();
    sim_.InjectFault({.command = 0x54, .plain_error_reply = true});
    EXPECT_EQ(TwTurnOff(), TW_ERR_PLAIN_REPLY);
    EXPECT_FALSE(Authenticated() || Encrypted());
    sim_.EndSession();
    sim_.SetRequireAuthentication(false);
    EXPECT_EQ(TwTurnOff(), TW_OK);
    EXPECT_FALSE(LastCommand().sealed);
}

TEST_P(Authentication, BadMacEndsTheSession) {
    AuthenticateEncrypted();
    sim_.InjectFault({.command = 0x54, .bad_mac = true});
    EXPECT_EQ(TwTurnOff(), TW_ERR_MAC);
    EXPECT_FALSE(Authenticated() || Encrypted());
}

TEST_P(Authentication, WrongCounterKeepsTheSessionAndReusesTheCounter) {
    AuthenticateEncrypted();
    sim_.InjectFault({.command = 0x54, .wrong_counter = true});
    EXPECT_EQ(TwTurnOff(), TW_ERR_SEQUENCE);
    EXPECT_TRUE(Authenticated() && Encrypted());
    EXPECT_EQ(LastCommand().counter, 1);
    EXPECT_EQ(TwTurnOff(), TW_OK);
    EXPECT_EQ(LastCommand().counter, 1);
}

TEST_P(Authentication, ResetSealedThenPlain) {
    AuthenticateEncrypted();
    EXPECT_EQ(TwReset(), TW_OK);
    EXPECT_TRUE(LastCommand().sealed);
    EXPECT_EQ(LastCommand().data.size(), 17u);
    EXPECT_FALSE(Authenticated() || Encrypted());
    EXPECT_EQ(TwReset(), TW_OK);
    EXPECT_FALSE(LastCommand().sealed);
    sim_.InjectFault({.command = 0x74, .no_reply = true});
    ASSERT_EQ(TwSetAuthenticationStatus(), TW_OK);
    EXPECT_EQ(TwReset(), TW_ERR_TIMEOUT);
    EXPECT_TRUE(Authenticated());
    sim_.QueueReply(0x74, {0x7F});
    EXPECT_EQ(TwReset(), TW_ERR_READER_REJECTED) << "the exchange worked; its reply is judged";
    EXPECT_TRUE(Authenticated());
}

// A cancel from inside the wait (a message handler) with the reply held until the cancel: the
// counter moves on by 2 only when that late reply verifies.
TEST_P(Authentication, CancelWithLateReplyAdvancesTheCounterOnlyWhenItVerifies) {
    for (bool badMac : {false, true}) {
        SCOPED_TRACE(badMac);
        AuthenticateEncrypted();
        sim_.InjectFault({.command = 0x54, .bad_mac = badMac, .reply_after_cancel_ms = 20});
        std::atomic<bool> cancelled{false};
        platform::SetMessagePump([&] {
            if (!cancelled.exchange(true)) TwCancel();
        });
        EXPECT_EQ(TwTurnOff(), TW_ERR_CANCELLED);
        platform::SetMessagePump(nullptr);
        EXPECT_EQ(HostCounter(), badMac ? 1 : 3);
        EXPECT_TRUE(Encrypted()) << "a late reply never ends the session";
        // (The simulator ends its own session with the bad MAC, so only a verified one is
        // followed by a sealed exchange.)
        if (!badMac) {
            ASSERT_EQ(TwTurnOff(), TW_OK);
            EXPECT_EQ(LastCommand().counter, 3);
        }
    }
}

TEST_P(Authentication, ExportsNeedAnOpenLibrary) {
    TwClose();
    const TwAuthKeys keys = Keys();
    EXPECT_EQ(TwAuthentication(&keys, 0), TW_ERR_NOT_OPEN);
    EXPECT_EQ(TwAuthentication1(&keys), TW_ERR_NOT_OPEN);
    EXPECT_EQ(TwAuthentication2(&keys, 0), TW_ERR_NOT_OPEN);
    EXPECT_EQ(TwPWAuthentication(&keys), TW_ERR_NOT_OPEN);
    EXPECT_EQ(TwReset(), TW_ERR_NOT_OPEN);
    EXPECT_EQ(TwSetAuthenticationStatus(), TW_ERR_NOT_OPEN);
}

}  // namespace
