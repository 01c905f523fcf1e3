#include "core/link_faults.h"

#include "tagwire/tagwire.h"

namespace tapwedge {

LinkFault LinkFaultOf(std::int32_t status) {
    switch (status) {
    case TW_ERR_TIMEOUT:
    case TW_ERR_SHORT_REPLY:
    case TW_ERR_NACK:
    case TW_ERR_BAD_REPLY:
    case TW_ERR_CANCELLED:
    case TW_ERR_BUSY:
        return LinkFault::Exchange;
    case TW_ERR_NOT_AUTHENTICATED:
    case TW_ERR_PLAIN_REPLY:
    case TW_ERR_MAC:
    case TW_ERR_SEQUENCE:
        return LinkFault::Session;
    default:
        return LinkFault::None;
    }
}

}  // namespace tapwedge
