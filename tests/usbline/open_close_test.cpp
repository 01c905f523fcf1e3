// Opening and closing a device: the driver calls and their arguments, failures on the way,
// reopening the same object.
#include <gmock/gmock.h>

#include <cstring>
#include <utility>

#include "fake_driver_fixture.h"

namespace usbline_test {
namespace {

using ::testing::ElementsAre;

using OpenCloseTest = FakeDriverTest;


struct ExpectedCall {
    const char* function;
    std::vector<std::pair<int, std::uint64_t>> args;  // argument index, value
};

TEST_F(OpenCloseTest, DeviceOpenMakesTheseDriverCallsInThisOrder) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    FakeFtdiClearCalls();
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();

    const std::vector<ExpectedCall> expected = {
        // read and write access, no sharing, no security, open existing, normal attributes
        // and open by serial number (no overlapped flag on Linux), no template
        {"FT_W32_CreateFile", {{1, 0xC0000000u}, {2, 0}, {3, 0}, {4, 3}, {5, 0x00000081u}, {6, 0}}},
        {"FT_W32_SetCommMask", {{1, d2xx::EV_RXCHAR}}},
        {"FT_W32_SetupComm", {{1, 4096}, {2, 4096}}},
        {"FT_W32_PurgeComm", {{1, 15}}},
        {"FT_W32_GetCommState", {}},
        {"FT_W32_SetCommState", {}},
        {"FT_W32_SetCommTimeouts", {}},
        // the receive thread sleeps until bytes arrive or a modem line changes
        {"FT_SetEventNotification", {{1, d2xx::FT_EVENT_RXCHAR | d2xx::FT_EVENT_MODEM_STATUS}}},
    };
    ASSERT_EQ(calls.size(), expected.size()) << ::testing::PrintToString(Names(calls));
    EXPECT_STREQ(calls[0].text, "SN1");
    const std::uint64_t handle = static_cast<std::uint64_t>(calls[0].result);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].function);
        EXPECT_STREQ(calls[i].function, expected[i].function);
        if (i > 0) {
            EXPECT_EQ(calls[i].args[0], handle);  // every call on the opened handle
        }
        for (const auto& [index, value] : expected[i].args) {
            EXPECT_EQ(calls[i].args[index], value) << "argument " << index;
        }
    }

    d2xx::FTTIMEOUTS timeouts{};
    ASSERT_EQ(calls[6].blockSize, sizeof(timeouts));
    std::memcpy(&timeouts, calls[6].block, sizeof(timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);
    EXPECT_NE(calls[7].args[2], 0u);  // the event
    EXPECT_EQ(calls[7].result, 0);

    FakeFtdiClearCalls();
    EXPECT_EQ(usb.Close(), 0);
    const std::vector<FakeFtdiCall> closing = CallsOfThisThread();
    EXPECT_THAT(Names(closing),
                ElementsAre("FT_W32_SetCommMask", "FT_W32_PurgeComm", "FT_W32_CloseHandle"));
    EXPECT_EQ(closing[0].args[1], 0u);
    EXPECT_EQ(closing[1].args[1], 15u);
    EXPECT_EQ(closing[2].args[0], handle);
}

struct LineCase {
    const char* name;
    COMMPR line;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class SetDcbTest : public FakeDriverTest, public ::testing::WithParamInterface<LineCase> {
protected:
    // A device whose control block differs from every value SetDcb sets, with distinct
    // values in the fields it must keep.
    static d2xx::FTDCB UnusualDcb() {
        d2xx::FTDCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        dcb.BaudRate = 1200;
        dcb.fBinary = 1;
        dcb.fParity = 0;
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 1;
        dcb.fDtrControl = 2;
        dcb.fDsrSensitivity = 1;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        dcb.fRtsControl = 2;
        dcb.fAbortOnError = 1;
        dcb.XonLim = 77;
        dcb.XoffLim = 99;
        dcb.ByteSize = 5;
        dcb.Parity = 4;
        dcb.StopBits = 1;
        dcb.XonChar = 'A';
        dcb.XoffChar = 'B';
        dcb.ErrorChar = '?';
        dcb.EofChar = 0x1A;
        dcb.EvtChar = 0x7E;
        dcb.wReserved1 = 0x5A5A;
        return dcb;
    }

    static d2xx::FTDCB Expected(const d2xx::FTDCB& read, const COMMPR& line) {
        d2xx::FTDCB dcb = read;
        dcb.BaudRate = static_cast<d2xx::DWORD>(line.BaudRate);
        dcb.ByteSize = line.ByteSize;
        dcb.Parity = line.Parity;
        dcb.StopBits = line.StopBits;
        dcb.fParity = 1;
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = 1;
        dcb.fRtsControl = 1;
        return dcb;
    }

    static d2xx::FTDCB LastWrittenDcb() {
        d2xx::FTDCB dcb{};
        for (const FakeFtdiCall& call : CallsOfThisThread()) {
            if (std::string(call.function) == "FT_W32_SetCommState") {
                EXPECT_EQ(call.blockSize, sizeof(dcb));
                std::memcpy(&dcb, call.block, sizeof(dcb));
            }
        }
        return dcb;
    }

    static void ExpectSameDcb(const d2xx::FTDCB& actual, const d2xx::FTDCB& expected) {
        EXPECT_EQ(actual.BaudRate, expected.BaudRate);
        EXPECT_EQ(actual.ByteSize, expected.ByteSize);
        EXPECT_EQ(actual.Parity, expected.Parity);
        EXPECT_EQ(actual.StopBits, expected.StopBits);
        EXPECT_EQ(actual.fParity, 1u);
        EXPECT_EQ(actual.fOutxCtsFlow, 0u);
        EXPECT_EQ(actual.fOutxDsrFlow, 0u);
        EXPECT_EQ(actual.fDtrControl, 1u);
        EXPECT_EQ(actual.fRtsControl, 1u);
        // Every other field as it was read.
        EXPECT_EQ(std::memcmp(&actual, &expected, sizeof(actual)), 0);
    }
};

TEST_P(SetDcbTest, LineParametersAndFixedControlsOverTheBlockAsRead) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    const d2xx::FTDCB read = UnusualDcb();
    ASSERT_EQ(FakeFtdiSetDcb(id, &read, sizeof(read)), 0);
    UsbDll usb;
    FakeFtdiClearCalls();

