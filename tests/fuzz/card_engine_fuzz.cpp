// The card-read engine on an arbitrary card-parameter image, with a reader that answers anything
// (the scripted reader, over the real USB transport), then the text of each read as the polling
// loop makes it. The engine's results are what it documents, and neither the reads nor the text
// reach beyond the ID and data records (each on the heap at its own size).
#include <memory>

#include "core/card_read_engine.h"
#include "core/text_format.h"
#include "rig/fuzz_check.h"
#include "rig/scripted_reader.h"

namespace {

using fuzz_rig::Record;
using tapwedge::CardDataRecord;
using tapwedge::CardIdRecord;
using tapwedge::CardReadEngine;

void CheckResult(std::int32_t result) {
    if (result >= 0) {
        FUZZ_CHECK(result <= tapwedge::kMaxDataBytes, "more bytes than two segments hold");
        return;
    }
    if (result == tapwedge::kReadTrailerRefused || result == tapwedge::kReadIsoSegmentFailed ||
        result == tapwedge::kReadCardAuthFailed) {
        return;
    }
    FUZZ_CHECK((result & tapwedge::CARD_ERROR_FLAG) != 0, "a negative result without the flag");
    const std::int32_t status = result & ~tapwedge::CARD_ERROR_FLAG;
    // A library status, the 16-bit status of the reader's ISO15693 pass-through, or none (an
    // SLE55R page reply too short); the flag ORed into -1 leaves it as it was.
    FUZZ_CHECK(fuzz_rig::KnownStatus(status) || status <= 0xFFFF || result == -1, "a flagged unknown status");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz_rig::ScriptedReader& reader = fuzz_rig::ScriptedReader::Get();
    reader.Begin(in, static_cast<fuzz_rig::Session>(in.ConsumeIntegralInRange(1, 2)));

    Record image(CardReadEngine::kImageSize, &in);
    CardReadEngine engine;
    const auto uidOrder = in.ConsumeIntegral<std::uint8_t>();
    engine.DecodeCardParams(image.data(), uidOrder, in.ConsumeIntegral<std::int32_t>());
    FUZZ_CHECK(image.Unchanged(), "decoding wrote the image");
    const auto readerType = in.ConsumeIntegral<std::int32_t>();

    auto id = std::make_unique<CardIdRecord>();
    auto text = std::make_unique<CardDataRecord>();
    const int ticks = in.ConsumeIntegralInRange(1, 3);
    for (int tick = 0; tick < ticks; ++tick) {
        const std::int32_t result = engine.ReadCard(*id, *text, readerType);
        reader.CheckIdle();
        CheckResult(result);
        FUZZ_CHECK(id->Length >= 0 && id->Length <= 10, "an ID length outside 0..10");
        FUZZ_CHECK(text->Length >= 0 && text->Length <= tapwedge::kMaxDataBytes, "a data length outside 0..128");
        FUZZ_CHECK(engine.MatchedEntry >= 0 && engine.MatchedEntry <= 2, "no such entry matched");
        if (result <= 0) continue;
        // The polling loop's text of a read.
        std::int32_t area1 = 0, area2 = 0;
        tapwedge::GetAreaLengths(engine, area1, area2);
        const std::int32_t dataLength = tapwedge::FormatData(engine, *text, result);
        const std::int32_t idLength = tapwedge::FormatId(engine, *id, id->Length);
        FUZZ_CHECK(dataLength >= -1 && dataLength <= static_cast<std::int32_t>(sizeof text->Bytes),
                   "a data text longer than its record");
        FUZZ_CHECK(idLength >= 0 && idLength <= static_cast<std::int32_t>(sizeof id->Bytes),
                   "an ID text longer than its record");
        text->Length = dataLength;
        id->Length = idLength / 2;  // the next read starts from bytes again
        text->Length = 0;
    }
    reader.End();
    return 0;
}
