#include "reader_sim/sealed_channel.h"

#include <openssl/des.h>

#include <cstring>

namespace tapwedge::sim {

namespace {

Block8 DesBlock(const Block8& key, const Block8& in, int direction) {
    DES_cblock k;
    std::memcpy(k, key.data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&k, &schedule);  // parity bits are ignored, as by the reader
    DES_cblock src;
    DES_cblock dst;
    std::memcpy(src, in.data(), 8);
    DES_ecb_encrypt(&src, &dst, &schedule, direction);
    Block8 out;
    std::memcpy(out.data(), dst, 8);
    return out;
}

Block8 Xor(Block8 a, const Block8& b) {
    for (int i = 0; i < 8; ++i) a[i] ^= b[i];
    return a;
}

Block8 BlockAt(const std::uint8_t* p) {
    Block8 b;
    std::memcpy(b.data(), p, 8);
    return b;
}

}  // namespace

Block8 DesEncrypt(const Block8& key, const Block8& in) { return DesBlock(key, in, DES_ENCRYPT); }
Block8 DesDecrypt(const Block8& key, const Block8& in) { return DesBlock(key, in, DES_DECRYPT); }

Block8 TripleDesEncrypt(const Block8& a, const Block8& b, const Block8& in) {
    return DesEncrypt(a, DesDecrypt(b, DesEncrypt(a, in)));
}

Block8 TripleDesDecrypt(const Block8& a, const Block8& b, const Block8& in) {
    return DesDecrypt(a, DesEncrypt(b, DesDecrypt(a, in)));
}

Bytes SealBody(const Block8& key, Bytes plain) {
    plain.resize((plain.size() + 7) / 8 * 8, 0x00);
    Bytes body;
    Block8 chain{};
    Block8 mac{};
    for (std::size_t off = 0; off < plain.size(); off += 8) {
        const Block8 p = BlockAt(plain.data() + off);
        mac = Xor(mac, p);
        chain = DesEncrypt(key, Xor(p, chain));
        body.insert(body.end(), chain.begin(), chain.end());
    }
    const Block8 tag = DesEncrypt(key, Xor(mac, chain));
    body.insert(body.end(), tag.begin(), tag.end());
    return body;
}

std::optional<Bytes> OpenBody(const Block8& key, const std::uint8_t* body, std::size_t count) {
    if (count < 16 || count % 8 != 0) return std::nullopt;
    Bytes plain;
    Block8 chain{};
    Block8 mac{};
    const std::size_t cipher = count - 8;
    for (std::size_t off = 0; off < cipher; off += 8) {
        const Block8 c = BlockAt(body + off);
        const Block8 p = Xor(DesDecrypt(key, c), chain);
        chain = c;
        mac = Xor(mac, p);
        plain.insert(plain.end(), p.begin(), p.end());
    }
    if (DesEncrypt(key, Xor(mac, chain)) != BlockAt(body + cipher)) return std::nullopt;
    return plain;
}

}  // namespace tapwedge::sim
