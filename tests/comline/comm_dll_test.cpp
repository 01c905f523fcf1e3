#include "comline/comm_dll.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/clock.h"
#include "platform/exception_handler.h"
#include "pty_port.h"

namespace {

COMMPR Line(std::uint8_t port, std::int32_t baud = 19200) {
    COMMPR line{};
    line.Port = port;
    line.BaudRate = baud;
    line.ByteSize = 8;
    return line;
}

// Collects what OnReceive reports; reads at most `readLimit` bytes per call.
struct Collector {
    std::mutex mutex;
    std::vector<std::uint8_t> bytes;
    std::vector<void*> senders;
    std::vector<std::uint32_t> counts;
    unsigned long readLimit = 300;
    bool throwOnce = false;

    static void OnReceive(void* object, void* sender, std::uint32_t count) {
        auto* self = static_cast<Collector*>(object);
        unsigned char buffer[300];
        const int n = static_cast<CommDll*>(sender)->Read(buffer, std::min(self->readLimit, 300ul));
        std::lock_guard<std::mutex> lock(self->mutex);
        self->senders.push_back(sender);
        self->counts.push_back(count);
        if (n > 0) self->bytes.insert(self->bytes.end(), buffer, buffer + n);
        if (self->throwOnce) {
            self->throwOnce = false;
            throw std::runtime_error("receiver failed");
        }
    }

    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex);
        return bytes.size();
    }
    bool WaitFor(std::size_t size, int ms = 2000) {
        for (int i = 0; i < ms && Size() < size; ++i) platform::SleepMs(1);
        return Size() >= size;
    }
};

TEST(CommDll, OpensTheBoundTtyRaw8N1AtTheRequestedSpeed) {
    PtyPort pty(3);
    CommDll line(nullptr);
    ASSERT_EQ(line.Open(Line(3, 19200)), 0);
    EXPECT_TRUE(line.IsOpen());

    const int probe = open(pty.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(probe, &settings), 0);
    close(probe);
    EXPECT_EQ(cfgetispeed(&settings), B19200);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(settings.c_cflag & CLOCAL);
    EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(settings.c_oflag & OPOST);
    EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP));
}

TEST(CommDll, WritesTheWholeBufferUnchanged) {
    PtyPort pty(3);
    CommDll line;
    ASSERT_EQ(line.Open(Line(3)), 0);
    std::vector<std::uint8_t> frame(262);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7);
    frame[10] = '\n';  // no line-end translation
    frame[11] = '\r';
    frame[12] = 0x11;  // nor flow-control characters
    EXPECT_EQ(line.Write(frame.data(), frame.size()), 0);
    EXPECT_EQ(pty.Receive(frame.size()), frame);
}

TEST(CommDll, ReportsArrivingBytesToOnReceiveWithItselfAndACount) {
    PtyPort pty(3);
    CommDll line;
    Collector collector;
    line.OnReceive = ReceiveEvent{&collector, &Collector::OnReceive};
    ASSERT_EQ(line.Open(Line(3)), 0);
    const std::vector<std::uint8_t> sent = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x0A, 0x0D, 0x13};
    pty.Send(sent);
    ASSERT_TRUE(collector.WaitFor(sent.size()));
    line.Close();
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_EQ(collector.bytes, sent);
    for (std::size_t i = 0; i < collector.counts.size(); ++i) {
        EXPECT_GT(collector.counts[i], 0u);
        EXPECT_EQ(collector.senders[i], &line);
    }
}

TEST(CommDll, ReadCopiesAtMostTheLengthAndTheRestIsReportedAgain) {
    PtyPort pty(3);
    CommDll line;
    Collector collector;
    collector.readLimit = 3;
    line.OnReceive = ReceiveEvent{&collector, &Collector::OnReceive};
    ASSERT_EQ(line.Open(Line(3)), 0);
    std::vector<std::uint8_t> sent(20);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i + 1);
    pty.Send(sent);
    ASSERT_TRUE(collector.WaitFor(sent.size()));
    line.Close();
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_EQ(collector.bytes, sent);
    EXPECT_GE(collector.counts.size(), 7u);  // 20 bytes, 3 at a time
}

