// End to end: the XTest injector types into a real X client on a private Xvfb server with the
// Japanese layout, with NumLock on and off.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/keystroke_output.h"
#include "platform/key_injectors.h"
#include "xvfb_display.h"

namespace {

using tapwedge::CardDataRecord;
using tapwedge::CardIdRecord;
using tapwedge::KeystrokeContext;
using tapwedge::OutputItems;
using tapwedge::OutputOptions;
using tapwedge_test::XKeyRecorder;
using tapwedge_test::XvfbDisplay;

struct TypedCase {
    const char* name;
    std::string id;
    std::string data;
    int caseSwitch;
    int replaceKey;
    std::string expected;  // what the window receives: ID, TAB, data, RETURN
};

const TypedCase kTexts[] = {
    {"HexIdAndHexData", "04A1B2C3D4E5F601", "0123456789ABCDEF", 0, 0,
     "04A1B2C3D4E5F601\t0123456789ABCDEF\r"},
    {"LowerCaseWithCaseSwitch", "0a1b", "abcdefXYZ", 1, 0, "0A1B\tABCDEFxyz\r"},
    {"LowerCaseWithoutCaseSwitch", "0a1b", "abcdefXYZ", 0, 0, "0a1b\tabcdefXYZ\r"},
    {"JisSymbols", "", ":;@*+-./", 0, 0, ":;@*+-./\r"},
    {"JisShiftedDigits", "", "!\"#$%&'()", 0, 0, "!\"#$%&'()\r"},
    {"ReplacementSpace", "", "1,2", 0, 1, "1 2\r"},
    {"ReplacementAtKey", "", "1,2", 0, 2, "1@2\r"},
    {"ReplacementDecimal", "", "1,2", 0, 3, "1.2\r"},
};

class XTestTyping : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb_.Ok()) << xvfb_.Error();
        recorder_ = std::make_unique<XKeyRecorder>(xvfb_.Name());
        ASSERT_TRUE(recorder_->Ok());
        recorder_->SetNumLock(GetParam());
        ASSERT_EQ(recorder_->NumLockOn(), GetParam());
        std::string error;
        injector_ = platform::OpenXTestKeyInjector(xvfb_.Name().c_str(), &error);
        ASSERT_NE(injector_, nullptr) << error;
    }

    XvfbDisplay xvfb_;
    std::unique_ptr<XKeyRecorder> recorder_;
    std::unique_ptr<platform::KeyInjector> injector_;
};

TEST_P(XTestTyping, TheWindowReceivesExactlyTheText) {
    OutputItems items;
    items[0].Enabled = 1;
    items[0].Separator = 0;  // TAB
    items[1].Enabled = 1;
    items[1].Separator = 1;  // RETURN
    for (const TypedCase& c : kTexts) {
        OutputOptions options;
        options.CaseSwitch = static_cast<std::uint8_t>(c.caseSwitch);
        options.ReplaceKey = static_cast<std::int8_t>(c.replaceKey);
        CardIdRecord id;
        id.Length = static_cast<std::int32_t>(c.id.size());
        std::memcpy(id.Bytes, c.id.data(), c.id.size());
        CardDataRecord data;
        data.Length = static_cast<std::int32_t>(c.data.size());
        std::memcpy(data.Bytes, c.data.data(), c.data.size());
        tapwedge::TypeOutputItems(KeystrokeContext{items, options, injector_.get()}, id, data);
        EXPECT_EQ(recorder_->Receive(c.expected.size()), c.expected) << c.name;
        EXPECT_EQ(recorder_->NumLockOn(), GetParam()) << c.name << ": NumLock changed";
    }
}

TEST_P(XTestTyping, AHeldKeyIsReleasedWhenTheInjectorCloses) {
    OutputItems items;
    OutputOptions options;
    tapwedge::SendKey(KeystrokeContext{items, options, injector_.get()}, 0x10, 1);  // Shift held
    injector_.reset();
    std::string error;
    injector_ = platform::OpenXTestKeyInjector(xvfb_.Name().c_str(), &error);
    ASSERT_NE(injector_, nullptr) << error;
    tapwedge::SendKey(KeystrokeContext{items, options, injector_.get()}, 'A', 0);
    EXPECT_EQ(recorder_->Receive(1), "a");
}

INSTANTIATE_TEST_SUITE_P(NumLock, XTestTyping, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

TEST(KeyInjectorChoice, PicksXTestWhenThereIsADisplay) {
    XvfbDisplay xvfb;
    ASSERT_TRUE(xvfb.Ok()) << xvfb.Error();
    const auto choice = platform::ChooseKeyInjector(xvfb.Name().c_str(), "/nonexistent/uinput");
    ASSERT_NE(choice.Injector, nullptr);
    EXPECT_EQ(choice.Report, "XTest on " + xvfb.Name());
}

TEST(KeyInjectorChoice, SaysOnceWhyThereIsNone) {
    testing::internal::CaptureStderr();
    const auto choice = platform::ChooseKeyInjector(":999", "/nonexistent/uinput");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(choice.Injector, nullptr);
    EXPECT_NE(choice.Report.find("Keyboard output is off"), std::string::npos) << choice.Report;
    EXPECT_NE(choice.Report.find(":999"), std::string::npos) << choice.Report;
    EXPECT_NE(choice.Report.find("/nonexistent/uinput"), std::string::npos) << choice.Report;
    EXPECT_EQ(said, "tapwedge: " + choice.Report + "\n");
}

}  // namespace
