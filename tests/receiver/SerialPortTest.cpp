#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/EventLog.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "receiver/SerialPort.h"
#include "support/PtyPortTest.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using test::Bytes;
using test::PtyPair;
using test::WaitUntil;

constexpr int kPort = 41;
constexpr int kOtherPort = 42;
constexpr int kBaud = 115200;

// Each test gets its own data folder for the event log and a pty mapped to
// COM41.
class SerialPortTest : public test::PtyPortTest<kPort> {
protected:
    void TearDown() override {
        port_.Stop();
        PtyPortTest::TearDown();
    }

    // Everything received so far, once `count` bytes have come in.
    Bytes ReadAll(std::size_t count) {
        return test::ReadAtLeast(count, [&](std::uint8_t* buffer, std::uint32_t size) {
            return port_.Read(buffer, size);
        });
    }

    void OpenAndStart() {
        ASSERT_EQ(port_.Open(kPort, kBaud), 1);
        ASSERT_EQ(port_.StartThreads(), 1);
    }

    SerialPort port_{AppendLog};
};

TEST_F(SerialPortTest, OpenFailsAtOnceWithoutThreads) {
    char fileName[] = "/tmp/sextara-port-XXXXXX";
    const int fd = mkstemp(fileName);
    ASSERT_GE(fd, 0);
    close(fd);
    SerialPort holder;
    ASSERT_EQ(holder.Open(kPort, kBaud), 1);

    const struct {
        const char* what;
        std::string path;
        int baud;
        const char* reason;  // what the log gets beside the user's message
    } cases[] = {
        {"missing device", "/dev/sextara-no-such-port", kBaud, "/dev/sextara-no-such-port: no such device"},
        {"not a serial line", fileName, kBaud, ": not a serial line"},
        {"not a serial line either", "/dev/null", kBaud, "/dev/null: not a serial line"},
        {"in use by another port", pty_.SlavePath(), kBaud, ": in use by another program"},
        {"rate no make uses", "", 1234, " at 1234 baud: baud rate not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PtyPair spare;
        platform::SetComDevicePath(kOtherPort, c.path.empty() ? spare.SlavePath() : c.path);
        SerialPort port;
        EXPECT_EQ(port.Open(kOtherPort, c.baud), 0);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.GetHandle(), SerialPort::kInvalidHandle);
        int number = 0;
        int baud = 0;
        EXPECT_FALSE(port.GetPortParams(number, baud));
        EXPECT_EQ(port.StartThreads(), 0);
        EXPECT_FALSE(port.ReaderRunning());
        EXPECT_NE(port.LastOpenError().find(c.reason), std::string::npos) << port.LastOpenError();
    }
    unlink(fileName);
    holder.Stop();
    EXPECT_EQ(port_.Open(kPort, kBaud), 1) << "a stop must release the line";
}

TEST_F(SerialPortTest, ReceivedBytesComeOutOfReadInOrder) {
    OpenAndStart();
    int number = 0;
    int baud = 0;
    ASSERT_TRUE(port_.GetPortParams(number, baud));
    EXPECT_EQ(number, kPort);
    EXPECT_EQ(baud, kBaud);
    termios line{};
    tcgetattr(pty_.Master(), &line);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));

    const Bytes sent = test::CountingBytes(3000);
    ASSERT_TRUE(pty_.Send(sent));
    EXPECT_EQ(ReadAll(sent.size()), sent);
    EXPECT_EQ(port_.GetBytesReceived(), sent.size());
}

TEST_F(SerialPortTest, WritesFromSeveralThreadsGoOutWhole) {
    OpenAndStart();
    constexpr int kThreads = 4;
    constexpr int kMessages = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t] {
            for (int m = 0; m < kMessages; ++m) {
                const std::string message = "<" + std::to_string(t) + ":" + std::to_string(1000 + m) + ">";
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
                EXPECT_EQ(port_.Write(bytes, static_cast<std::uint32_t>(message.size())), message.size());
            }
        });
    }
    for (std::thread& w : writers) w.join();
    const std::size_t total = static_cast<std::size_t>(kThreads) * kMessages * std::string("<0:1000>").size();
    const std::string got = test::ToText(pty_.Receive(total));
    ASSERT_EQ(got.size(), total);
    // Every message whole, and each thread's messages in the order written.
    std::vector<int> next(kThreads, 1000);
    for (std::size_t at = 0; at < got.size(); at += 8) {
        ASSERT_EQ(got[at], '<');
        ASSERT_EQ(got[at + 7], '>');
        const int thread = got[at + 1] - '0';
        ASSERT_GE(thread, 0);
        ASSERT_LT(thread, kThreads);
        EXPECT_EQ(std::stoi(got.substr(at + 3, 4)), next[thread]++);
    }
}

