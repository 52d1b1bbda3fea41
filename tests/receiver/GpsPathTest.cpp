#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "app/EventLog.h"
#include "decode/StateJson.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "receiver/GpsPath.h"
#include "support/PtyPortTest.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using test::Bytes;
using test::PtyPair;
using test::WaitUntil;

constexpr int kPort = 43;
constexpr int kBaud = 115200;
// Fast enough that tests do not wait on the pump; slow enough not to spin.
constexpr std::chrono::milliseconds kTestPumpPeriod{2};

const std::string kCapture = std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/ublox-lea-5h.log";

// The capture's first lines up to `limit` bytes, cut after a line end.
Bytes CaptureHead(std::size_t limit, std::size_t from = 0) {
    const std::string all = test::ReadBytes(kCapture);
    const std::size_t end = all.rfind('\n', std::min(all.size(), from + limit) - 1);
    if (all.empty() || end == std::string::npos || end < from) return {};
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(from),
                 all.begin() + static_cast<std::ptrdiff_t>(end + 1));
}

// The state a decoder reaches on these bytes, fed in the decoder thread's
// chunk size: what the path must arrive at.
std::string DecodedDirectly(const Bytes& bytes) {
    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(enOther);
    for (std::size_t at = 0; at < bytes.size(); at += GpsPath::kDecodeChunk) {
        const std::size_t count = std::min(GpsPath::kDecodeChunk, bytes.size() - at);
        host.Feed(bytes.data() + at, static_cast<std::uint32_t>(count));
    }
    return GnssStateToJson(store.Snapshot());
}

class GpsPathTest : public test::PtyPortTest<kPort> {
protected:
    void SetUp() override {
        PtyPortTest::SetUp();
        host_.CreateDecoder(enOther);
    }
    void TearDown() override {
        path_.CloseGpsPort();
        PtyPortTest::TearDown();
    }

    std::string Decoded() const { return GnssStateToJson(store_.Snapshot()); }

    Bytes ReadConsole(std::size_t count) {
        return test::ReadAtLeast(count, [&](std::uint8_t* buffer, std::uint32_t size) {
            return path_.ReadConsoleBytes(buffer, size);
        });
    }

    GnssStateStore store_;
    DecoderHost host_{store_};
    SerialPort port_{AppendLog};
    GpsPath path_{port_, host_, kTestPumpPeriod, AppendLog};
};

TEST_F(GpsPathTest, OpenFailureIsLoggedAndStartsNothing) {
    platform::SetComDevicePath(kPort, "/dev/sextara-no-such-port");
    EXPECT_EQ(path_.OpenGpsPort(kPort, 57600), 0);
    EXPECT_EQ(path_.GpsPortOpen(), 0);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(port_.ReaderRunning());
    // Kept for the settings even though the port did not open.
    EXPECT_EQ(path_.GpsPortNumber(), kPort);
    EXPECT_EQ(path_.GpsBaud(), 57600);
    EXPECT_NE(Log().find("Can't Open GPS Port!"), std::string::npos);
    // The reason beside the message, so the user knows what to fix.
    EXPECT_NE(Log().find("Can't Open GPS Port! (COM" + std::to_string(kPort) +
                        " /dev/sextara-no-such-port: no such device)"),
              std::string::npos);
}

// Sees what a tap is shown; the decoded state it finds after the last chunk.
class RecordingTap final : public GpsPath::Tap {
public:
    explicit RecordingTap(const GnssStateStore& store) : store_(store) {}
    void OnReceived(const std::uint8_t* bytes, std::size_t count) override {
        std::lock_guard<std::mutex> hold(mutex_);
        received_.insert(received_.end(), bytes, bytes + count);
    }
    void OnDecoded() override {
        std::lock_guard<std::mutex> hold(mutex_);
        lastDecoded_ = GnssStateToJson(store_.Snapshot());
    }
    Bytes Received() {
        std::lock_guard<std::mutex> hold(mutex_);
        return received_;
    }
    std::string LastDecoded() {
        std::lock_guard<std::mutex> hold(mutex_);
        return lastDecoded_;
    }

private:
    const GnssStateStore& store_;
    std::mutex mutex_;
    Bytes received_;
    std::string lastDecoded_;
};

