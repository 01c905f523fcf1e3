// Reader authentication, the sealed channel and the key store, driven by a raw host over the
// pty. The host's ciphers are computed here with OpenSSL's CBC and triple-DES calls, apart from
// the simulator's own block-by-block code.
#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>

#include "host_harness.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {
namespace {

using namespace std::chrono_literals;
using testing::PtyHost;

DES_key_schedule Schedule(const Block8& key) {
    DES_cblock k;
    std::memcpy(k, key.data(), 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    return ks;
}

Block8 Ede(const Block8& a, const Block8& b, const Block8& in, int direction) {
    DES_key_schedule ka = Schedule(a), kb = Schedule(b);
    DES_cblock src, dst;
    std::memcpy(src, in.data(), 8);
    DES_ecb3_encrypt(&src, &dst, &ka, &kb, &ka, direction);
    Block8 out{};
    std::memcpy(out.data(), dst, 8);
    return out;
}

Bytes Cbc(const Block8& key, const Bytes& in, int direction) {
    DES_key_schedule ks = Schedule(key);
    DES_cblock iv{};
    Bytes out(in.size());
    DES_ncbc_encrypt(in.data(), out.data(), static_cast<long>(in.size()), &ks, &iv, direction);
    return out;
}

Block8 Mac(const Block8& key, const Bytes& plain, const Bytes& cipher) {
    Block8 acc{};
    for (std::size_t i = 0; i < plain.size(); ++i) acc[i % 8] ^= plain[i];
    for (int i = 0; i < 8; ++i) acc[i] ^= cipher[cipher.size() - 8 + i];
    Bytes one = Cbc(key, Bytes(acc.begin(), acc.end()), DES_ENCRYPT);
    Block8 mac{};
    std::copy(one.begin(), one.end(), mac.begin());
    return mac;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes B(const Block8& b) { return Bytes(b.begin(), b.end()); }

// A host that runs the authentications and seals its commands itself.
struct SealingHost {
    ReaderKeys keys;
    PtyHost& line;
    Block8 host_random{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};
    Block8 session_key{};
    std::uint16_t counter = 1;

    Bytes Authenticate(std::uint8_t mode) {
        Bytes r1 = line.Exchange(Join({{0x70}, B(keys.id), B(Ede(keys.kar, keys.kbr, host_random, DES_ENCRYPT))}));
        if (r1.size() != 17 || r1[0] != 0x71) return r1;
        Block8 echo{}, rr{};
        std::copy_n(r1.begin() + 1, 8, echo.begin());
        std::copy_n(r1.begin() + 9, 8, rr.begin());
        EXPECT_EQ(Ede(keys.kbr, keys.kcr, echo, DES_DECRYPT), host_random);
        session_key = Ede(keys.kbr, keys.kcr, rr, DES_DECRYPT);
        counter = 1;
        return line.Exchange(Join({{0x72}, B(keys.id), B(Ede(keys.kar, keys.kbr, session_key, DES_ENCRYPT)), {mode}}));
    }

    // Sends [code][params] sealed; returns the frame data sent.
    Bytes SendSealed(std::uint8_t code, const Bytes& params) {
        // Built in one piece: growing a two-byte vector trips GCC's array-bounds check at -O2.
        Bytes plain(host_random.begin(), host_random.end());
        plain[0] = static_cast<std::uint8_t>(counter & 0xFF);
        plain[1] = static_cast<std::uint8_t>(counter >> 8);
        plain.insert(plain.end(), params.begin(), params.end());
        plain.resize((plain.size() + 7) / 8 * 8, 0);
        Bytes cipher = Cbc(session_key, plain, DES_ENCRYPT);
        Bytes data = Join({{code}, cipher, B(Mac(session_key, plain, cipher))});
        line.SendCommand(data);
        return data;
    }

    struct Opened {
        std::uint8_t code = 0;
        bool mac_ok = false;
        std::uint16_t counter = 0;
        Bytes params;
    };
    static Opened Open(const Block8& key, const Bytes& reply) {
        Opened o;
        if (reply.size() < 17 || (reply.size() - 1) % 8 != 0) return o;
        o.code = reply[0];
        Bytes cipher(reply.begin() + 1, reply.end() - 8);
        Bytes plain = Cbc(key, cipher, DES_DECRYPT);
        o.mac_ok = B(Mac(key, plain, cipher)) == Bytes(reply.end() - 8, reply.end());
        o.counter = static_cast<std::uint16_t>(plain[0] | (plain[1] << 8));
        o.params.assign(plain.begin() + 8, plain.end());
        return o;
    }
    Opened Read() { return Open(session_key, line.ReadReplyData(1s)); }
};

struct Rig {
    ReaderSim sim;
    PtyAttachment pty{sim};
    PtyHost line{pty.SlavePath()};
    SealingHost host{ReaderKeys{}, line};
    Block8 reader_random{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    Rig() { sim.SetReaderRandom(reader_random); }
};

TEST(SimSealed, OpenSslDesMatchesTheFipsExample) {
    const Block8 key{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    const Block8 plain{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(DesEncrypt(key, plain), (Block8{0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05}));
    EXPECT_EQ(TripleDesEncrypt(key, key, plain), DesEncrypt(key, plain));
}

TEST(SimSealed, MutualAuthenticationThenSealedExchangesWithCounter) {
    Rig rig;
    EXPECT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));
    EXPECT_EQ(rig.host.session_key, rig.reader_random);
    auto session = rig.sim.Session();
    EXPECT_TRUE(session.authenticated);
    EXPECT_TRUE(session.encrypted);

    // [2][0x7A]: no parameters, one block, 17 bytes of frame data.
    EXPECT_EQ(rig.host.SendSealed(0x7A, {}).size(), 17u);
    auto attention = rig.host.Read();
    EXPECT_EQ(attention.code, 0x7B);
    EXPECT_TRUE(attention.mac_ok);
    EXPECT_EQ(attention.counter, 2);
    EXPECT_EQ(Bytes(attention.params.begin(), attention.params.begin() + 8),
              (Bytes{0x51, 0x54, 0x35, 0x38, 0x00, 0x01, 0x00, 0x00}));
    rig.host.counter = 3;

    // [3][0x68][p]: 25 bytes of frame data; the record holds the opened command.
    EXPECT_EQ(rig.host.SendSealed(0x68, {0x05}).size(), 25u);
    auto baud = rig.host.Read();
    EXPECT_EQ(baud.counter, 4);
    EXPECT_EQ(baud.params[0], 0x00);
    auto commands = rig.sim.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_TRUE(commands[3].sealed);
    EXPECT_EQ(commands[3].counter, 3);
    EXPECT_EQ(Bytes(commands[3].command.begin(), commands[3].command.begin() + 3), (Bytes{10, 0x68, 0x05}));
    EXPECT_EQ(rig.sim.Control().baud_code, 5);

    // The counter wraps: host 65535 gets 0 back.
    rig.host.counter = 65535;
    rig.host.SendSealed(0x6C, {});
    EXPECT_EQ(rig.host.Read().counter, 0);

    // A sealed poll that waits is answered, sealed, when the card arrives.
    rig.host.counter = 7;
    rig.host.SendSealed(0x00, {0x00, 0x03, 0x00, 0x00, 0x01});
    EXPECT_TRUE(rig.line.ReadReplyData(100ms).empty());
    FelicaCard card;
    rig.sim.AddCard(card);
    auto poll = rig.host.Read();
    EXPECT_TRUE(poll.mac_ok);
    EXPECT_EQ(poll.code, 0x01);
    EXPECT_EQ(poll.counter, 8);
    EXPECT_EQ(Bytes(poll.params.begin(), poll.params.begin() + 8), B(card.idm));
}

TEST(SimSealed, FaultsOfTheSealedChannel) {
    Rig rig;
    ASSERT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));

    rig.sim.InjectFault({.wrong_counter = true});
    rig.host.SendSealed(0x6C, {});
    auto wrong = rig.host.Read();
    EXPECT_TRUE(wrong.mac_ok);
    EXPECT_EQ(wrong.counter, 4);

    rig.sim.InjectFault({.bad_mac = true});
    rig.host.SendSealed(0x6C, {});
    EXPECT_FALSE(rig.host.Read().mac_ok);
    EXPECT_FALSE(rig.sim.Session().encrypted);  // both sides fall back to plain
    EXPECT_EQ(rig.line.Exchange({0x7A}).size(), 9u);

    ASSERT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));
    rig.sim.InjectFault({.plain_error_reply = true});
    rig.host.SendSealed(0x6C, {});
    EXPECT_EQ(rig.line.ReadReplyData(1s), (Bytes{0x7F}));
    EXPECT_FALSE(rig.sim.Session().authenticated);