// The reader empties a queue that nobody reads once it passes 8192 bytes:
// what is left is the newest part of the stream, unbroken.
TEST_F(SerialPortTest, UnreadQueueKeepsOnlyTheNewestBytes) {
    OpenAndStart();
    const Bytes sent = test::CountingBytes(9000);
    ASSERT_TRUE(pty_.Send(sent));
    ASSERT_TRUE(WaitUntil([&] { return port_.GetBytesReceived() == sent.size(); }));
    std::vector<std::uint8_t> buffer(20000);
    const std::uint16_t n = port_.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    ASSERT_GT(n, 0);
    EXPECT_LT(n, sent.size()) << "the oldest bytes must have been dropped";
    EXPECT_LE(n, SerialPort::kRxQueueLimit + SerialPort::kReadChunk);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + n, sent.end() - n));
}

// Bytes written while the port is closed stay queued through the next open
// and go out, first, with the next write.
TEST_F(SerialPortTest, BytesWrittenWhileClosedLeadTheNextWrite) {
    for (const bool wasRunning : {false, true}) {
        SCOPED_TRACE(wasRunning ? "after a stop" : "before the first open");
        SerialPort port;
        if (wasRunning) {
            ASSERT_EQ(port.Open(kPort, kBaud), 1);
            ASSERT_EQ(port.StartThreads(), 1);
            port.Stop();
        }
        const Bytes early = test::ToBytes("$PEARLY*00\r\n");
        port.Write(early.data(), static_cast<std::uint32_t>(early.size()));
        ASSERT_EQ(port.Open(kPort, kBaud), 1);
        ASSERT_EQ(port.StartThreads(), 1);
        // A round trip through the reader gives a wrongly woken writer ample
        // time to send; a right one still holds the bytes after it.
        ASSERT_TRUE(pty_.Send("x"));
        std::uint8_t echo = 0;
        ASSERT_TRUE(WaitUntil([&] { return port.Read(&echo, 1) == 1; }));
        EXPECT_EQ(port.QueuedTxBytes(), early.size()) << "an open alone sends nothing";
        const Bytes late = test::ToBytes("$PLATE*00\r\n");
        port.Write(late.data(), static_cast<std::uint32_t>(late.size()));
        EXPECT_EQ(test::ToText(pty_.Receive(early.size() + late.size())), "$PEARLY*00\r\n$PLATE*00\r\n");
        port.Stop();
    }
}

// The receiver (or the simulator standing in for it) dies mid-stream.
TEST_F(SerialPortTest, SurvivesTheDeviceGoingAwayAndOpensAgain) {
    OpenAndStart();
    ASSERT_TRUE(pty_.Send(test::CountingBytes(1000)));
    ASSERT_TRUE(WaitUntil([&] { return port_.GetBytesReceived() == 1000; }));
    pty_.CloseMaster();

    // The reader ends instead of spinning on a dead line, and says so once.
    ASSERT_TRUE(WaitUntil([&] { return !port_.ReaderRunning(); }));
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(port_.GetHandle(), SerialPort::kInvalidHandle);
    ASSERT_TRUE(WaitUntil([&] { return Log().find("COM41 device lost") != std::string::npos; }));
    // The writer finds out with its next write.
    const Bytes probe = test::ToBytes("log version\r\n");
    port_.Write(probe.data(), static_cast<std::uint32_t>(probe.size()));
    ASSERT_TRUE(WaitUntil([&] { return Log().find("COM41 WriteThread Err") != std::string::npos; }));
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(ReadAll(1000).size(), 1000u) << "what came before the loss is still readable";

    PtyPair replacement;
    ASSERT_TRUE(replacement.Ok());
    platform::SetComDevicePath(kPort, replacement.SlavePath());
    OpenAndStart();
    ASSERT_TRUE(replacement.Send("$GPGGA,1*00\r\n"));
    EXPECT_EQ(test::ToText(ReadAll(13)), "$GPGGA,1*00\r\n");
    const Bytes command = test::ToBytes("unlogall\r\n");
    port_.Write(command.data(), static_cast<std::uint32_t>(command.size()));
    EXPECT_EQ(test::ToText(replacement.Receive(command.size())), "unlogall\r\n");
}

