#include "engine_rig.h"

#include <tagwire/tagwire.h>

#include <algorithm>

namespace engine_rig {

tapwedge::CardParamImage ImageOf(std::initializer_list<EntrySpec> entries) {
    tapwedge::CardParamImage image{};
    std::size_t i = 0;
    for (const EntrySpec& spec : entries) {
        tapwedge::CardEntry& e = image.Entries[i++];
        e.SetKind(spec.kind);
        if ((spec.kind & tapwedge::kKindClassMask) == 0x80C0) {
            e.KindSpecific[0] = spec.afi;
            e.KindSpecific[2] = spec.block_config;
        } else {
            e.SetSystemCode(spec.system_code);
            e.SetServiceCode(spec.service_code);
        }
        for (int a = 0; a < 2; ++a) {
            e.Areas[a].Block = spec.areas[a].block;
            e.Areas[a].Start = spec.areas[a].start;
            e.Areas[a].Length = spec.areas[a].length;
        }
        // Written after area 0's bytes: it shares the area's two further bytes.
        e.SetSecondServiceCode(spec.second_service);
    }
    return image;
}

Bytes Slice(const std::vector<Bytes>& blocks, std::size_t first, std::size_t start,
            std::size_t length) {
    Bytes run;
    for (std::size_t b = first; b < blocks.size(); ++b) run.insert(run.end(), blocks[b].begin(), blocks[b].end());
    if (start >= run.size()) return {};
    return Bytes(run.begin() + static_cast<std::ptrdiff_t>(start),
                 run.begin() + static_cast<std::ptrdiff_t>(std::min(run.size(), start + length)));
}

void EngineTest::SetUp() {
    CardTest::SetUp();
    if (HasFatalFailure()) return;
    Authenticate();
}

void EngineTest::Authenticate() {
    const TwAuthKeys keys = AuthKeysOf(sim());
    ASSERT_EQ(TwAuthentication(&keys, auth_mode_), TW_OK);
    ASSERT_EQ(sim().Session().encrypted, auth_mode_ == 0);
}

void EngineTest::Decode(std::initializer_list<EntrySpec> entries, std::uint8_t uidOrder,
                        std::int32_t keyId) {
    const tapwedge::CardParamImage image = ImageOf(entries);
    ASSERT_EQ(engine_.DecodeCardParams(image.Data(), uidOrder, keyId), 0);
}

std::int32_t EngineTest::Tick(std::int32_t readerType) {
    sim().ClearRecord();
    id_ = {};
    data_ = {};
    return engine_.ReadCard(id_, data_, readerType);
}

Bytes EngineTest::Codes() {
    Bytes codes;
    for (const Bytes& c : reader().Commands())
        if (c.size() >= 2) codes.push_back(c[1]);
    return codes;
}

std::vector<Bytes> EngineTest::CommandsOf(std::uint8_t code) {
    std::vector<Bytes> out;
    for (const Bytes& c : reader().Commands())
        if (c.size() >= 2 && c[1] == code) out.push_back(c);
    return out;
}

}  // namespace engine_rig
