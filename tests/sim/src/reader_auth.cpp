// Reader authentication: password (0x70 with the plain key block), mutual authentication
// (0x70 then 0x72, two-key triple DES, a session key of the reader's choosing) and reset (0x74).
#include <algorithm>
#include <random>

#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

namespace {

Block8 BlockAt(const Bytes& bytes, std::size_t offset) {
    Block8 b;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), 8, b.begin());
    return b;
}

Block8 FreshRandom() {
    static std::mt19937_64 engine{std::random_device{}()};
    Block8 b;
    std::uint64_t v = engine();
    for (auto& byte : b) {
        byte = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
    return b;
}

}  // namespace

Response ReaderSim::OnAuthenticate1(const Bytes& command) {
    // command = [L][0x70][...]; password form: 32 bytes, mutual form: ID and 3DES(host random).
    const std::size_t params = command.size() - 2;
    if (params == 32) {
        std::uint8_t status;
        if (password_disabled_) {
            status = 2;
        } else if (password_status_) {
            status = *password_status_;
        } else {
            const ReaderKeys sent{BlockAt(command, 2), BlockAt(command, 10), BlockAt(command, 18),
                                  BlockAt(command, 26)};
            status = sent == keys_ ? 0 : 1;
        }
        if (status == 0) {
            session_.authenticated = true;
            session_.encrypted = false;
            ++counts_.authentications;
        }
        return Response::Of({0x71, status});
    }
    if (params != 16 || BlockAt(command, 2) != keys_.id) return Response::Of({0x7F});
    const Block8 host_random = TripleDesDecrypt(keys_.kar, keys_.kbr, BlockAt(command, 10));
    const Block8 reader_random = reader_random_.value_or(FreshRandom());
    pending_random_ = reader_random;
    Bytes reply{0x71};
    for (const Block8& b : {TripleDesEncrypt(keys_.kbr, keys_.kcr, host_random),
                            TripleDesEncrypt(keys_.kbr, keys_.kcr, reader_random)})
        reply.insert(reply.end(), b.begin(), b.end());
    return Response::Of(std::move(reply));
}

Response ReaderSim::OnAuthenticate2(const Bytes& command) {
    // [L][0x72][ID][3DES(session key)][mode]
    if (command.size() < 19 || BlockAt(command, 2) != keys_.id) return Response::Of({0x7F});
    const Block8 answer = TripleDesDecrypt(keys_.kar, keys_.kbr, BlockAt(command, 10));
    if (!pending_random_ || answer != *pending_random_) return Response::Of({0x73, 0x01});
    const std::uint8_t status = mutual_status_;
    if (status == 0 || status == 16) {
        session_.authenticated = true;
        session_.encrypted = (command[18] & 0x01) == 0;
        session_.session_key = *pending_random_;
        session_.last_counter = 0;
        ++counts_.authentications;
    }
    return Response::Of({0x73, status});
}

Response ReaderSim::OnReset(const Bytes& /*command*/) {
    // The reply still goes out under the old seal (Answer captured it before this runs).
    DropSession();
    return Response::Of({0x75});
}

}  // namespace tapwedge::sim
