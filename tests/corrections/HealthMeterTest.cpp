// The correction health meter on real caster streams, against independent
// figures: gpsd's gpsdecode for the frames and the stations' ECEF positions,
// GeographicLib's CartConvert for the geodetic positions and the baseline.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "corrections/HealthMeter.h"
#include "corrections/LinkHarness.h"

namespace sextara::corrections {
namespace {

using namespace std::chrono_literals;
using TimePoint = HealthMeter::TimePoint;

// Feeds the stream in receives of chunk bytes, one every period from start;
// returns the time of the last receive.
TimePoint FeedPaced(HealthMeter& meter, const std::string& stream, std::size_t chunk,
                    std::chrono::milliseconds period, TimePoint start) {
    TimePoint at = start;
    for (std::size_t pos = 0; pos < stream.size(); pos += chunk, at += period) {
        const std::size_t n = std::min(chunk, stream.size() - pos);
        meter.Feed(reinterpret_cast<const std::uint8_t*>(stream.data()) + pos, n, at);
    }
    return at - period;
}

std::map<int, std::uint64_t> GpsdecodeCounts(const std::string& capture) {
    std::istringstream lines(test::ReadData("rtcm3/gpsdecode-message-counts.tsv"));
    std::map<int, std::uint64_t> counts;
    for (std::string name, line; std::getline(lines, line);) {
        std::istringstream fields(line);
        int message = 0;
        std::uint64_t frames = 0;
        if (line.empty() || line[0] == '#' || !(fields >> name >> message >> frames) || name != capture)
            continue;
        counts[message] = frames;
    }
    return counts;
}

TEST(HealthMeter, CountsEveryMessageOfARealStreamAsGpsdecodeFramesIt) {
    for (const std::string capture :
         {"pygpsdata-NTRIP-USCL00CHL0.log", "pygpsdata-rtcm3.log", "testglo.rtcm3"}) {
        SCOPED_TRACE(capture);
        const std::string stream = test::ReadData("rtcm3/" + capture);
        const std::map<int, std::uint64_t> expected = GpsdecodeCounts(capture);
        ASSERT_FALSE(expected.empty());
        std::uint64_t frames = 0;
        for (const auto& [message, count] : expected) frames += count;

        HealthMeter meter;
        const TimePoint last = FeedPaced(meter, stream, 1024, 200ms, TimePoint{});
        const HealthSnapshot health = meter.Snapshot(last);
        EXPECT_EQ(health.types, expected);
        EXPECT_EQ(health.frames, frames);
        EXPECT_EQ(health.bytes, stream.size());
        EXPECT_TRUE(health.base.has_value());
    }
}

struct StationCase {
    std::string capture;
    double x, y, z;                  // gpsdecode -j, the last 1005/1006 of the capture
    double latDeg, lonDeg, heightM;  // CartConvert -r -p 10 of x, y, z
    std::optional<double> antennaHeightM;
    int messageNumber;
};

TEST(HealthMeter, BaseStationComesOutWhereIndependentToolsPutIt) {
    const StationCase cases[] = {
        // IGS station USCL00CHL0 in Santiago, Chile: 1005, then 1006.
        {"pygpsdata-NTRIP-USCL00CHL0.log", 1762489.6191, -5027633.8438, -3496008.8438, -33.449845643233566,
         -70.681351356823313, 570.7686630265, 0.0343, 1006},
        // A reference station in central Japan.
        {"testglo.rtcm3", -3869297.5138, 3436571.3345, 3717369.3757, 35.872988846366624, 138.389665470644303,
         1003.8599192612, std::nullopt, 1005},
        {"pygpsdata-rtcm3.log", 4444030.8028, 3085671.2349, 3366658.2560, 32.065832544944115,
         34.773819035350471, 72.1341721089, std::nullopt, 1005},
    };
    for (const StationCase& c : cases) {
        SCOPED_TRACE(c.capture);
        HealthMeter meter;
        FeedPaced(meter, test::ReadData("rtcm3/" + c.capture), 1024, 200ms, TimePoint{});
        const std::optional<BaseStation> base = meter.Snapshot(TimePoint{}).base;
        ASSERT_TRUE(base.has_value());
        EXPECT_EQ(base->stationId, 0);
        EXPECT_EQ(base->messageNumber, c.messageNumber);
        EXPECT_NEAR(base->ecefXM, c.x, 0.00005);
        EXPECT_NEAR(base->ecefYM, c.y, 0.00005);
        EXPECT_NEAR(base->ecefZM, c.z, 0.00005);
        EXPECT_NEAR(base->latDeg, c.latDeg, 1e-9);  // 0.1 mm
        EXPECT_NEAR(base->lonDeg, c.lonDeg, 1e-9);
        EXPECT_NEAR(base->heightM, c.heightM, 0.001);
        EXPECT_NEAR(base->antennaHeightM.value_or(-1), c.antennaHeightM.value_or(-1), 1e-9);
    }
}

TEST(Geodesy, PoleAndBaselines) {
    // The north pole: the semi-minor axis b = a (1 - f) above the centre.
    double lat, lon, height;
    EcefToGeodetic(0, 0, 6356752.314245179, lat, lon, height);
    EXPECT_NEAR(lat, 90.0, 1e-12);
    EXPECT_NEAR(height, 0.0, 0.001);

    BaseStation base;
    base.latDeg = -33.449845643233566;
    base.lonDeg = -70.681351356823313;
    base.heightM = 570.7686630265;
    EXPECT_NEAR(BaselineKm(base, base.latDeg, base.lonDeg, base.heightM), 0.0, 1e-9);
    // Straight up: the chord is the height difference.
    EXPECT_NEAR(BaselineKm(base, base.latDeg, base.lonDeg, base.heightM + 1000), 1.0, 1e-6);
    // CartConvert -l (the base) of -33.5 -70.6 600: east 7560.082866, north
    // -5566.249954, up 22.318265 m, a chord of 9.388210 km.
    EXPECT_NEAR(BaselineKm(base, -33.5, -70.6, 600), 9.388210, 1e-6);
}

TEST(HealthMeter, RateAndAgeFollowTheInjectedTime) {
    HealthMeter meter;
    const TimePoint start{};
    EXPECT_FALSE(meter.Snapshot(start).ageSeconds.has_value());
    EXPECT_EQ(meter.Snapshot(start).bytesPerSecond, 0.0);

    // Text alone is counted but is no frame: no age yet.
    const std::string text(2000, 'x');
    meter.Feed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), start);
    EXPECT_FALSE(meter.Snapshot(start + 100ms).ageSeconds.has_value());
    EXPECT_EQ(meter.Snapshot(start + 100ms).garbageBytes, 2000u);

