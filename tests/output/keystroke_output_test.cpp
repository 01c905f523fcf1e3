// The keys typed for a card read, seen through the recording injector.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "core/keystroke_output.h"
#include "core/wait_pumping.h"
#include "platform/clock.h"
#include "platform/message_pump.h"
#include "platform/recording_key_injector.h"
#include "platform/virtual_keys.h"

#include "card_text.h"

namespace {

using tapwedge::CardDataRecord;
using tapwedge::CardIdRecord;
using tapwedge::KeystrokeContext;
using tapwedge::OutputItems;
using tapwedge::OutputOptions;

// Key events written as "vk+" (down) and "vk-" (up), virtual-key in hex.
std::string Describe(const std::vector<platform::KeyboardInput>& records) {
    std::string out;
    char buf[8];
    for (const auto& r : records) {
        std::snprintf(buf, sizeof buf, "%02X%c ", r.VirtualKey, r.Flags == platform::kKeyUp ? '-' : '+');
        out += buf;
    }
    return out;
}

// Expected keys, built from the same notation: P(x) a press, S(x) Shift + press of x + Shift.
std::string P(int vk) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X+ %02X- ", vk, vk);
    return buf;
}
std::string S(int vk) { return "10+ " + P(vk) + P(0x10); }

struct OutputCase {
    const char* name;
    std::string id;
    std::string data;
    // item: enabled, separator, length
    int enabled[4];
    int separator[4];
    int length1, length2;
    int caseSwitch;
    int replaceKey;
    std::string expected;
};

const int kNone = 2;  // separator that types nothing

