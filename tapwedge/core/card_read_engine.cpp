#include "core/card_read_engine.h"

#include "core/iso15693_helper.h"

namespace tapwedge {

CardReadEngine::CardReadEngine() : Iso15693(std::make_unique<Iso15693Helper>()) {
    for (auto& entry : Entries) entry.KeyId = kUnsetKeyId;
}

CardReadEngine::~CardReadEngine() = default;

void CardReadEngine::SetUidNormalOrder(std::uint8_t value) { UidNormalOrder = value; }

}  // namespace tapwedge