    // A command the reader cannot open in an encrypted session is refused plainly.
    ASSERT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));
    EXPECT_EQ(rig.line.Exchange({0x6C}), (Bytes{0x7F}));
    EXPECT_FALSE(rig.sim.Session().encrypted);
}

TEST(SimSealed, RandomSealFaultsHitSealedCardCommandsOnly) {
    Rig rig;
    const Bytes poll{0xFF, 0xFF, 0x00, 0x00, 0x00};
    rig.sim.SetRandomFault(RandomFault::BadMac, 1.0);
    ASSERT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));
    rig.host.SendSealed(0x6C, {});  // a reader command
    EXPECT_TRUE(rig.host.Read().mac_ok);
    rig.host.counter = 3;
    rig.host.SendSealed(0x00, poll);
    EXPECT_FALSE(rig.host.Read().mac_ok);
    EXPECT_FALSE(rig.sim.Session().encrypted);
    EXPECT_EQ(rig.line.Exchange(Join({{0x00}, poll})), (Bytes{0x7E}));  // plain: no seal to break

    rig.sim.SetRandomFault(RandomFault::BadMac, 0);
    rig.sim.SetRandomFault(RandomFault::WrongCounter, 1.0);
    ASSERT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 0x00}));
    rig.host.SendSealed(0x00, poll);
    auto wrong = rig.host.Read();
    EXPECT_TRUE(wrong.mac_ok);
    EXPECT_EQ(wrong.counter, 4);

    const SimCounts counts = rig.sim.Counts();
    EXPECT_EQ(counts.faults[static_cast<int>(RandomFault::BadMac)], 1u);
    EXPECT_EQ(counts.faults[static_cast<int>(RandomFault::WrongCounter)], 1u);
    EXPECT_EQ(counts.card_commands, 3u);
    EXPECT_EQ(counts.sealed_card_commands, 2u);
    EXPECT_EQ(counts.authentications, 2u);
}

