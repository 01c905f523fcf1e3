#pragma once
// Request object of the ISO15693 path: wraps ISO 15693-3 requests into the reader's
// pass-through command. It holds no state; the card-read engine owns one.

namespace tapwedge {

class Iso15693Helper {};

}  // namespace tapwedge
