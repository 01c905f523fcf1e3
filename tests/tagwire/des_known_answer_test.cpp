// DES and two-key triple DES against published known answers.
#include <gtest/gtest.h>

#include <string_view>

#include "des_test_support.h"

using des_test::Block;
using des_test::FromHex;
using des_test::SingleDes;

namespace {

struct KnownAnswer {
    std::string_view key;
    std::string_view plaintext;
    std::string_view ciphertext;
};

// NIST SP 800-20, variable plaintext known answer test: key 0101010101010101, one plaintext
// bit set per row.
constexpr std::string_view kVariablePlaintext[64] = {
    "95F8A5E5DD31D900", "DD7F121CA5015619", "2E8653104F3834EA", "4BD388FF6CD81D4F",
    "20B9E767B2FB1456", "55579380D77138EF", "6CC5DEFAAF04512F", "0D9F279BA5D87260",
    "D9031B0271BD5A0A", "424250B37C3DD951", "B8061B7ECD9A21E5", "F15D0F286B65BD28",
    "ADD0CC8D6E5DEBA1", "E6D5F82752AD63D1", "ECBFE3BD3F591A5E", "F356834379D165CD",
    "2B9F982F20037FA9", "889DE068A16F0BE6", "E19E275D846A1298", "329A8ED523D71AEC",
    "E7FCE22557D23C97", "12A9F5817FF2D65D", "A484C3AD38DC9C19", "FBE00A8A1EF8AD72",
    "750D079407521363", "64FEED9C724C2FAF", "F02B263B328E2B60", "9D64555A9A10B852",
    "D106FF0BED5255D7", "E1652C6B138C64A5", "E428581186EC8F46", "AEB5F5EDE22D1A36",
    "E943D7568AEC0C5C", "DF98C8276F54B04B", "B160E4680F6C696F", "FA0752B07D9C4AB8",
    "CA3A2B036DBC8502", "5E0905517BB59BCF", "814EEB3B91D90726", "4D49DB1532919C9F",
    "25EB5FC3F8CF0621", "AB6A20C0620D1C6F", "79E90DBC98F92CCA", "866ECEDD8072BB0E",
    "8B54536F2F3E64A8", "EA51D3975595B86B", "CAFFC6AC4542DE31", "8DD45A2DDF90796C",
    "1029D55E880EC2D0", "5D86CB23639DBEA9", "1D1CA853AE7C0C5F", "CE332329248F3228",
    "8405D1ABE24FB942", "E643D78090CA4207", "48221B9937748A23", "DD7C0BBD61FAFD54",
    "2FBC291A570DB5C4", "E07C30D7E4E26E12", "0953E2258E8E90A1", "5B711BC4CEEBF2EE",
    "CC083F1E6D9E85F6", "D2FD8867D50D2DFE", "06E7EA22CE92708F", "166B40B44ABA4BD6",
};

TEST(DesKnownAnswer, SingleDesEncryptsAndDecryptsPublishedBlocks) {
    const KnownAnswer cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "0123456789ABCDE7", "C95744256A5ED31D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const Block key = FromHex(c.key);
        EXPECT_EQ(SingleDes(0, key, FromHex(c.plaintext)), FromHex(c.ciphertext));
        EXPECT_EQ(SingleDes(1, key, FromHex(c.ciphertext)), FromHex(c.plaintext));
    }
}

TEST(DesKnownAnswer, VariablePlaintextRowsOfSp80020) {
    const Block key = FromHex("0101010101010101");
    for (int bit = 0; bit < 64; ++bit) {
        SCOPED_TRACE(bit);
        Block plaintext{};
        plaintext[bit / 8] = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        const Block ciphertext = FromHex(kVariablePlaintext[bit]);
        EXPECT_EQ(SingleDes(0, key, plaintext), ciphertext);
        EXPECT_EQ(SingleDes(1, key, ciphertext), plaintext);
    }
}

TEST(DesKnownAnswer, TwoKeyTripleDesInEncryptDecryptEncryptOrder) {
    struct TripleCase {
        std::string_view key1, key2, plaintext, ciphertext;
    };
    const TripleCase cases[] = {
        {"0123456789ABCDEF", "FEDCBA9876543210", "0123456789ABCDE7", "7F1D0A77826B8AFF"},
        {"0123456789ABCDEF", "0123456789ABCDEF", "0123456789ABCDE7", "C95744256A5ED31D"},
    };
    CFEncrypt des;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key2);
        const Block k1 = FromHex(c.key1), k2 = FromHex(c.key2);
        const Block plaintext = FromHex(c.plaintext), ciphertext = FromHex(c.ciphertext);
        Block out{};
        EXPECT_EQ(des.TripleDesEncryptBlock(out.data(), plaintext.data(), k1.data(), k2.data()), 0);
        EXPECT_EQ(out, ciphertext);
        EXPECT_EQ(des.TripleDesDecryptBlock(out.data(), ciphertext.data(), k1.data(), k2.data()),
                  0);
        EXPECT_EQ(out, plaintext);
    }
}

}  // namespace
