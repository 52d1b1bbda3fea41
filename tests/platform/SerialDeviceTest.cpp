#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/SerialDevice.h"
#include "support/PtyPair.h"

namespace sextara::platform {
namespace {

using test::Bytes;
using test::PtyPair;
using test::WaitUntil;

constexpr int kGenerousMs = 20000;

termios LineSeenByReceiver(const PtyPair& pty) {
    // On Linux the master reports the settings the program made on the slave.
    termios line{};
    tcgetattr(pty.Master(), &line);
    return line;
}

TEST(SerialDeviceComMap, UnmappedPortsAreTheOnBoardLines) {
    ClearComDevicePaths();
    SetComDevicePath(3, "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(4), "/dev/ttyS3");
    ClearComDevicePaths();
}

class SerialDeviceTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty_.Ok()); }
    PtyPair pty_;
    SerialDevice device_;
};

TEST_F(SerialDeviceTest, OpensRawEightNOneWithoutFlowControl) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    const termios line = LineSeenByReceiver(pty_);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
    // Echo or line editing would send the receiver's bytes back to it or
    // hold them until a newline.
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
}

TEST_F(SerialDeviceTest, SetsOnlyTheRatesOfTheMakes) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    // Rows run in order: a refused rate leaves the line at the last one set.
    const struct {
        int baud;
        bool accepted;
        speed_t lineCode;
        int baudAfter;
    } cases[] = {
        {9600, true, B9600, 9600},       {4800, true, B4800, 4800},       {19200, true, B19200, 19200},
        {38400, true, B38400, 38400},    {57600, true, B57600, 57600},    {230400, true, B230400, 230400},
        {115200, true, B115200, 115200}, {0, false, B115200, 115200},     {2, false, B115200, 115200},
        {1200, false, B115200, 115200},  {12345, false, B115200, 115200}, {460800, false, B115200, 115200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        EXPECT_EQ(device_.SetBaud(c.baud), c.accepted);
        const termios line = LineSeenByReceiver(pty_);
        EXPECT_EQ(cfgetospeed(&line), c.lineCode);
        EXPECT_EQ(device_.Baud(), c.baudAfter);
    }
}

TEST_F(SerialDeviceTest, ReadsEveryByteOnceWhateverTheMaximum) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    device_.SetReadIntervalMs(5);
    for (std::size_t maximum : {1u, 7u, 512u, 4096u}) {
        SCOPED_TRACE(maximum);
        const Bytes sent = test::CountingBytes(700, maximum);
        ASSERT_TRUE(pty_.Send(sent));
        Bytes got;
        std::vector<std::uint8_t> buffer(maximum);
        ASSERT_TRUE(WaitUntil([&] {
            const long n = device_.Read(buffer.data(), maximum, 10);
            EXPECT_GE(n, 0);
            EXPECT_LE(n, static_cast<long>(maximum));
            if (n > 0) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            return got.size() >= sent.size() || n < 0;
        }));
        EXPECT_EQ(got, sent);
    }
    std::uint8_t byte = 0;
    EXPECT_EQ(device_.Read(&byte, 1, 0), 0) << "a silent line times out with nothing";
}

TEST_F(SerialDeviceTest, WritesEverythingThroughAFullLine) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    // Several times what the pty buffers, so Write has to wait for room.
    const Bytes sent = test::CountingBytes(200 * 1024);
    long written = 0;
    std::thread writer([&] { written = device_.Write(sent.data(), sent.size()); });
    const Bytes got = pty_.Receive(sent.size());
    writer.join();
    EXPECT_EQ(written, static_cast<long>(sent.size()));
    EXPECT_EQ(got, sent);
}

TEST_F(SerialDeviceTest, InterruptWakesBlockedReadAndWrite) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    const Bytes big = test::CountingBytes(200 * 1024);  // nobody reads the master
    std::atomic<long> readResult{-2};
    std::atomic<long> writeResult{-2};
    std::thread reader([&] {
        std::uint8_t buffer[64];
        readResult = device_.Read(buffer, sizeof buffer, kGenerousMs * 10);
    });
    std::thread writer([&] { writeResult = device_.Write(big.data(), big.size()); });
    device_.Interrupt();
    reader.join();
    writer.join();
    EXPECT_EQ(readResult.load(), 0);
    EXPECT_GE(writeResult.load(), 0);
    EXPECT_LT(writeResult.load(), static_cast<long>(big.size()));
    std::uint8_t byte = 0;
    EXPECT_EQ(device_.Read(&byte, 1, kGenerousMs * 10), 0) << "stays interrupted until closed";

    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    ASSERT_TRUE(pty_.Send("x"));
    EXPECT_EQ(device_.Read(&byte, 1, kGenerousMs), 1) << "a fresh open is not interrupted";
}

// The serial port's reader waits like this: no time-out, so a silent line
// costs nothing, and only a byte or a stop ends the wait.
TEST_F(SerialDeviceTest, ReadWithoutTimeOutEndsByAByteOrAnInterrupt) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    device_.SetReadIntervalMs(0);
    std::uint8_t buffer[64];
    long first = -2;
    std::thread reader([&] { first = device_.Read(buffer, sizeof buffer, -1); });
    ASSERT_TRUE(pty_.Send("x"));
    reader.join();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(buffer[0], 'x');
    long second = -2;
    reader = std::thread([&] { second = device_.Read(buffer, sizeof buffer, -1); });
    device_.Interrupt();
    reader.join();
    EXPECT_EQ(second, 0);
}

TEST_F(SerialDeviceTest, PurgeDropsWhatArrivedBefore) {
    ASSERT_TRUE(device_.OpenPath(pty_.SlavePath()));
    ASSERT_TRUE(pty_.Send("stale bytes"));
    ASSERT_TRUE(WaitUntil([&] { return device_.Available() == 11; }));
    device_.Purge();
    EXPECT_EQ(device_.Available(), 0);
    ASSERT_TRUE(pty_.Send("fresh"));
    std::uint8_t buffer[16];
    device_.SetReadIntervalMs(5);
    Bytes got;
    ASSERT_TRUE(WaitUntil([&] {
        const long n = device_.Read(buffer, sizeof buffer, 10);
        if (n > 0) got.insert(got.end(), buffer, buffer + n);
        return got.size() >= 5 || n < 0;
    }));
    EXPECT_EQ(test::ToText(got), "fresh");
}

}  // namespace
}  // namespace sextara::platform

namespace sextara::platform {
namespace {

// While another process holds the tty (as the simulator holds its pty slave),
// the exclusive mode would outlive our close and refuse a non-root reopen.
TEST(SerialDeviceExclusive, CloseGivesUpTheExclusiveMode) {
    test::PtyPair pty;
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    SerialDevice device;
    ASSERT_TRUE(device.OpenPath(pty.SlavePath()));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    device.Close();
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
}

}  // namespace
}  // namespace sextara::platform
