#pragma once
// Rig of the card-read engine tests: a card-read engine whose entries come from a
// card-parameter image, on the library opened and authenticated on the reader simulator.
// A "tick" is one ReadCard call, as the polling loop makes it on a ready reader.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "card_rig.h"
#include "core/card_param_image.h"
#include "core/card_read_engine.h"

namespace engine_rig {

using card_rig::Bytes;
using card_rig::Transport;

// Reader types of the polling loop: edition in the low nibble.
inline constexpr std::int32_t kEdition1 = 0x51;      // with encryption
inline constexpr std::int32_t kEdition2 = 0x52;      // with encryption and SSFC
inline constexpr std::int32_t kNotDetected = 0x0F;

struct Area {
    std::uint8_t block = 0, start = 0, length = 0;
};

// One card entry as the card-parameter dialog stores it; kind 0 = not in use.
struct EntrySpec {
    std::uint16_t kind = 0;
    std::uint16_t system_code = 0;    // FeliCa
    std::uint16_t service_code = 0;   // FeliCa
    std::uint16_t second_service = 0; // FeliCa plain reads, 0 = same service
    std::uint8_t afi = 0;             // ISO15693
    std::uint8_t block_config = 0;    // ISO15693
    Area areas[2] = {};
};

// The image of up to three entries, in order.
tapwedge::CardParamImage ImageOf(std::initializer_list<EntrySpec> entries);

// The length bytes of `length` bytes of a block run from byte `start` of block `first` on.
Bytes Slice(const std::vector<Bytes>& blocks, std::size_t first, std::size_t start,
            std::size_t length);

class EngineTest : public card_rig::CardTest {
protected:
    // Mode of the reader authentication: 1 plain (the record shows the host's exact
    // commands), 0 encrypted.
    explicit EngineTest(std::int32_t authMode = 1) : auth_mode_(authMode) {}
    void SetUp() override;
    // The reader authentication of SetUp, as the polling loop makes it again on reconnecting.
    void Authenticate();

    // Decodes the entries into the engine, as the main form does after reading a file.
    void Decode(std::initializer_list<EntrySpec> entries, std::uint8_t uidOrder = 1,
                std::int32_t keyId = tapwedge::CardReadEngine::kUnsetKeyId);
    // One polling tick; the record of the reader starts afresh.
    std::int32_t Tick(std::int32_t readerType = kEdition1);

    Bytes Id() const { return Bytes(id_.Bytes, id_.Bytes + id_.Length); }
    Bytes Data() const { return Bytes(data_.Bytes, data_.Bytes + data_.Length); }
    // Command codes the tick sent, in order.
    Bytes Codes();
    // The commands of one code the tick sent.
    std::vector<Bytes> CommandsOf(std::uint8_t code);

    tapwedge::CardReadEngine engine_;
    tapwedge::CardIdRecord id_;
    tapwedge::CardDataRecord data_;

private:
    std::int32_t auth_mode_;
};

}  // namespace engine_rig