// Sentences from the receiver reach the decoder, the console, the record
// hook and the tap, each byte once and in order; the tap hears of the last
// decoded chunk once the state holds it.
TEST_F(GpsPathTest, ReceiverBytesReachDecoderConsoleRecordHookAndTap) {
    std::mutex recordedMutex;
    Bytes recorded;
    path_.SetRecordHook([&](const std::uint8_t* bytes, std::size_t count) {
        std::lock_guard<std::mutex> hold(recordedMutex);
        recorded.insert(recorded.end(), bytes, bytes + count);
    });
    RecordingTap tap(store_);
    path_.SetTap(&tap);
    // Port numbers are taken modulo 256, as "COM%d:" of one byte.
    ASSERT_EQ(path_.OpenGpsPort(kPort + 256, kBaud), 1);
    EXPECT_EQ(path_.GpsPortOpen(), 1);
    EXPECT_EQ(path_.GpsPortNumber(), kPort + 256);

    // Below the console limit, so the console must see every byte.
    const Bytes stream = CaptureHead(GpsPath::kConsoleLimit);
    ASSERT_GT(stream.size(), 4000u);
    const std::string expected = DecodedDirectly(stream);
    ASSERT_NE(expected, GnssStateToJson(GnssState{})) << "the capture must change the state";

    ASSERT_TRUE(pty_.Send(stream));
    EXPECT_TRUE(WaitUntil([&] { return Decoded() == expected; })) << Decoded();
    EXPECT_EQ(ReadConsole(stream.size()), stream);
    EXPECT_TRUE(WaitUntil([&] { return tap.LastDecoded() == expected; }));
    path_.SetTap(nullptr);
    EXPECT_EQ(tap.Received(), stream);
    path_.SetRecordHook(nullptr);
    std::lock_guard<std::mutex> hold(recordedMutex);
    EXPECT_EQ(recorded, stream);
}

// One wake-up of the decoder thread must drain the whole queue: the tail of
// a burst larger than one decoder chunk is decoded at once, not when the
// receiver next sends something.
TEST_F(GpsPathTest, BurstIsDecodedWithoutFurtherBytes) {
    ASSERT_EQ(path_.OpenGpsPort(kPort, kBaud), 1);
    const Bytes burst = CaptureHead(5000);
    ASSERT_GT(burst.size(), 2 * GpsPath::kDecodeChunk);
    const std::string expected = DecodedDirectly(burst);
    const Bytes firstChunk(burst.begin(), burst.begin() + GpsPath::kDecodeChunk);
    ASSERT_NE(DecodedDirectly(firstChunk), expected) << "the burst's tail must carry news";

    path_.Distribute(burst.data(), burst.size());
    EXPECT_TRUE(WaitUntil([&] { return Decoded() == expected; })) << Decoded();
    EXPECT_EQ(path_.QueuedDecodeBytes(), 0u);
}