const OutputCase kCases[] = {
    {"CaseSwitchOff", "", "aB1!", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 0,
     P(0x41) + S(0x42) + P(0x31) + S(0x31)},
    {"CaseSwitchOn", "", "aB1!", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 1, 0,
     S(0x41) + P(0x42) + P(0x31) + S(0x31)},
    {"CommaWithReplaceKey0TypesNothing", "", ",", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 0, ""},
    {"CommaWithReplaceKey1TypesSpace", "", ",", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 1, P(0x20)},
    {"CommaWithReplaceKey2TypesAtKey", "", ",", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 2, P(0xC0)},
    {"CommaWithReplaceKey3TypesKeypadDecimal", "", ",", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 3,
     P(0x6E)},
    {"ReplaceKeyOutOfRangeTypesNothing", "", ",~", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 9, ""},
    {"EveryOtherByteIsReplaced", "", std::string(" \t,<=>?[\\]^_`{|}~\x7f\x80\xb1\xff", 21),
     {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0, 1, [] {
         std::string s;
         for (int i = 0; i < 21; ++i) s += P(0x20);
         return s;
     }()},
    {"SymbolsAndJisShiftedDigits", "", ":;@*+-./\"#$%&'()", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 0,
     0,
     P(0xBA) + P(0xBB) + P(0xC0) + P(0x6A) + P(0x6B) + P(0x6D) + P(0x6E) + P(0x6F) + S(0x32) +
         S(0x33) + S(0x34) + S(0x35) + S(0x36) + S(0x37) + S(0x38) + S(0x39)},
    {"DigitsAndLettersAreTheirOwnCodes", "", "09AZ", {0, 1, 0, 0}, {0, kNone, 0, 0}, 0, 0, 1, 0,
     P(0x30) + P(0x39) + P(0x41) + P(0x5A)},
    {"SeparatorsTabReturnAndNone", "1", "2", {1, 1, 0, 1}, {0, 1, 0, 7}, 0, 0, 0, 0,
     P(0x31) + P(0x09) + P(0x32) + P(0x0D) + P(0x31)},
    {"EmptyItemTypesNoSeparator", "", "5", {1, 1, 0, 0}, {0, 1, 0, 0}, 0, 0, 0, 0,
     P(0x35) + P(0x0D)},
    {"Item1LengthZeroTypesWholeDataAndNotItem2", "", "123456", {0, 1, 1, 0}, {0, 1, 0, 0}, 0, 3, 0,
     0, P(0x31) + P(0x32) + P(0x33) + P(0x34) + P(0x35) + P(0x36) + P(0x0D)},
    {"Item1LengthNegativeTypesWholeData", "", "12", {0, 1, 1, 0}, {0, 0, 0, 0}, -5, 3, 0, 0,
     P(0x31) + P(0x32) + P(0x09)},
    {"Item2NotTypedWhenItsLengthIsZero", "", "1234", {0, 1, 1, 0}, {0, 0, 1, 0}, 2, 0, 0, 0,
     P(0x31) + P(0x32) + P(0x09)},
    {"TwoAreas", "", "12345", {0, 1, 1, 0}, {0, 0, 1, 0}, 2, 3, 0, 0,
     P(0x31) + P(0x32) + P(0x09) + P(0x33) + P(0x34) + P(0x35) + P(0x0D)},
    {"Item1DisabledItem2TypesCharacters5To10", "", "ABCDEFGHIJKL", {0, 0, 1, 0}, {0, 0, kNone, 0},
     4, 6, 1, 0, P(0x45) + P(0x46) + P(0x47) + P(0x48) + P(0x49) + P(0x4A)},
    {"AreaCutShortAtTheEndOfTheData", "", "123", {0, 1, 1, 0}, {0, 0, 1, 0}, 2, 6, 0, 0,
     P(0x31) + P(0x32) + P(0x09) + P(0x33) + P(0x0D)},
    {"AreaPastTheEndTypesNothingNotEvenItsSeparator", "", "12", {0, 1, 1, 0}, {0, 0, 1, 0}, 2, 6, 0,
     0, P(0x31) + P(0x32) + P(0x09)},
    {"IdBeforeAndAfterTheData", "AB", "7", {1, 1, 0, 1}, {0, 0, 0, 1}, 0, 0, 1, 0,
     P(0x41) + P(0x42) + P(0x09) + P(0x37) + P(0x09) + P(0x41) + P(0x42) + P(0x0D)},
    {"NothingEnabledTypesNothing", "AB", "7", {0, 0, 0, 0}, {0, 0, 0, 0}, 0, 0, 0, 0, ""},
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class TypeOutputItemsTable : public testing::TestWithParam<OutputCase> {};

TEST_P(TypeOutputItemsTable, SendsTheKeysOfTheLayout) {
    const OutputCase& c = GetParam();
    OutputItems items;
    for (int i = 0; i < 4; ++i) {
        items[i].Enabled = static_cast<std::uint8_t>(c.enabled[i]);
        items[i].Separator = c.separator[i];
    }
    items[1].Length = c.length1;
    items[2].Length = c.length2;
    OutputOptions options;
    options.CaseSwitch = static_cast<std::uint8_t>(c.caseSwitch);
    options.ReplaceKey = static_cast<std::int8_t>(c.replaceKey);
    platform::RecordingKeyInjector injector;
    tapwedge::TypeOutputItems(KeystrokeContext{items, options, &injector}, IdText(c.id),
                              DataText(c.data));
    EXPECT_EQ(Describe(injector.Records), c.expected);
    for (const auto& r : injector.Records) {
        EXPECT_EQ(r.Type, 1u);
        EXPECT_EQ(r.Time, 0u);
        EXPECT_EQ(r.ScanCode, platform::MapVirtualKeyToScanCode(static_cast<std::uint8_t>(r.VirtualKey)));
        EXPECT_NE(r.ScanCode, 0) << "virtual key " << r.VirtualKey << " has no key";
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, TypeOutputItemsTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SendKey, BuildsDownAndUpRecordsWithTheMappedKey) {
    OutputItems items;
    OutputOptions options;
    platform::RecordingKeyInjector injector;
    const KeystrokeContext context{items, options, &injector};
    tapwedge::SendKey(context, platform::vk::Colon, 0);
    tapwedge::SendKey(context, platform::vk::Shift, 1);
    ASSERT_EQ(injector.Records.size(), 3u);
    // ":" is the JIS key right of ";", which sits where "'" is on a US keyboard.
    EXPECT_EQ(injector.Records[0].VirtualKey, 0xBA);
    EXPECT_EQ(injector.Records[0].ScanCode, KEY_APOSTROPHE);
    EXPECT_EQ(injector.Records[0].Flags, 0u);
    EXPECT_EQ(injector.Records[1].VirtualKey, 0xBA);
    EXPECT_EQ(injector.Records[1].ScanCode, KEY_APOSTROPHE);
    EXPECT_EQ(injector.Records[1].Flags, 2u);
    // Held down: no key up.
    EXPECT_EQ(injector.Records[2].VirtualKey, 0x10);
    EXPECT_EQ(injector.Records[2].ScanCode, KEY_LEFTSHIFT);
    EXPECT_EQ(injector.Records[2].Flags, 0u);
}

TEST(VirtualKeys, FollowTheJapaneseLayout) {
    using platform::MapVirtualKeyToScanCode;
    EXPECT_EQ(MapVirtualKeyToScanCode(0xBB), KEY_SEMICOLON);  // right of L
    EXPECT_EQ(MapVirtualKeyToScanCode(0xC0), KEY_LEFTBRACE);  // right of P
    EXPECT_EQ(MapVirtualKeyToScanCode(0x6E), KEY_KPDOT);
    EXPECT_EQ(MapVirtualKeyToScanCode(0x6F), KEY_KPSLASH);
    EXPECT_EQ(MapVirtualKeyToScanCode('0'), KEY_0);
    EXPECT_EQ(MapVirtualKeyToScanCode('1'), KEY_1);
    EXPECT_EQ(MapVirtualKeyToScanCode('Q'), KEY_Q);
    EXPECT_EQ(MapVirtualKeyToScanCode(0x09), KEY_TAB);
    EXPECT_EQ(MapVirtualKeyToScanCode(0x0D), KEY_ENTER);
    EXPECT_EQ(MapVirtualKeyToScanCode(0xFF), 0);
}

TEST(SendKey, WithoutAnInjectorDoesNothing) {
    OutputItems items = OutputItems::Defaults();
    OutputOptions options;
    options.WaitTime = 1000000;  // would hang if it waited
    tapwedge::TypeOutputItems(KeystrokeContext{items, options, nullptr}, IdText("0123"),
                              DataText("45"));
}

TEST(TypeOutputItems, NeverReadsPastTheRecords) {
    OutputItems items;
    items[0].Enabled = 1;
    items[1].Enabled = 1;
    items[1].Length = 1 << 30;
    items[2].Enabled = 1;
    items[2].Length = 0x7FFFFFFF;
    OutputOptions options;
    options.ReplaceKey = 1;
    CardIdRecord id;
    id.Length = 1000;
    CardDataRecord data;
    data.Length = 100000;
    platform::RecordingKeyInjector injector;
    tapwedge::TypeOutputItems(KeystrokeContext{items, options, &injector}, id, data);
    // 20 ID bytes, TAB, 260 data bytes, TAB: each one press.
    EXPECT_EQ(injector.Records.size(), 2u * (20 + 1 + 260 + 1));
}

// A clock that only the message pump moves, so that no test depends on real time.
std::atomic<std::uint32_t> g_ticks{0};
std::uint32_t ScriptedTicks() { return g_ticks.load(); }

class ScriptedClock : public testing::Test {
protected:
    void SetUp() override { platform::SetTickSource(ScriptedTicks); }
    void TearDown() override {
        platform::SetMessagePump(nullptr);
        platform::SetTickSource(nullptr);
    }
};

using WaitPumpingTest = ScriptedClock;

TEST_F(WaitPumpingTest, PumpsUntilTheTimeIsUpAndReturnsTheElapsedTicks) {
    g_ticks = 0xFFFFFFF0u;  // across the wrap of the tick count
    int pumps = 0;
    platform::SetMessagePump([&] {
        ++pumps;
        g_ticks += 7;
    });
    EXPECT_EQ(tapwedge::WaitPumping(50), 56);
    EXPECT_EQ(pumps, 8);
}

TEST_F(WaitPumpingTest, ZeroOrLessReturnsAtOnce) {
    int pumps = 0;
    platform::SetMessagePump([&] { ++pumps; });
    EXPECT_EQ(tapwedge::WaitPumping(0), 0);
    EXPECT_EQ(tapwedge::WaitPumping(-5), 0);
    EXPECT_EQ(pumps, 0);
}

using KeyWaits = ScriptedClock;

TEST_F(KeyWaits, EveryKeyIsFollowedByAWaitThatRunsMessages) {
    g_ticks = 1000;
    platform::RecordingKeyInjector injector;
    std::vector<std::size_t> keysSeenByPump;  // what the "tray icon" saw while it ran
    platform::SetMessagePump([&] {
        keysSeenByPump.push_back(injector.Records.size());
        g_ticks += 10;
    });
    OutputItems items;
    items[1].Enabled = 1;
    items[1].Separator = 0;
    OutputOptions options;
    options.WaitTime = 50;
    tapwedge::TypeOutputItems(KeystrokeContext{items, options, &injector}, IdText(""),
                              DataText("aB"));
    // a: one press; B: Shift down, B, Shift; TAB: one press. Five SendKey calls, five waits.
    ASSERT_EQ(Describe(injector.Records), P(0x41) + S(0x42) + P(0x09));
    EXPECT_EQ(g_ticks.load(), 1000u + 5 * 50);
    ASSERT_EQ(keysSeenByPump.size(), 25u);
    const std::size_t afterEachKey[5] = {2, 3, 5, 7, 9};
    for (int wait = 0; wait < 5; ++wait)
        for (int p = 0; p < 5; ++p)
            EXPECT_EQ(keysSeenByPump[wait * 5 + p], afterEachKey[wait]) << wait << "/" << p;
}

}  // namespace