    // 20 KB/s of a real stream: 200 bytes every 10 ms for about 10 s.
    const std::string capture = test::ReadData("rtcm3/testglo.rtcm3");
    std::string stream;
    while (stream.size() < 200'000) stream += capture;
    const TimePoint last = FeedPaced(meter, stream.substr(0, 200'000), 200, 10ms, start + 1s);
    const HealthSnapshot streaming = meter.Snapshot(last);
    EXPECT_NEAR(streaming.bytesPerSecond, 20000, 400);
    ASSERT_TRUE(streaming.ageSeconds.has_value());
    EXPECT_LT(*streaming.ageSeconds, 0.05);

    // Silent: the age grows with the clock, the rate falls to 0 once the
    // window has passed.
    const HealthSnapshot quiet = meter.Snapshot(last + 2500ms);
    EXPECT_NEAR(*quiet.ageSeconds, 2.5 + *streaming.ageSeconds, 1e-9);
    EXPECT_NEAR(quiet.bytesPerSecond, 20000 * 2.5 / 5, 1500);
    EXPECT_EQ(meter.Snapshot(last + HealthMeter::kRateWindow + HealthMeter::kRateSlot).bytesPerSecond, 0.0);
}

TEST(HealthMeter, ResetStartsOverAndForgetsTheOldConnectionsHalfFrame) {
    const std::string stream = test::ReadData("rtcm3/pygpsdata-NTRIP-USCL00CHL0.log");
    const std::string station = stream.substr(339, 25);  // the 1005
    HealthMeter meter;
    FeedPaced(meter, stream, 1024, 200ms, TimePoint{});
    meter.Feed(reinterpret_cast<const std::uint8_t*>(station.data()), 12, TimePoint{} + 5s);

    meter.Reset();
    const HealthSnapshot fresh = meter.Snapshot(TimePoint{} + 5s);
    EXPECT_EQ(fresh.bytes, 0u);
    EXPECT_TRUE(fresh.types.empty());
    EXPECT_FALSE(fresh.base.has_value());
    EXPECT_FALSE(fresh.ageSeconds.has_value());
    EXPECT_EQ(fresh.bytesPerSecond, 0.0);
    EXPECT_EQ(fresh.connections, 1u);

    // The old half frame's tail is garbage now, the whole frame behind it counts.
    const std::string next = station.substr(12) + station;
    meter.Feed(reinterpret_cast<const std::uint8_t*>(next.data()), next.size(), TimePoint{} + 6s);
    const HealthSnapshot after = meter.Snapshot(TimePoint{} + 6s);
    EXPECT_EQ(after.types, (std::map<int, std::uint64_t>{{1005, 1}}));
    EXPECT_EQ(after.garbageBytes, 13u);
    EXPECT_EQ(after.bytes, next.size());
    EXPECT_TRUE(after.base.has_value());
}

TEST(HealthMeterThreads, SnapshotsWhileTheFeederRuns) {
    const std::string stream = test::ReadData("rtcm3/pygpsdata-rtcm3.log");
    HealthMeter meter;
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        FeedPaced(meter, stream, 1024, 1ms, std::chrono::steady_clock::now());
        done = true;
    });
    std::uint64_t lastBytes = 0;
    for (bool finished = false; !finished;) {
        finished = done.load();
        const HealthSnapshot s = meter.Snapshot(std::chrono::steady_clock::now());
        std::uint64_t typed = 0;
        for (const auto& [message, count] : s.types) typed += count;
        EXPECT_EQ(typed, s.frames);
        EXPECT_GE(s.bytes, lastBytes);
        lastBytes = s.bytes;
    }
    feeder.join();
    EXPECT_EQ(meter.Snapshot(std::chrono::steady_clock::now()).bytes, stream.size());
}

}  // namespace
}  // namespace sextara::corrections
