#include "core/card_param_image.h"

namespace tapwedge {

CardKind CardEntry::Classify() const {
    switch (Kind() & kKindClassMask) {
        case 0x8000: return CardKind::Felica;
        case 0x8040: return CardKind::Mifare;
        case 0x80C0: return CardKind::Iso15693;
        default: return CardKind::None;
    }
}

}  // namespace tapwedge