// The console keeps its newest bytes: past 8192 the oldest 4096 go before
// the next batch is appended.
TEST(GpsPathConsole, KeepsTheNewestBytesUnderItsCap) {
    const struct {
        const char* name;
        std::vector<std::size_t> batches;
        std::size_t dropped;  // oldest bytes of the stream lost
    } cases[] = {
        {"up to the limit", {8192}, 0},
        {"one past the limit is kept", {8192, 1}, 0},
        {"past the limit drops one block", {8193, 10}, 4096},
        {"small batches", std::vector<std::size_t>(100, 100), 4096},
        {"pump-sized batches stay bounded", {6144, 6144, 6144, 6144, 6144}, 4 * 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GnssStateStore store;
        DecoderHost host(store);
        SerialPort port;
        GpsPath path(port, host);
        std::size_t total = 0;
        for (std::size_t size : c.batches) {
            const Bytes batch = test::CountingBytes(size, total);
            path.Distribute(batch.data(), batch.size());
            total += size;
        }
        EXPECT_EQ(path.QueuedDecodeBytes(), total) << "the decoder queue has no cap";
        ASSERT_EQ(path.QueuedConsoleBytes(), total - c.dropped);
        EXPECT_LE(path.QueuedConsoleBytes(), GpsPath::kConsoleLimit + GpsPath::kPumpChunk);
        Bytes got(total);
        EXPECT_EQ(path.ReadConsoleBytes(got.data(), 0), 0u);
        const std::uint32_t firstPart = path.ReadConsoleBytes(got.data(), 100);
        const std::uint32_t rest =
            path.ReadConsoleBytes(got.data() + firstPart, static_cast<std::uint32_t>(got.size()));
        got.resize(firstPart + rest);
        EXPECT_EQ(got, test::CountingBytes(total - c.dropped, c.dropped));
    }
}

// Rests that never end by themselves: only a stop, or bytes arriving where
// a thread waits for them, can wake a thread of the path.
class EndlessRests final : public platform::Clock {
public:
    TimePoint Now() const override { return {}; }
    void SleepFor(std::chrono::milliseconds) override {}
    bool SleepUnless(platform::Event& wake, std::chrono::milliseconds) override {
        wake.Wait();
        return true;
    }
};

// A quiet line costs no timer: the pump sleeps until the reader has queued
// bytes and hands them on at once, and a stop ends the reader's and the
// pump's rests without waiting for them (a hang fails by the suite's time-out).
TEST_F(GpsPathTest, ArrivingBytesWakeThePumpAndAStopEndsEveryRest) {
    EndlessRests rests;
    SerialPort port(AppendLog, rests);
    GpsPath path(port, host_, std::chrono::hours(1), AppendLog, rests);
    ASSERT_EQ(path.OpenGpsPort(kPort, kBaud), 1);
    // Less than one read of the reader, so that one pass takes it all; from
    // the first fix on, past the capture's comments.
    const Bytes stream = CaptureHead(SerialPort::kReadChunk, test::ReadBytes(kCapture).find("$GPRMC"));
    const std::string expected = DecodedDirectly(stream);
    ASSERT_NE(expected, GnssStateToJson(GnssState{}));
    ASSERT_TRUE(pty_.Send(stream));
    EXPECT_TRUE(WaitUntil([&] { return Decoded() == expected; })) << Decoded();
    path.CloseGpsPort();
    EXPECT_FALSE(port.ReaderRunning());
}

// The simulator is killed mid-stream: the path survives, closes cleanly and
// runs again on a new device with the same decoder.
TEST_F(GpsPathTest, ClosesAfterTheDeviceDiedAndRunsAgain) {
    const Bytes first = CaptureHead(3000);
    const Bytes second = CaptureHead(3000, first.size());
    ASSERT_FALSE(second.empty());
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());

    ASSERT_EQ(path_.OpenGpsPort(kPort, kBaud), 1);
    ASSERT_TRUE(pty_.Send(first));
    const std::string afterFirst = DecodedDirectly(first);
    ASSERT_TRUE(WaitUntil([&] { return Decoded() == afterFirst; })) << Decoded();
    pty_.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return !port_.ReaderRunning(); }));

    path_.CloseGpsPort();
    EXPECT_EQ(path_.GpsPortOpen(), 0);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(path_.QueuedConsoleBytes(), 0u);
    EXPECT_EQ(path_.QueuedDecodeBytes(), 0u);
    path_.CloseGpsPort();  // a second close is harmless

    PtyPair replacement;
    ASSERT_TRUE(replacement.Ok());
    platform::SetComDevicePath(kPort, replacement.SlavePath());
    ASSERT_EQ(path_.OpenGpsPort(kPort, kBaud), 1);
    ASSERT_TRUE(replacement.Send(second));
    const std::string afterBoth = DecodedDirectly(both);
    EXPECT_TRUE(WaitUntil([&] { return Decoded() == afterBoth; })) << Decoded();
    // Commands still reach the receiver through the path's port.
    const Bytes command = test::ToBytes("$PUBX,41,1,0007,0003,115200,0*18\r\n");
    path_.Port().Write(command.data(), static_cast<std::uint32_t>(command.size()));
    EXPECT_EQ(replacement.Receive(command.size()), command);
}

}  // namespace
}  // namespace sextara