    ASSERT_EQ(usb.DeviceOpen("SN1", GetParam().line), 0);  // DeviceOpen applies the line
    ExpectSameDcb(LastWrittenDcb(), Expected(read, GetParam().line));

    // SetDcb on its own, over what the device holds now.
    ASSERT_EQ(FakeFtdiSetDcb(id, &read, sizeof(read)), 0);
    FakeFtdiClearCalls();
    EXPECT_EQ(usb.SetDcb(GetParam().line), 0);
    EXPECT_THAT(Names(CallsOfThisThread()),
                ElementsAre("FT_W32_GetCommState", "FT_W32_SetCommState"));
    ExpectSameDcb(LastWrittenDcb(), Expected(read, GetParam().line));
    EXPECT_EQ(FakeFtdiGetDtr(id), 1);  // DTR and RTS enabled by the block
    EXPECT_EQ(FakeFtdiGetRts(id), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SetDcbTest,
    ::testing::Values(LineCase{"Baud115200_8N1", Line(115200, 8, 0, 0)},
                      LineCase{"Baud9600_7E2", Line(9600, 7, 2, 2)},
                      LineCase{"Baud38400_8O1", Line(38400, 8, 1, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenCloseTest, SetDcbFailsWithoutDeviceOrWhenTheDriverRefuses) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    EXPECT_EQ(usb.SetDcb(Line()), -1);  // no device open
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    FakeFtdiFailCall("FT_W32_GetCommState", d2xx::FT_IO_ERROR);
    EXPECT_EQ(usb.SetDcb(Line()), -1);
    FakeFtdiFailCall("FT_W32_GetCommState", 0);
    FakeFtdiFailCall("FT_W32_SetCommState", d2xx::FT_INVALID_BAUD_RATE);
    EXPECT_EQ(usb.SetDcb(Line()), -1);
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(OpenCloseTest, ARefusedLineStillOpensTheDevice) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    FakeFtdiFailCall("FT_W32_SetCommState", d2xx::FT_INVALID_BAUD_RATE);
    UsbDll usb;
    EXPECT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(FakeFtdiIsOpen(id), 1);
    EXPECT_EQ(usb.Close(), 0);
}

class InvalidHandleTest : public FakeDriverTest,
                          public ::testing::WithParamInterface<std::uintptr_t> {};

TEST_P(InvalidHandleTest, EachFormOfTheInvalidHandleIsAFailedOpen) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    FakeFtdiSetInvalidHandleValue(GetParam());
    UsbDll usb;
    FakeFtdiClearCalls();
    EXPECT_EQ(usb.DeviceOpen("NO-SUCH-SERIAL", Line()), -1);
    EXPECT_THAT(Names(CallsOfThisThread()), ElementsAre("FT_W32_CreateFile"));

    // Still closed: nothing to close, no status query on the bad handle.
    FakeFtdiClearCalls();
    EXPECT_EQ(usb.Close(), 0);
    EXPECT_FALSE(usb.isDsr());
    EXPECT_EQ(usb.RxPurge(), 0);
    EXPECT_TRUE(CallsOfThisThread().empty());
}

INSTANTIATE_TEST_SUITE_P(Values, InvalidHandleTest,
                         ::testing::Values(~std::uintptr_t{0}, std::uintptr_t{0xFFFFFFFFu},
                                           std::uintptr_t{0}));

TEST_F(OpenCloseTest, CloseThenDeviceOpenOpensTheDeviceAgain) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(usb.Close(), 0);
    EXPECT_EQ(FakeFtdiIsOpen(id), 0);
    EXPECT_EQ(usb.Close(), 0);  // closing a closed object is fine

    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(FakeFtdiIsOpen(id), 1);
    WrittenBytes written;
    FakeFtdiSetPeer(id, &WrittenBytes::Peer, &written);
    const unsigned char ping[] = {0x00, 0x00, 0xFF};
    EXPECT_EQ(usb.Write(ping, sizeof(ping)), 0);
    EXPECT_THAT(written.Bytes(), ElementsAre(0x00, 0x00, 0xFF));
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(OpenCloseTest, DeviceOpenOnAnOpenObjectClosesThePreviousDeviceFirst) {
    const int first = FakeFtdiAddDevice("QT58-V reader", "SN1", 1);
    const int second = FakeFtdiAddDevice("QT58-V reader", "SN2", 2);
    UsbDll usb;
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    FakeFtdiClearCalls();
    ASSERT_EQ(usb.DeviceOpen("SN2", Line()), 0);
    EXPECT_EQ(FakeFtdiIsOpen(first), 0);
    EXPECT_EQ(FakeFtdiIsOpen(second), 1);

    const std::vector<FakeFtdiCall> calls = CallsOfThisThread();
    ASSERT_GE(calls.size(), 4u);
    const std::vector<std::string> names = Names(calls);
    EXPECT_THAT(std::vector<std::string>(names.begin(), names.begin() + 4),
                ElementsAre("FT_W32_SetCommMask", "FT_W32_PurgeComm", "FT_W32_CloseHandle",
                            "FT_W32_CreateFile"));
    EXPECT_EQ(calls[0].device, first);
    EXPECT_EQ(calls[0].args[1], 0u);
    EXPECT_EQ(calls[1].args[1], 15u);
    EXPECT_STREQ(calls[3].text, "SN2");
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(OpenCloseTest, AFailureAfterCreateFileLeavesTheDeviceForCloseToRelease) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    FakeFtdiFailCall("FT_W32_SetupComm", d2xx::FT_IO_ERROR);
    FakeFtdiClearCalls();
    EXPECT_EQ(usb.DeviceOpen("SN1", Line()), -1);
    EXPECT_THAT(Names(CallsOfThisThread()),
                ElementsAre("FT_W32_CreateFile", "FT_W32_SetCommMask", "FT_W32_SetupComm"));
    EXPECT_EQ(FakeFtdiIsOpen(id), 1);

    // No receive thread was started: every recorded call is this thread's.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(RecordedCalls().size(), CallsOfThisThread().size());

    EXPECT_EQ(usb.Close(), 0);
    EXPECT_EQ(FakeFtdiIsOpen(id), 0);
}

TEST_F(OpenCloseTest, CloseOfAnUnpluggedDeviceFailsButReleasesTheHandle) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll usb;
    ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    FakeFtdiRemoveDevice(id);
    FakeFtdiClearCalls();
    EXPECT_EQ(usb.Close(), -1);
    EXPECT_EQ(CountNamed(CallsOfThisThread(), "FT_W32_CloseHandle"), 1u);
    EXPECT_EQ(FakeFtdiIsOpen(id), 0);

    // Plugged in again: the same object opens it.
    const int again = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    EXPECT_EQ(usb.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(FakeFtdiIsOpen(again), 1);
    EXPECT_EQ(usb.Close(), 0);
}

TEST_F(OpenCloseTest, TheDestructorClosesADeviceStillOpen) {
    const int id = FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    {
        UsbDll usb;
        ASSERT_EQ(usb.DeviceOpen("SN1", Line()), 0);
        EXPECT_EQ(FakeFtdiIsOpen(id), 1);
    }
    EXPECT_EQ(FakeFtdiIsOpen(id), 0);
    UsbDll other;  // and the device can be opened again
    EXPECT_EQ(other.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(other.Close(), 0);
}

TEST_F(OpenCloseTest, ASecondObjectCannotOpenADeviceThatIsInUse) {
    FakeFtdiAddDevice("QT58-V reader", "SN1", 0x1011);
    UsbDll first;
    UsbDll second;
    ASSERT_EQ(first.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(second.DeviceOpen("SN1", Line()), -1);
    EXPECT_EQ(second.DeviceOpen(nullptr, Line()), -1);
    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(second.DeviceOpen("SN1", Line()), 0);
    EXPECT_EQ(second.Close(), 0);
}

}  // namespace
}  // namespace usbline_test