TEST(CommDll, AnExceptionInOnReceiveIsReportedAndDeliveryGoesOn) {
    std::atomic<int> reported{0};
    platform::SetExceptionHandler([&](void*, std::exception_ptr) { ++reported; });
    {
        PtyPort pty(3);
        CommDll line;
        Collector collector;
        collector.throwOnce = true;
        line.OnReceive = ReceiveEvent{&collector, &Collector::OnReceive};
        ASSERT_EQ(line.Open(Line(3)), 0);
        pty.Send({1, 2, 3});
        ASSERT_TRUE(collector.WaitFor(3));
        for (int i = 0; i < 1000 && reported.load() == 0; ++i) platform::SleepMs(1);
        pty.Send({4, 5});
        EXPECT_TRUE(collector.WaitFor(5));
        line.Close();
    }
    platform::SetExceptionHandler(nullptr);
    EXPECT_EQ(reported.load(), 1);
}

TEST(CommDll, NothingIsReportedAfterCloseAndTheObjectOpensAgain) {
    PtyPort pty(3);
    CommDll line;
    Collector collector;
    line.OnReceive = ReceiveEvent{&collector, &Collector::OnReceive};
    ASSERT_EQ(line.Open(Line(3)), 0);
    pty.Send({1});
    ASSERT_TRUE(collector.WaitFor(1));
    EXPECT_EQ(line.Close(), 0);
    EXPECT_FALSE(line.IsOpen());
    const std::size_t calls = collector.counts.size();
    pty.Send({2, 3});
    platform::SleepMs(50);
    {
        std::lock_guard<std::mutex> lock(collector.mutex);
        EXPECT_EQ(collector.counts.size(), calls);
    }

    ASSERT_EQ(line.Open(Line(3, 115200)), 0);  // bytes sent while closed are not delivered
    pty.Send({4});
    ASSERT_TRUE(collector.WaitFor(2));
    line.Close();
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_EQ(collector.bytes, (std::vector<std::uint8_t>{1, 4}));
}

TEST(CommDll, UnassignedOnReceiveLeavesTheBytesQueued) {
    PtyPort pty(3);
    CommDll line;
    ASSERT_EQ(line.Open(Line(3)), 0);
    pty.Send({9, 8, 7});
    platform::SleepMs(30);
    unsigned char buffer[8];
    EXPECT_EQ(line.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(buffer[0], 9);
}

TEST(CommDll, NeverOpenedObjectIsHarmless) {
    CommDll line(nullptr);
    const unsigned char ack[6] = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};
    unsigned char buffer[4];
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(line.Write(ack, sizeof ack), -1);
    EXPECT_EQ(line.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(line.Close(), 0);
    EXPECT_EQ(line.Close(), 0);
}

TEST(CommDll, OpenFailures) {
    PtyPort pty(3);
    struct Case {
        const char* name;
        COMMPR line;
    };
    COMMPR sevenBits = Line(3);
    sevenBits.ByteSize = 9;
    COMMPR markParity = Line(3);
    markParity.Parity = 3;
    COMMPR oneAndHalfStop = Line(3);
    oneAndHalfStop.StopBits = 1;
    const Case cases[] = {
        {"COM port not bound", Line(4)},
        {"port 0 is the USB transport", Line(0)},
        {"speed without a termios constant", Line(3, 12345)},
        {"negative speed", Line(3, -19200)},
        {"nine data bits", sevenBits},
        {"mark parity", markParity},
        {"one and a half stop bits", oneAndHalfStop},
    };
    for (const Case& c : cases) {
        CommDll line;
        EXPECT_EQ(line.Open(c.line), -1) << c.name;
        EXPECT_FALSE(line.IsOpen()) << c.name;
        EXPECT_EQ(line.Write(reinterpret_cast<const unsigned char*>("x"), 1), -1) << c.name;
    }
}

TEST(CommDll, APortOpenInOneObjectIsRefusedToAnotherUntilClosed) {
    PtyPort pty(3);
    CommDll first;
    CommDll second;
    ASSERT_EQ(first.Open(Line(3)), 0);
    EXPECT_EQ(second.Open(Line(3)), -1);
    first.Close();
    EXPECT_EQ(second.Open(Line(3)), 0);
}

TEST(CommDll, OpenOnAnOpenObjectReopens) {
    PtyPort pty(3);
    pty.Bind(5);
    CommDll line;
    Collector collector;
    line.OnReceive = ReceiveEvent{&collector, &Collector::OnReceive};
    ASSERT_EQ(line.Open(Line(3)), 0);
    ASSERT_EQ(line.Open(Line(5, 9600)), 0);
    pty.Send({42});
    ASSERT_TRUE(collector.WaitFor(1));
}

}  // namespace
