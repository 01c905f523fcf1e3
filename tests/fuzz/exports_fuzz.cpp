// Every command export of the reader library against a reader that answers anything (the
// scripted reader, over the real USB transport): a run is a session (not authenticated, plain
// or sealed) and one to three export calls. For every call: caller records sit in buffers of
// exactly their documented size, outputs are written only when the call succeeds (or as the
// export documents otherwise), inputs are never written, and the status is a known code.
#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>

#include "rig/fuzz_check.h"
#include "rig/scripted_reader.h"

namespace {

using fuzz_rig::Bytes;
using fuzz_rig::Record;
using fuzz_rig::ScriptedReader;

constexpr std::size_t kIdm = 8;
constexpr std::size_t kCodeList = sizeof(TwCodeList);
constexpr std::size_t kBlockList = sizeof(TwBlockList);
constexpr std::size_t kMaxReplyRecord = 255;  // [LEN + 1] counts itself: at most 255 bytes
constexpr std::size_t kVersionText = 254;      // 253 reply bytes and the 0 byte
constexpr std::size_t kRawLog = 301;
constexpr std::size_t kSentLog = 264;

template <typename T>
T FromInput(FuzzedDataProvider& in) {
    T value{};
    const Bytes bytes = in.ConsumeBytes<std::uint8_t>(sizeof(T));
    std::memcpy(&value, bytes.data(), bytes.size());
    return value;
}

// A count field: mostly in range, sometimes just outside it.
std::int32_t Count(FuzzedDataProvider& in, std::int32_t max) {
    return in.ConsumeIntegralInRange<std::int32_t>(-1, max + 1);
}

std::int32_t Checked(std::int32_t status) {
    FUZZ_CHECK(fuzz_rig::KnownStatus(status), "the export returned an unknown status");
    return status;
}

// Outputs stay as they were unless `written` (the call succeeded, or failed as documented).
void WrittenOnlyIf(bool written, std::initializer_list<const Record*> outputs) {
    if (written) return;
    for (const Record* r : outputs) FUZZ_CHECK(r->Unchanged(), "an output was written by a failed call");
}

void NeverWritten(std::initializer_list<const Record*> inputs) {
    for (const Record* r : inputs) FUZZ_CHECK(r->Unchanged(), "an input record was written");
}

bool ReaderStatus(std::int32_t status) {
    return status > TW_ERR_READER_STATUS && status <= TW_ERR_READER_STATUS + 0xFF;
}

// ---- Authentication ----

void Authentications(FuzzedDataProvider& in, ScriptedReader& reader) {
    Record keys = Record::Of(FromInput<TwAuthKeys>(in));
    reader.SetKeys(*keys.As<TwAuthKeys>());
    const auto mode = in.ConsumeIntegral<std::int32_t>();
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0: Checked(TwAuthentication(keys.As<TwAuthKeys>(), mode)); break;
        case 1: Checked(TwAuthentication1(keys.As<TwAuthKeys>())); break;
        case 2: Checked(TwAuthentication2(keys.As<TwAuthKeys>(), mode)); break;
        case 3: Checked(TwPWAuthentication(keys.As<TwAuthKeys>())); break;
        case 4: Checked(TwReset()); break;
        case 5: FUZZ_CHECK(TwSetAuthenticationStatus() == TW_OK, "status not set"); break;
    }
    NeverWritten({&keys});
}

// ---- Key registration ----

TwCardKeyList CardKeyList(FuzzedDataProvider& in) {
    auto list = FromInput<TwCardKeyList>(in);
    list.Count = Count(in, 8);
    return list;
}

void CardKeys(FuzzedDataProvider& in, ScriptedReader&) {
    Record keyId(sizeof(std::int32_t));
    Record key(8, &in);
    Record list1 = Record::Of(CardKeyList(in));
    Record list2 = Record::Of(CardKeyList(in));
    using Fn = std::int32_t (*)(std::int32_t*, const std::uint8_t*, const TwCardKeyList*, const TwCardKeyList*);
    const Fn exports[] = {TwSetCardKey, TwSetCardKeyTmp, TwSetCardKey2Tmp};
    const std::int32_t status = Checked(exports[in.ConsumeIntegralInRange(0, 2)](
        keyId.As<std::int32_t>(), key.data(), list1.As<TwCardKeyList>(), list2.As<TwCardKeyList>()));
    // The key ID of every good reply is handed out, whatever the reader's status.
    WrittenOnlyIf(status == TW_OK || ReaderStatus(status), {&keyId});
    NeverWritten({&key, &list1, &list2});
}

