#pragma once
// What a reader library status says about the line to the reader, apart from the card: the card
// reads use it to tell "no card" or "the card refused" from "the answer never came right", which
// says nothing about the card, and the polling loop to decide when to connect anew.
#include <cstdint>

namespace tapwedge {

enum class LinkFault {
    None,      // an answer of the reader or the card: success, no card, a card or reader status,
               // a refusal (0x7F, also for a key ID the reader does not hold)
    Exchange,  // the exchange failed: no or late reply, NACK, a reply too short or of another code
    Session,   // the sealed session is over or out of step (MAC, counter, plain reply): reconnect
};

LinkFault LinkFaultOf(std::int32_t status);

}  // namespace tapwedge
