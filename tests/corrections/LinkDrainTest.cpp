// A 10 Hz multi-constellation stream (20 KB/s) from a loopback caster, in
// real time: every byte reaches the receiver in order and within a second of
// its send, the page counts every byte, the GGA keeps its 5 s cadence, and
// the health counts are those of an independent framing of the stream.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "app/NtripPageModel.h"
#include "corrections/CorrectionLink.h"
#include "corrections/LinkHarness.h"
#include "platform/Paths.h"

namespace sextara::corrections {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Remembers when the byte count reached each total.
class TimedSink final : public ByteSink {
public:
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override {
        std::lock_guard<std::mutex> hold(lock_);
        bytes_.append(reinterpret_cast<const char*>(bytes), length);
        arrivals_.emplace_back(bytes_.size(), Clock::now());
        return length;
    }
    std::string Bytes() const {
        std::lock_guard<std::mutex> hold(lock_);
        return bytes_;
    }
    // When the first `count` bytes had all arrived.
    Clock::time_point ArrivalOf(std::size_t count) const {
        std::lock_guard<std::mutex> hold(lock_);
        for (const auto& [total, at] : arrivals_) {
            if (total >= count) return at;
        }
        return Clock::time_point::max();
    }

private:
    mutable std::mutex lock_;
    std::string bytes_;
    std::vector<std::pair<std::size_t, Clock::time_point>> arrivals_;
};

// The figures gpsd's gpsdecode gives for the capture; see tests/data/SOURCES.md.
std::map<int, std::uint64_t> GpsdecodeCounts(const std::string& capture) {
    std::istringstream lines(test::ReadData("rtcm3/gpsdecode-message-counts.tsv"));
    std::map<int, std::uint64_t> counts;
    std::string name;
    int message = 0;
    std::uint64_t frames = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        if (!line.empty() && line[0] != '#' && fields >> name >> message >> frames && name == capture) {
            counts[message] = frames;
        }
    }
    return counts;
}

// A caster that sends the stream in pieces every 100 ms, noting when each
// piece went and when each GGA came.
struct PacedCaster {
    PacedCaster(const std::string& bytes, std::size_t pieceBytes) : stream(bytes), piece(pieceBytes) {}

    const std::string& stream;
    const std::size_t piece;
    std::mutex lock;
    std::vector<Clock::time_point> sentAt;
    std::vector<Clock::time_point> ggaAt;

    void Serve(int fd, test::LoopbackCaster& c) {
        c.ReadRequest(fd);
        test::LoopbackCaster::SendText(fd, "ICY 200 OK\r\n");
        auto next = Clock::now();
        for (std::size_t at = 0; at < stream.size() && !c.Stopping(); at += piece) {
            std::this_thread::sleep_until(next);
            next += 100ms;
            {
                std::lock_guard<std::mutex> hold(lock);
                sentAt.push_back(Clock::now());
                for (std::string got = c.ReadRaw(fd, 1ms); !got.empty(); got = c.ReadRaw(fd, 1ms)) {
                    for (int n = test::CountOf(got, "$GPGGA"); n > 0; --n) ggaAt.push_back(Clock::now());
                }
            }
            test::LoopbackCaster::SendText(fd, stream.substr(at, piece));
        }
        c.HoldOpen(fd);
    }
};

TEST(LinkDrain, TwentyKilobytesPerSecondArriveWholeInTimeAndCounted) {
    constexpr std::size_t kPiece = 2000;  // every 100 ms: 20 KB/s
    const std::string capture = test::ReadData("rtcm3/testglo.rtcm3");
    const std::string stream = capture + capture + capture;  // about 9 s
    PacedCaster paced(stream, kPiece);
    test::LoopbackCaster caster([&](int fd, test::LoopbackCaster& c) { paced.Serve(fd, c); });
    test::TempDir dir;
    platform::SetDataFolder(dir.Path());
    platform::RegistryStore store(dir.File("registry.ini"), {});
    // The receiver sits 0.01 degrees north of the capture's base station.
    GnssState fix{};
    fix.fixQuality = kFixFixed;
    fix.latitude = 35.872988846366624 + 0.01;
    fix.longitude = 138.389665470644303;
    fix.altitude = 1003.8599192612;
    CorrectionLink link(store, {}, platform::SystemClock(), [&] { return fix; });
    TimedSink receiver;
    link.SetReceiverPort(&receiver);
    CasterSettings s;
    s.casterAddress = "127.0.0.1";
    s.port = caster.Port();
    s.mountPoint = "FAST";
    s.useTypedPosition = true;
    link.SetSettings(s);
    NtripPageModel page(NtripPageModel::Deps{
        .link = link, .ensureNetwork = {}, .sendDiffInput = {}, .state = {}, .saveOnStart = false});
    test::RecordingMessages messages;
    page.Open(false, 1, &messages);
    ASSERT_FALSE(page.Start("FAST").has_value());
    // The page's one-second timer, while the stream lasts.
    for (int second = 0; second < 30 && receiver.Bytes().size() < stream.size(); ++second) {
        std::this_thread::sleep_for(1s);
        page.Tick();
    }
    page.Tick();
    ASSERT_TRUE(receiver.Bytes() == stream);
    EXPECT_EQ(page.ByteTotal(), stream.size());
    {
        std::lock_guard<std::mutex> hold(paced.lock);
        for (std::size_t i = 0; i < paced.sentAt.size(); ++i) {
            const auto lag = receiver.ArrivalOf(std::min((i + 1) * kPiece, stream.size())) - paced.sentAt[i];
            ASSERT_LT(lag, 1s) << "piece " << i << " of " << paced.sentAt.size();
        }
        // The reply's GGA and the stream's first come together; then one
        // every 5 s (seen here to the caster's 100 ms).
        ASSERT_GE(paced.ggaAt.size(), 3u);
        for (std::size_t i = 2; i < paced.ggaAt.size(); ++i) {
            EXPECT_GE(paced.ggaAt[i] - paced.ggaAt[i - 1], 4s);
            EXPECT_LE(paced.ggaAt[i] - paced.ggaAt[i - 1], 6s);
        }
    }
    const LinkHealth health = link.Health();
    std::map<int, std::uint64_t> expected = GpsdecodeCounts("testglo.rtcm3");
    for (auto& [message, count] : expected) count *= 3;
    EXPECT_EQ(health.stream.types, expected);
    EXPECT_EQ(health.stream.crcErrors, 0u);
    EXPECT_EQ(health.bytes, stream.size());
    EXPECT_EQ(health.connects, 1);
    EXPECT_EQ(health.state, "connected");
    ASSERT_TRUE(health.stream.base.has_value());
    ASSERT_TRUE(health.baselineKm.has_value());
    EXPECT_NEAR(*health.baselineKm, 1.109, 0.002);  // 0.01 degree of latitude at 36 degrees north
    link.StopLink();
    platform::SetDataFolder("");
}

}  // namespace
}  // namespace sextara::corrections