void ServiceKeys(FuzzedDataProvider& in, ScriptedReader&) {
    Record keyId(sizeof(std::int32_t));
    auto value = FromInput<TwServiceKeyRecord>(in);
    value.Count1 = Count(in, 8);
    value.Count2 = Count(in, 8);
    Record record = Record::Of(value);
    const auto fn = in.ConsumeBool() ? TwSetServiceKey : TwSetServiceKeyTmp;
    const std::int32_t status = Checked(fn(keyId.As<std::int32_t>(), record.As<TwServiceKeyRecord>()));
    WrittenOnlyIf(status == TW_OK || ReaderStatus(status), {&keyId});
    NeverWritten({&record});
}

void KeyIds(FuzzedDataProvider&, ScriptedReader&) {
    Record list(sizeof(TwCardKeyIdList));
    const std::int32_t status = Checked(TwGetCardKeyID(list.As<TwCardKeyIdList>()));
    // A bad entry leaves the entries read before it.
    WrittenOnlyIf(status == TW_OK || status == TW_ERR_BAD_REPLY, {&list});
    // Slot 4 is never written.
    FUZZ_CHECK(list.UnchangedIn(offsetof(TwCardKeyIdList, KeyId) + 16, 4) &&
                   list.UnchangedIn(offsetof(TwCardKeyIdList, CodeList1) + 4 * kCodeList, kCodeList) &&
                   list.UnchangedIn(offsetof(TwCardKeyIdList, CodeList2) + 4 * kCodeList, kCodeList),
               "key-ID slot 4 was written");
}

void ReaderKeysAndId(FuzzedDataProvider& in, ScriptedReader&) {
    Record a(8, &in), b(8, &in), c(8, &in);
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: Checked(TwClearCardKeyID()); break;
        case 1: Checked(TwChangeKey(a.data(), b.data(), c.data())); break;
        case 2: Checked(TwChangeID(a.data(), b.data())); break;
    }
    NeverWritten({&a, &b, &c});
}

// ---- Reader control and pass-through ----

void Control(FuzzedDataProvider& in, ScriptedReader&) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0: Checked(TwFChipInit()); break;
        case 1: Checked(TwTurnOff()); break;
        case 2: Checked(TwChangeBaudRate(in.ConsumeIntegralInRange<std::int32_t>(-2, 13))); break;
        case 3: Checked(TwSetOutput(in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::int32_t>())); break;
        case 4: {
            Record out(1);
            WrittenOnlyIf(Checked(TwGetSwitch(out.data())) == TW_OK, {&out});
            break;
        }
        case 5: {
            Record out(kVersionText);
            const std::int32_t status = Checked(TwGetVersion(reinterpret_cast<char*>(out.data())));
            WrittenOnlyIf(status == TW_OK, {&out});
            if (status == TW_OK) {
                FUZZ_CHECK(std::find(out.data(), out.data() + out.size(), 0) != out.data() + out.size(),
                           "version text without its 0 byte");
            }
            break;
        }
        case 6: {
            Record out(8);
            WrittenOnlyIf(Checked(TwAttention(out.data())) == TW_OK, {&out});
            break;
        }
    }
}

void PassThrough(FuzzedDataProvider& in, ScriptedReader&) {
    // The caller's command is exactly as long as its length byte says (one byte when it is 0).
    const auto length = in.ConsumeIntegral<std::uint8_t>();
    Bytes command = in.ConsumeBytes<std::uint8_t>(length);
    command.resize(std::max<std::size_t>(length, 1), 0x00);
    command[0] = length;
    Record request(command);
    Record response(kMaxReplyRecord);
    std::int32_t status;
    if (in.ConsumeBool()) {
        status = Checked(TwThruCommand(response.data(), request.data()));
    } else {
        const auto timeout = in.ConsumeIntegral<std::int32_t>();
        status = Checked(TwThruCommand2(timeout, response.data(), request.data(), in.ConsumeIntegral<std::int32_t>()));
    }
    WrittenOnlyIf(status == TW_OK, {&response});
    NeverWritten({&request});
}

void Logs(FuzzedDataProvider& in, ScriptedReader&) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: Checked(TwCancel()); break;
        case 1: {
            Record raw(kRawLog), sent(kSentLog);
            FUZZ_CHECK(TwGetRecvData(raw.data(), sent.data()) == TW_OK, "logs not copied");
            break;
        }
        case 2:
            FUZZ_CHECK(TwGetParameter(1, 2, 3) == TW_ERR_FAILED && TwSetParameter(1, 2, 3) == TW_ERR_FAILED &&
                           TwDebugWrite(4) == TW_OK,
                       "the stubs changed");
            break;
    }
}

// ---- FeliCa ----

