// Writing, the modem lines, DTR control and purging on an open device.
#include <gmock/gmock.h>

#include "fake_driver_fixture.h"

namespace usbline_test {
namespace {

using ::testing::ElementsAre;

class LineIoTest : public FakeDriverTest {
protected:
    void SetUp() override {
        FakeDriverTest::SetUp();
        device_ = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
        FakeFtdiSetPeer(device_, &WrittenBytes::Peer, &written_);
        usb_ = std::make_unique<UsbDll>();
    }
    void TearDown() override {
        usb_.reset();
        FakeDriverTest::TearDown();
    }
    void OpenDevice() { ASSERT_EQ(usb_->DeviceOpen("SN1", Line()), 0); }

    int device_ = -1;
    WrittenBytes written_;
    std::unique_ptr<UsbDll> usb_;
};

TEST_F(LineIoTest, WriteRefusesMoreThan4096BytesBeforeAnyDriverCall) {
    OpenDevice();
    std::vector<unsigned char> data(4097);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);

    FakeFtdiClearCalls();
    EXPECT_EQ(usb_->Write(data.data(), 4097), -1);
    EXPECT_TRUE(CallsOfThisThread().empty());
    EXPECT_TRUE(written_.Bytes().empty());

    EXPECT_EQ(usb_->Write(data.data(), 4096), 0);
    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    EXPECT_THAT(Names(calls), ElementsAre("FT_W32_GetCommModemStatus", "FT_W32_ClearCommError",
                                          "FT_W32_WriteFile"));
    EXPECT_EQ(calls.back().args[2], 4096u);
    EXPECT_EQ(calls.back().args[4], 0u);  // no overlapped record
    EXPECT_EQ(written_.Bytes(), std::vector<unsigned char>(data.begin(), data.begin() + 4096));
}

TEST_F(LineIoTest, AnEmptyWriteStillGoesToTheDriver) {
    OpenDevice();
    const unsigned char none[1] = {};
    FakeFtdiClearCalls();
    EXPECT_EQ(usb_->Write(none, 0), 0);
    EXPECT_EQ(CountNamed(CallsOfThisThread(), "FT_W32_WriteFile"), 1u);
}

TEST_F(LineIoTest, WriteFailsWithoutDeviceAndWhenADriverCallFails) {
    const unsigned char byte[] = {0x55};
    EXPECT_EQ(usb_->Write(byte, 1), -1);  // no device open
    OpenDevice();
    for (const char* function :
         {"FT_W32_GetCommModemStatus", "FT_W32_ClearCommError", "FT_W32_WriteFile"}) {
        SCOPED_TRACE(function);
        FakeFtdiFailCall(function, d2xx::FT_IO_ERROR);
        EXPECT_EQ(usb_->Write(byte, 1), -1);
        FakeFtdiFailCall(function, 0);
    }
    EXPECT_TRUE(written_.Bytes().empty());
    EXPECT_EQ(usb_->Write(byte, 1), 0);
    EXPECT_THAT(written_.Bytes(), ElementsAre(0x55));
}

struct DtrCase {
    int value;
    std::uint64_t function;
    int dtrAfter;
};

void PrintTo(const DtrCase& c, std::ostream* os) { *os << "ControlDtr(" << c.value << ")"; }

class ControlDtrTest : public LineIoTest, public ::testing::WithParamInterface<DtrCase> {};

TEST_P(ControlDtrTest, OneClearsDtrAnyOtherValueSetsIt) {
    OpenDevice();
    // Start from the opposite line state, so that the call visibly changes it.
    ASSERT_TRUE(usb_->ControlDtr(GetParam().dtrAfter ? 1 : 0));
    FakeFtdiClearCalls();
    EXPECT_TRUE(usb_->ControlDtr(GetParam().value));
    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_THAT(Names(calls), ElementsAre("FT_W32_EscapeCommFunction"));
    EXPECT_EQ(calls[0].args[1], GetParam().function);
    EXPECT_EQ(FakeFtdiGetDtr(device_), GetParam().dtrAfter);
}

INSTANTIATE_TEST_SUITE_P(Values, ControlDtrTest,
                         ::testing::Values(DtrCase{1, d2xx::CLRDTR, 0}, DtrCase{0, d2xx::SETDTR, 1},
                                           DtrCase{2, d2xx::SETDTR, 1}));

TEST_F(LineIoTest, ControlDtrIsFalseWithoutDeviceOrWhenTheDriverRefuses) {
    EXPECT_FALSE(usb_->ControlDtr(1));
    OpenDevice();
    FakeFtdiFailCall("FT_W32_EscapeCommFunction", d2xx::FT_IO_ERROR);
    EXPECT_FALSE(usb_->ControlDtr(0));
}

struct ModemCase {
    std::uint32_t status;
    bool dsr;
    bool cts;
};

void PrintTo(const ModemCase& c, std::ostream* os) { *os << "modem status " << c.status; }

class ModemLinesTest : public LineIoTest, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(ModemLinesTest, DsrIsBit0x20AndCtsBit0x10OfTheModemStatus) {
    OpenDevice();
    FakeFtdiSetModemStatus(device_, GetParam().status);
    EXPECT_EQ(usb_->isDsr(), GetParam().dsr);
    EXPECT_EQ(usb_->isCts(), GetParam().cts);
}

INSTANTIATE_TEST_SUITE_P(Status, ModemLinesTest,
                         ::testing::Values(ModemCase{0x00, false, false},
                                           ModemCase{0x20, true, false},
                                           ModemCase{0x10, false, true},
                                           ModemCase{0xF0, true, true},
                                           ModemCase{0xC0, false, false}));

TEST_F(LineIoTest, ModemLinesAreFalseWithoutDeviceOrWhenTheQueryFails) {
    FakeFtdiSetModemStatus(device_, 0x30);
    EXPECT_FALSE(usb_->isDsr());
    EXPECT_FALSE(usb_->isCts());
    OpenDevice();
    FakeFtdiFailCall("FT_W32_GetCommModemStatus", d2xx::FT_IO_ERROR);
    EXPECT_FALSE(usb_->isDsr());
    EXPECT_FALSE(usb_->isCts());
}

TEST_F(LineIoTest, RxPurgeWithoutDeviceIsZeroAndTouchesNoDriver) {
    FakeFtdiClearCalls();
    EXPECT_EQ(usb_->RxPurge(), 0);
    EXPECT_TRUE(CallsOfThisThread().empty());
}

TEST_F(LineIoTest, RxPurgeDropsWhatIsWaitingWithTheReceiveMask) {
    OpenDevice();  // no OnReceive: received bytes stay queued
    Push(device_, "stale");
    FakeFtdiClearCalls();
    EXPECT_EQ(usb_->RxPurge(), 0);
    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_THAT(Names(calls), ElementsAre("FT_W32_PurgeComm"));
    EXPECT_EQ(calls[0].args[1], 10u);  // receive abort and receive clear
    EXPECT_EQ(FakeFtdiReceiveQueued(device_), 0u);

    FakeFtdiFailCall("FT_W32_PurgeComm", d2xx::FT_IO_ERROR);
    EXPECT_EQ(usb_->RxPurge(), -1);
}

TEST_F(LineIoTest, ReadWithoutDeviceIsMinusOne) {
    unsigned char buffer[4];
    EXPECT_EQ(usb_->Read(buffer, sizeof(buffer)), -1);
}

}  // namespace
}  // namespace usbline_test