TEST(SimSealed, AuthenticationOutcomes) {
    Rig rig;
    // Plain mode (mode bit 0) authenticates without sealing.
    EXPECT_EQ(rig.host.Authenticate(0x01), (Bytes{0x73, 0x00}));
    EXPECT_FALSE(rig.sim.Session().encrypted);
    EXPECT_EQ(rig.line.Exchange({0x6C}), (Bytes{0x6D, 0x00}));

    rig.sim.SetMutualAuthStatus(16);
    EXPECT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 16}));
    EXPECT_TRUE(rig.sim.Session().encrypted);
    rig.sim.EndSession();
    rig.sim.SetMutualAuthStatus(5);
    EXPECT_EQ(rig.host.Authenticate(0x00), (Bytes{0x73, 5}));
    EXPECT_FALSE(rig.sim.Session().authenticated);

    // A reader with other keys answers the host random wrongly (a reader not genuine).
    ReaderKeys other;
    other.kcr[0] ^= 0xFF;
    rig.sim.SetReaderKeys(other);
    Bytes r1 = rig.line.Exchange(Join({{0x70}, B(other.id), B(Ede(other.kar, other.kbr, rig.host.host_random, DES_ENCRYPT))}));
    Block8 echo{};
    std::copy_n(r1.begin() + 1, 8, echo.begin());
    EXPECT_NE(Ede(rig.host.keys.kbr, rig.host.keys.kcr, echo, DES_DECRYPT), rig.host.host_random);
    rig.sim.SetReaderKeys(ReaderKeys{});

    // Password authentication: right keys, wrong keys, disabled.
    const ReaderKeys k;
    const Bytes right = Join({{0x70}, B(k.id), B(k.kar), B(k.kbr), B(k.kcr)});
    Bytes wrong = right;
    wrong[20] ^= 1;
    rig.sim.EndSession();
    EXPECT_EQ(rig.line.Exchange(wrong), (Bytes{0x71, 0x01}));
    EXPECT_FALSE(rig.sim.Session().authenticated);
    EXPECT_EQ(rig.line.Exchange(right), (Bytes{0x71, 0x00}));
    EXPECT_TRUE(rig.sim.Session().authenticated);
    rig.sim.SetPasswordDisabled(true);
    EXPECT_EQ(rig.line.Exchange(right), (Bytes{0x71, 0x02}));
}