// Stop wakes threads out of whatever they block in; a hang fails the test
// by the suite's time-out.
TEST_F(SerialPortTest, StopNeverWaitsForTheLine) {
    for (const bool writerBlocked : {false, true}) {
        SCOPED_TRACE(writerBlocked ? "writer blocked on a full line" : "reader waiting on a silent line");
        OpenAndStart();
        std::size_t queued = 0;
        if (writerBlocked) {
            // Far more than a pty buffers while nobody reads the master.
            const Bytes big = test::CountingBytes(SerialPort::kTxQueueCap);
            port_.Write(big.data(), static_cast<std::uint32_t>(big.size()));
            ASSERT_TRUE(WaitUntil([&] { return port_.QueuedTxBytes() == 0; }));
            // The writer has taken the bytes; wait until the line has some of
            // them, so that the stop cuts a write that is under way.
            ASSERT_TRUE(WaitUntil([&] {
                int pending = 0;
                return ::ioctl(pty_.Master(), FIONREAD, &pending) == 0 && pending > 0;
            }));
            queued = big.size();
        }
        port_.Stop();
        EXPECT_FALSE(port_.IsOpen());
        EXPECT_FALSE(port_.ReaderRunning());
        if (writerBlocked) {
            EXPECT_GT(port_.QueuedTxBytes(), 0u) << "what the line did not take stays queued";
            EXPECT_LT(port_.QueuedTxBytes(), queued);
        }
    }
}

TEST_F(SerialPortTest, SetBaudChangesTheLineOrClosesThePort) {
    OpenAndStart();
    EXPECT_EQ(port_.SetBaud(9600), 1);
    termios line{};
    tcgetattr(pty_.Master(), &line);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_TRUE(port_.IsOpen());

    EXPECT_EQ(port_.SetBaud(1234), 0);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(port_.ReaderRunning());
    EXPECT_EQ(port_.SetBaud(9600), 0) << "a closed port has no rate to set";
}

TEST_F(SerialPortTest, CloseIsFinal) {
    OpenAndStart();
    port_.Close();
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(port_.Open(kPort, kBaud), 0);
}

// A queue past its cap loses whole writes, oldest first: a receiver must
// never get half a command or half a correction frame.
TEST_F(SerialPortTest, TransmitQueueDropsWholeWritesOldestFirst) {
    // Closed port: nothing drains the queue.
    const Bytes first = test::CountingBytes(30000);
    const Bytes second = test::CountingBytes(30000, 7);
    // Leaves room for the last write below.
    const Bytes third = test::CountingBytes(SerialPort::kTxQueueCap - 30000 - 100, 3);
    const Bytes huge = test::CountingBytes(SerialPort::kTxQueueCap + 1);
    for (const Bytes* write : {&first, &second, &third, &huge}) {
        port_.Write(write->data(), static_cast<std::uint32_t>(write->size()));
    }
    EXPECT_EQ(port_.QueuedTxBytes(), second.size() + third.size());
    EXPECT_EQ(port_.DroppedTxWrites(), 2u);
    EXPECT_EQ(port_.DroppedTxBytes(), first.size() + huge.size());

    OpenAndStart();
    const Bytes last = test::ToBytes("$PLAST*00\r\n");
    port_.Write(last.data(), static_cast<std::uint32_t>(last.size()));
    Bytes expected = second;
    expected.insert(expected.end(), third.begin(), third.end());
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_TRUE(pty_.Receive(expected.size()) == expected);
    ASSERT_TRUE(WaitUntil([&] { return Log().find("COM41 send queue full") != std::string::npos; }));
    EXPECT_NE(Log().find("COM41 send queue full: 2 writes (95537 bytes) dropped"), std::string::npos)
        << Log();
}

}  // namespace
}  // namespace sextara
