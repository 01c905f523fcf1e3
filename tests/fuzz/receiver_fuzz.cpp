// The link layer's receiver fed arbitrary bytes in arbitrary chunks, with the waiter re-arming it
// now and then, against a plain reading of the same bytes: the receiver ends on the frame (or
// NACK) that ends whole with good checksums once every frame begun before it has failed, on
// nothing else, and when the line falls silent the waiter takes the frame that ended behind an
// unfinished one; its state and indexes stay within their tables. Half the runs are garbage
// followed by a good frame, which must then be received unless the garbage holds a frame itself.
#include <algorithm>
#include <optional>
#include <vector>

#include "link_layer.h"
#include "rig/fuzz_check.h"

namespace {

using fuzz_rig::Bytes;

struct Found {
    bool nack = false;
    Bytes record;  // [LEN + 1][data] of a frame
};

// What became of the frame begun at the start byte s[q] (after two zeros), by a plain reading.
struct Fate {
    std::size_t start = 0;
    enum { Open, Dead, Ended } how = Open;
    std::size_t at = 0;  // where it ended or failed
    Found found;
};

Fate FateOf(const Bytes& s, std::size_t q) {
    Fate fate;
    fate.start = q;
    const auto dies = [&](std::size_t at) {
        fate.how = Fate::Dead;
        fate.at = at;
        return fate;
    };
    if (q + 2 >= s.size()) return fate;
    const std::uint8_t len = s[q + 1];
    if (len == 0x00) {  // an ACK: no frame, whatever follows
        return s[q + 2] != 0xFF ? dies(q + 2) : q + 3 < s.size() ? dies(q + 3) : fate;
    }
    if (len == 0xFF) {
        if (s[q + 2] != 0x00) return dies(q + 2);
        fate.how = Fate::Ended;
        fate.at = q + 2;
        fate.found.nack = true;
        return fate;
    }
    if (((len + s[q + 2]) & 0xFF) != 0) return dies(q + 2);
    if (q + 3 + len >= s.size()) return fate;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum += s[q + 3 + i];
    if (((sum + s[q + 3 + len]) & 0xFF) != 0) return dies(q + 3 + len);
    if (q + 4 + len >= s.size()) return fate;
    if (s[q + 4 + len] != 0x00) return dies(q + 4 + len);
    fate.how = Fate::Ended;
    fate.at = q + 4 + len;
    fate.found.record.push_back(static_cast<std::uint8_t>(len + 1));
    fate.found.record.insert(fate.found.record.end(), s.begin() + static_cast<std::ptrdiff_t>(q + 3),
                             s.begin() + static_cast<std::ptrdiff_t>(q + 3 + len));
    return fate;
}

std::vector<Fate> Fates(const Bytes& s) {
    std::vector<Fate> fates;
    for (std::size_t q = 2; q < s.size(); ++q) {
        if (s[q] == 0xFF && s[q - 1] == 0x00 && s[q - 2] == 0x00) fates.push_back(FateOf(s, q));
    }
    return fates;
}

// What the receiver ends on after `s`: the first frame (or NACK) to have ended by a byte when
// every frame begun before it has failed by that byte.
std::optional<Found> Received(const Bytes& s) {
    const std::vector<Fate> fates = Fates(s);
    for (std::size_t t = 0; t < s.size(); ++t) {
        for (const Fate& f : fates) {
            if (f.start > t) break;
            if (f.how == Fate::Dead && f.at <= t) continue;
            if (f.how == Fate::Ended && f.at <= t) return f.found;
            break;  // the earliest frame still running
        }
    }
    return std::nullopt;
}

// What a waiter takes after the line fell silent: the first frame that ended, all those begun
// before it being unfinished.
std::optional<Found> Waiting(const Bytes& s) {
    for (const Fate& f : Fates(s)) {
        if (f.how == Fate::Ended) return f.found;
    }
    return std::nullopt;
}

Bytes ReceivedRecord(const ReaderContext& context) {
    Bytes got(context.RxFrame[0]);
    context.RxFrame.CopyOut(got.data(), 0, got.size());
    return got;
}

bool HasAck(const Bytes& s) {
    const Bytes header = {0x00, 0x00, 0xFF, 0x00, 0xFF};
    const auto at = std::search(s.begin(), s.end(), header.begin(), header.end());
    return at != s.end() && at + 5 < s.end();  // with its postamble
}

Bytes Frame(const Bytes& data) {
    Bytes frame = {0x00, 0x00, 0xFF, static_cast<std::uint8_t>(data.size()),
                   static_cast<std::uint8_t>(0x100 - data.size())};
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(static_cast<std::uint8_t>(0x100 - sum));
    frame.push_back(0x00);
    return frame;
}

bool DocumentedState(std::int32_t state) {
    switch (state) {
        case kRxIdle: case kRxPreamble2: case kRxStart: case kRxLen: case kRxLcs: case kRxData:
        case kRxDcs: case kRxPostamble: case kRxComplete: case kRxAckLcs: case kRxAckPostamble:
        case kRxNackLcs: case kRxNack:
            return true;
        default:
            return false;
    }
}

void CheckBounds(const ReaderContext& context) {
    const std::int32_t state = context.RxState.load();
    FUZZ_CHECK(DocumentedState(state), "a state outside the receive table");
    FUZZ_CHECK(context.RxHeldCount >= 0 && context.RxHeldCount <= kRxHeldSize, "held bytes outside their area");
    FUZZ_CHECK(context.RxCandidateCount >= 0 && context.RxCandidateCount <= kRxMaxCandidates,
               "frames begun outside their table");
    for (std::int32_t k = 0; k < context.RxCandidateCount; ++k) {
        const RxCandidate& c = context.RxCandidates[k];
        FUZZ_CHECK(c.Start >= 2 && c.Start < context.RxHeldCount, "a frame begun outside the held bytes");
        FUZZ_CHECK(c.Taken >= 0 && c.Taken <= c.Length && c.Length <= 0xFF, "a data count outside its frame");
        FUZZ_CHECK(k == 0 || c.Start > context.RxCandidates[k - 1].Start, "frames begun out of order");
    }
    if (state >= kRxLcs && state <= kRxPostamble) {
        FUZZ_CHECK(context.RxLength >= 1 && context.RxLength <= 254, "RxLength outside 1..254");
        FUZZ_CHECK(context.RxIndex >= 1 && context.RxIndex <= context.RxLength + 1, "RxIndex outside the frame");
    }
    FUZZ_CHECK(context.RxLogCount.load() <= kRxAreaSize, "raw log count above its area");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One context for every run: a re-arm by the waiter makes the receiver forget all it held.
    static ReaderContext* context = new ReaderContext();
    FuzzedDataProvider in(data, size);
    context->RxState.store(kRxIdle);
    context->AckReceived.store(0);

    const bool garbageThenFrame = in.ConsumeBool();
    Bytes stream;  // what was fed since the last re-arm
    Bytes frame;
    Bytes record;
    Bytes rest;
    if (garbageThenFrame) {
        Bytes payload = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(1, 254));
        if (payload.empty()) payload.push_back(0x7F);
        frame = Frame(payload);
        record.push_back(static_cast<std::uint8_t>(payload.size() + 1));
        record.insert(record.end(), payload.begin(), payload.end());
        rest = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 600));
        rest.insert(rest.end(), frame.begin(), frame.end());
    } else {
        rest = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 1200));
    }

    std::size_t at = 0;
    while (at < rest.size()) {
        // The transport hands over 1..300 bytes at a time; between chunks the waiter may re-arm.
        const std::size_t n = std::min(rest.size() - at, in.ConsumeIntegralInRange<std::size_t>(1, 300));
        if (!garbageThenFrame && in.ConsumeIntegralInRange(0, 7) == 7) {
            context->RxState.store(kRxIdle);
            context->AckReceived.store(0);
            stream.clear();
        }
        const std::int32_t before = context->RxState.load();
        FeedReceiver(*context, rest.data() + at, static_cast<std::uint32_t>(n));
        if (before != kRxComplete && before != kRxNack) stream.insert(stream.end(), rest.begin() + at, rest.begin() + at + n);
        at += n;
        CheckBounds(*context);

        const std::optional<Found> first = Received(stream);
        const std::int32_t state = context->RxState.load();
        if (!first) {
            FUZZ_CHECK(state != kRxComplete && state != kRxNack, "a frame received that is not in the bytes");
        } else if (first->nack) {
            FUZZ_CHECK(state == kRxNack, "the NACK in the bytes was missed");
        } else {
            FUZZ_CHECK(state == kRxComplete, "the frame in the bytes was missed");
            FUZZ_CHECK(ReceivedRecord(*context) == first->record, "received another frame than the one in the bytes");
        }
        if (!HasAck(stream)) FUZZ_CHECK(context->AckReceived.load() == 0, "an ACK that is not in the bytes");
    }

    // The line falls silent: a frame waiting behind an unfinished one is taken.
    const std::int32_t state = context->RxState.load();
    if (state != kRxComplete && state != kRxNack) {
        const std::optional<Found> waiting = Waiting(stream);
        FUZZ_CHECK(TakeWaitingFrame(*context) == waiting.has_value(), "a waiting frame missed or made up");
        CheckBounds(*context);
        if (waiting) {
            FUZZ_CHECK(context->RxState.load() == (waiting->nack ? kRxNack : kRxComplete), "waiting frame not shown");
            if (!waiting->nack) FUZZ_CHECK(ReceivedRecord(*context) == waiting->record, "another waiting frame taken");
        }
    }
    if (garbageThenFrame) {
        // Unless the garbage holds a frame or NACK of its own (one that ends before the frame,
        // or begins before it and ends with it), the frame itself is received.
        const std::size_t frameStart = rest.size() - frame.size() + 2;
        bool garbageHasOne = false;
        for (const Fate& f : Fates(rest)) {
            garbageHasOne |= f.how == Fate::Ended && (f.at + 1 < rest.size() || f.start < frameStart);
        }
        if (!garbageHasOne) {
            FUZZ_CHECK(context->RxState.load() == kRxComplete && ReceivedRecord(*context) == record,
                       "the frame after the garbage was lost");
        }
    }
    return 0;
}