void Polling(FuzzedDataProvider& in, ScriptedReader&) {
    Record idm(kIdm), pmm(kIdm), systemCode(sizeof(std::uint16_t));
    const auto code = in.ConsumeIntegral<std::uint16_t>();
    std::int32_t status = 0;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: status = Checked(TwFindCard(code, idm.data(), pmm.data())); break;
        case 1: status = Checked(TwFindCardEx(in.ConsumeIntegral<std::int32_t>(), code, idm.data(), pmm.data())); break;
        case 2: status = Checked(TwWaitFindCard(code, idm.data(), pmm.data())); break;
        case 3: status = Checked(TwGetSystemCode(systemCode.As<std::uint16_t>(), idm.data(), pmm.data())); break;
    }
    WrittenOnlyIf(status == TW_OK, {&idm, &pmm, &systemCode});
}

void Inquiries(FuzzedDataProvider& in, ScriptedReader&) {
    Record idm(kIdm, &in);
    Record out(kCodeList);
    std::int32_t status = 0;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            status = Checked(TwRequestSystemCode(idm.data(), out.As<TwCodeList>()));
            if (status == TW_OK) FUZZ_CHECK(out.As<TwCodeList>()->Count <= 7, "too many system codes");
            break;
        case 1:
            status = Checked(TwSearchServiceCode(idm.data(), in.ConsumeIntegral<std::uint16_t>(), out.As<TwCodeList>()));
            break;
        case 2: {
            auto nodes = FromInput<TwCodeList>(in);
            nodes.Count = Count(in, 8);
            Record nodeList = Record::Of(nodes);
            status = Checked(TwRequestService(idm.data(), nodeList.As<TwCodeList>(), out.As<TwCodeList>()));
            if (status == TW_OK) {
                const std::int32_t n = out.As<TwCodeList>()->Count;
                FUZZ_CHECK(n >= 0 && n <= 8, "key-version count outside the record");
            }
            NeverWritten({&nodeList});
            break;
        }
        case 3: {
            Record mode(sizeof(std::int32_t));
            status = Checked(TwRequestResponse(idm.data(), mode.As<std::int32_t>()));
            WrittenOnlyIf(status == TW_OK, {&mode});
            break;
        }
    }
    WrittenOnlyIf(status == TW_OK, {&out});
    NeverWritten({&idm});
}

void CardAuthentication(FuzzedDataProvider& in, ScriptedReader&) {
    Record idm(kIdm, &in);
    const auto keyId = in.ConsumeIntegral<std::int32_t>();
    Checked(in.ConsumeBool() ? TwCardAuthentication(idm.data(), keyId) : TwCardAuthentication2(idm.data(), keyId));
    NeverWritten({&idm});
}

void Blocks(FuzzedDataProvider& in, ScriptedReader&) {
    Record idm(kIdm, &in);
    auto value = FromInput<TwBlockList>(in);
    value.Count = Count(in, 8);
    Record blocks = Record::Of(value);
    const auto service = in.ConsumeIntegral<std::uint16_t>();
    const auto index = in.ConsumeIntegral<std::int32_t>();
    auto* list = blocks.As<TwBlockList>();
    std::int32_t status = 0;
    bool read = false;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: read = true; status = Checked(TwReadBlock(index, list)); break;
        case 1: status = Checked(TwWriteBlock(index, list)); break;
        case 2: read = true; status = Checked(TwPlainReadBlock(idm.data(), service, list)); break;
        case 3: status = Checked(TwPlainWriteBlock(idm.data(), service, list)); break;
    }
    // A read fills Data and nothing else, and only when it succeeds.
    FUZZ_CHECK(blocks.UnchangedIn(0, offsetof(TwBlockList, Data)), "First or Count written");
    WrittenOnlyIf(read && status == TW_OK, {&blocks});
    NeverWritten({&idm});
}

void SBlocks(FuzzedDataProvider& in, ScriptedReader&) {
    Record idm(kIdm, &in);
    const auto service = in.ConsumeIntegral<std::uint16_t>();
    const auto blockCount = in.ConsumeIntegral<std::int32_t>();
    if (in.ConsumeBool()) {
        // The caller provides room for the blocks it asks for.
        const std::size_t asked = std::min<std::size_t>(blockCount & 0xFF, 8);
        Record out(offsetof(TwSReadBuffer, Data) + 16 * asked);
        const std::int32_t status =
            Checked(TwSReadBlock(idm.data(), service, blockCount, out.As<TwSReadBuffer>()));
        WrittenOnlyIf(status == TW_OK, {&out});
        if (status == TW_OK) {
            const std::int32_t n = out.As<TwSReadBuffer>()->Count;
            FUZZ_CHECK(n >= 0 && static_cast<std::size_t>(n) <= asked, "more blocks than asked for");
        }
    } else {
        const std::int32_t count = Count(in, 8);
        Bytes contents = in.ConsumeBytes<std::uint8_t>(offsetof(TwSReadBuffer, Data) +
                                                       16 * static_cast<std::size_t>(std::clamp(count, 0, 8)));
        contents.resize(offsetof(TwSReadBuffer, Data) + 16 * static_cast<std::size_t>(std::clamp(count, 0, 8)));
        std::memcpy(contents.data(), &count, sizeof count);
        Record in_(contents);
        Checked(TwSWriteBlock(idm.data(), service, blockCount, in_.As<TwSReadBuffer>()));
        NeverWritten({&in_});
    }
    NeverWritten({&idm});
}