TEST(SimSealed, KeyStoreRegistersListsAndClears) {
    Rig rig;
    // Unauthenticated: refused.
    EXPECT_EQ(rig.line.Exchange({0x18, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0}), (Bytes{0x7F}));
    ASSERT_EQ(rig.host.Authenticate(0x01), (Bytes{0x73, 0x00}));
    rig.sim.SetNextKeyId(0x0102);
    // Card keys: kind 0, key, list1 = {0x1008: key}, list2 = {}.
    EXPECT_EQ(rig.line.Exchange({0x18, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0x08, 0x10, 9, 9, 9, 9, 9, 9, 9, 9, 0}),
              (Bytes{0x19, 0x00, 0x00, 0x00, 0x01, 0x02}));
    // Service keys: kind 1, codes1 = {0x0001, 0x0002}, codes2 = {0x100B}, second key, first key.
    Bytes service{0x18, 0x01, 2, 0x01, 0x00, 0x02, 0x00, 1, 0x0B, 0x10};
    service.insert(service.end(), 16, 0x44);
    EXPECT_EQ(rig.line.Exchange(service), (Bytes{0x19, 0x00, 0x00, 0x00, 0x01, 0x03}));
    EXPECT_EQ(rig.line.Exchange({0x1A}),
              (Bytes{0x1B, 2, 0, 0, 1, 2, 1, 0x08, 0x10, 0, 0, 0, 1, 3, 2, 0x01, 0x00, 0x02, 0x00, 1, 0x0B, 0x10}));
    rig.sim.SetCommandStatus(0x18, 3);
    EXPECT_EQ(rig.line.Exchange(service)[1], 3);
    EXPECT_EQ(rig.line.Exchange({0x1C}), (Bytes{0x1D, 0x00}));
    EXPECT_EQ(rig.line.Exchange({0x1A}), (Bytes{0x1B, 0}));
    const ReaderKeys k;
    EXPECT_EQ(rig.line.Exchange(Join({{0x78}, B(k.id), B(k.kar)})), (Bytes{0x79, 0x00, 0x00}));
    EXPECT_EQ(rig.sim.GetReaderKeys().id, k.kar);
    EXPECT_EQ(rig.line.Exchange(Join({{0x78}, B(k.id), B(k.kar)})), (Bytes{0x79, 0x00, 0x01}));
}

}  // namespace
}  // namespace tapwedge::sim