// ---- Mifare ----

void MifareSearch(FuzzedDataProvider& in, ScriptedReader&) {
    auto value = FromInput<TwMifCard>(in);
    value.UidSize = in.ConsumeIntegralInRange<std::int32_t>(-1, 5);
    Record card = Record::Of(value);
    const std::int32_t wait = in.ConsumeBool() ? 0 : in.ConsumeIntegral<std::int32_t>();
    const std::int32_t status = Checked(MifFindCard(card.As<TwMifCard>(), wait));
    WrittenOnlyIf(status == TW_OK, {&card});
    if (status == TW_OK) {
        const std::int32_t size = card.As<TwMifCard>()->UidSize;
        FUZZ_CHECK(size >= 0 && size <= 3, "UID size class outside 0..3");
    }
}

void MifareCommands(FuzzedDataProvider& in, ScriptedReader&) {
    const auto block = in.ConsumeIntegral<std::uint8_t>();
    switch (in.ConsumeIntegralInRange(0, 8)) {
        case 0: Checked(MifCardAuthentication(in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>(), block)); break;
        case 1: Checked(MifHalt()); break;
        case 2: {
            Record data(16);
            WrittenOnlyIf(Checked(MifRead(block, data.data())) == TW_OK, {&data});
            break;
        }
        case 3: {
            Record data(16, &in);
            Checked(MifWrite(block, data.data()));
            NeverWritten({&data});
            break;
        }
        case 4: Checked(MifIncrement(block, in.ConsumeIntegral<std::int32_t>())); break;
        case 5: Checked(MifDecrement(block, in.ConsumeIntegral<std::int32_t>())); break;
        case 6: Checked(in.ConsumeBool() ? MifRestore(in.ConsumeIntegral<std::int32_t>())
                                         : MifTransfer(in.ConsumeIntegral<std::int32_t>()));
            break;
        case 7: {
            Record keyA(6, &in), keyB(6, &in);
            Checked(MifSetCardKey(in.ConsumeIntegral<std::uint8_t>(), keyA.data(), keyB.data()));
            NeverWritten({&keyA, &keyB});
            break;
        }
        case 8: {
            // The caller's data buffer holds the length it asks for; MifWrite2 sends 1..16 bytes.
            const std::int32_t length = in.ConsumeIntegralInRange<std::int32_t>(-2, 300);
            if (in.ConsumeBool()) {
                Record asked = Record::Of(length);
                Record data(length < 0 ? 0 : static_cast<std::size_t>(length & 0xFF));
                const std::int32_t status = Checked(MifRead2(block, asked.As<std::int32_t>(), data.data()));
                WrittenOnlyIf(status == TW_OK, {&asked, &data});
                if (status == TW_OK) {
                    FUZZ_CHECK(*asked.As<std::int32_t>() >= 0 &&
                                   static_cast<std::size_t>(*asked.As<std::int32_t>()) <= data.size(),
                               "more bytes than asked for");
                }
            } else {
                Record data((static_cast<std::uint32_t>(length) - 1 & 15) + 1, &in);
                Checked(MifWrite2(block, length, data.data()));
                NeverWritten({&data});
            }
            break;
        }
    }
}

using Call = void (*)(FuzzedDataProvider&, ScriptedReader&);
constexpr Call kCalls[] = {
    Authentications, CardKeys, ServiceKeys, KeyIds, ReaderKeysAndId, Control, PassThrough, Logs,
    Polling, Inquiries, CardAuthentication, Blocks, SBlocks, MifareSearch, MifareCommands,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    ScriptedReader& reader = ScriptedReader::Get();
    reader.Begin(in, static_cast<fuzz_rig::Session>(in.ConsumeIntegralInRange(0, 2)));
    const int calls = in.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < calls; ++i) {
        kCalls[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCalls) - 1)](in, reader);
    }
    reader.End();
    return 0;
}
