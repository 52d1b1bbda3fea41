#include <gtest/gtest.h>

#include <string>

#include "NovatelTestFrames.h"
#include "decode/NovatelDecoder.h"
#include "decode/StateJson.h"

namespace sextara {
namespace {

using namespace novatel_test;

GnssState Decode(const Bytes& stream, GnssState state = {}) {
    NovatelDecoder decoder(&state);
    decoder.Input(stream.data(), static_cast<std::uint32_t>(stream.size()));
    return state;
}

std::string Json(const GnssState& s) {
    return GnssStateToJson(s);
}

TEST(NovatelDecoder, Crc32KnownAnswer) {
    const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(check, sizeof check), 0x2DFD2D88u);  // initial value 0, no final inversion
}

TEST(NovatelDecoder, HeaderTimeBecomesUtc) {
    struct Row {
        std::uint16_t week;
        std::uint32_t ms;
        int year, month, day, hour, minute, second;
    } const rows[] = {
        {0, 0, 1980, 1, 6, 0, 0, 0},
        {51, 3 * 86400000u, 1980, 12, 31, 0, 0, 0},  // day 366 of leap year 1980, before any leap second
        {2000, 0, 2018, 5, 5, 23, 59, 42},           // GPS - UTC = 18 s
        {2000, 18000, 2018, 5, 6, 0, 0, 0},
        {2000, 16 * 3600000u, 2018, 5, 6, 15, 59, 42},
        {1930, 16999, 2016, 12, 31, 23, 59, 59},  // fractions dropped; last second before a leap second
        {1930, 18000, 2017, 1, 1, 0, 0, 0},
    };
    for (const Row& r : rows) {
        const GnssState s = Decode(BestPosFrame({}, r.week, r.ms));
        EXPECT_EQ((std::vector<int>{s.year, s.month, s.day, s.hour, s.minute, s.second}),
                  (std::vector<int>{r.year, r.month, r.day, r.hour, r.minute, r.second}))
            << "week " << r.week << " ms " << r.ms;
    }
}

TEST(NovatelDecoder, PositionTypeGivesFix) {
    const std::pair<std::uint32_t, int> rows[] = {{16, 1}, {17, 2}, {18, 2}, {19, 0}, {32, 3},
                                                  {34, 3}, {35, 0}, {48, 4}, {50, 4}, {0, 0}};
    for (auto [type, fix] : rows) EXPECT_EQ(Decode(BestPosFrame(type)).fixQuality, fix) << "type " << type;
}

TEST(NovatelDecoder, BodiesTooShortToHoldTheirFieldsAreSkipped) {
    const Bytes frames[] = {
        Frame(42, Body(51).Put<std::uint32_t>(4, 16).bytes()),  // BESTPOS without its height sigma
        Frame(174, Body(11).Put(4, 2.5f).bytes()),              // PSRDOP without HDOP
        Frame(911, Body(8).Put(4, 2.5f).bytes()),
        Frame(83, Body(15).bytes()),  // TRACKSTAT without its channel count
        // TRACKSTAT declaring one channel record but cutting it short
        Frame(83, Body(16 + 39).Put<std::uint32_t>(12, 1).Put<std::uint16_t>(16, 5).bytes()),
        Frame(1234, Body(4).bytes()),  // not a log this decoder reads
    };
    const GnssState before = Decode(TrackStatFrame({{7, 0, 0, 44}}));
    for (const Bytes& f : frames) EXPECT_EQ(Json(Decode(f, before)), Json(before));
}

TEST(NovatelDecoder, TrackStatBuildsTablesPerSystemAndSignal) {
    GnssState before;
    before.galileoCount = 2, before.galileoSats[0].prn = 11, before.satellitesTotal = 9;
    const GnssState s = Decode(TrackStatFrame({
                                   {5, 0, 0, 45.7f},       // GPS L1
                                   {5, 0, 9, 38.2f, 13},   // same satellite, L2 P(Y), rejected
                                   {40, 1, 0, 41.9f, 8},   // GLONASS, not used
                                   {40, 1, 5, 35.0f, 13},  // GLONASS second frequency
                                   {12, 4, 0, 39.5f},      // BeiDou
                                   {12, 4, 17, 30.0f},     // unknown signal type: SNRs stay
                                   {0, 0, 0, 50.0f},       // idle channel
                                   {-3, 0, 0, 50.0f},      // not a satellite
                                   {129, 2, 0, 44.0f},     // SBAS: no table
                               }),
                               before);
    // {prn, snr1, snr2, used, elevation, azimuth}
    ExpectTable(s.gpsSats, s.gpsCount, {{5, 45, 38, 1, 0, 0}});
    ExpectTable(s.glonassSats, s.glonassCount, {{40, 41, 35, 0, 0, 0}});
    ExpectTable(s.beidouSats, s.beidouCount, {{12, 39, 0, 1, 0, 0}});
    EXPECT_EQ(s.galileoCount, 2);
    EXPECT_EQ(s.galileoSats[0].prn, 11);
    EXPECT_EQ(s.satellitesTotal, 9);
}

TEST(NovatelDecoder, TrackStatReplacesTablesButNotWithNothing) {
    const GnssState first = Decode(TrackStatFrame({{5, 0, 0, 45}, {6, 0, 0, 44}}));
    EXPECT_EQ(Json(Decode(TrackStatFrame({}), first)), Json(first));
    const GnssState second = Decode(TrackStatFrame({{9, 0, 0, 40}}), first);
    EXPECT_EQ(second.gpsCount, 1);
    EXPECT_EQ(second.gpsSats[0].prn, 9);
    EXPECT_EQ(second.gpsSats[1].prn, 0);  // cleared, not left over
}

TEST(NovatelDecoder, RecordCountsAreBoundedByTablesBodyAnd128) {
    std::vector<Channel> many;
    for (std::int16_t prn = 1; prn <= 25; ++prn) many.push_back({prn, 0, 0, 40});
    GnssState s = Decode(TrackStatFrame(many));
    EXPECT_EQ(s.gpsCount, kSatTableSize);
    EXPECT_EQ(s.gpsSats[kSatTableSize - 1].prn, 20);

    // 128 idle channels, then one GPS satellite that lies past the limit.
    std::vector<Channel> idleFirst(128, Channel{0, 0, 0, 0});
    idleFirst.push_back({7, 0, 0, 40});
    EXPECT_EQ(Decode(TrackStatFrame(idleFirst)).gpsCount, 0);

    s = Decode(TrackStatFrame({{7, 0, 0, 40}, {8, 0, 0, 41}}, 100000));  // declares more than it holds
    EXPECT_EQ(s.gpsCount, 2);
}

TEST(NovatelDecoder, VisibilityLogsOnlyAngleTrackedSatellitesAboveHorizon) {
    const GnssState alone = Decode(SatVis2Frame(0, {{5, 45.9, 120.7}}));
    EXPECT_EQ(Json(alone), Json(GnssState{}));

    const Bytes tracked = TrackStatFrame({{5, 0, 0, 40}, {6, 0, 0, 40}, {40, 1, 0, 40}, {12, 4, 0, 40}});
    struct Row {
        const char* what;
        Bytes log;
        int gps5El, gps5Az, gps6El, glo40El, bds12El;
    } const rows[] = {
        {"SATVIS2 GPS", SatVis2Frame(0, {{5, 45.9, 120.7}, {6, -5.5, 10}, {7, 30, 30}}), 45, 120, 0, 0, 0},
        {"SATVIS2 GLONASS", SatVis2Frame(1, {{40, 12.5, 1}}), 0, 0, 0, 12, 0},
        {"SATVIS2 BeiDou", SatVis2Frame(6, {{12, 70.2, 1}}), 0, 0, 0, 0, 70},
        {"SATVIS2 Galileo", SatVis2Frame(5, {{5, 33, 1}}), 0, 0, 0, 0, 0},
        {"SATVIS by PRN range", SatVisFrame({{5, 0.0, 359.9}, {40, 8, 1}, {12, 50, 1}, {120, 30, 1}}), 0, 359,
         0, 8, 0},
    };
    for (const Row& r : rows) {
        const GnssState s = Decode(Concat({tracked, r.log}));
        EXPECT_EQ(s.gpsSats[0].elevation, r.gps5El) << r.what;
        EXPECT_EQ(s.gpsSats[0].azimuth, r.gps5Az) << r.what;
        EXPECT_EQ(s.gpsSats[1].elevation, r.gps6El) << r.what;
        EXPECT_EQ(s.glonassSats[0].elevation, r.glo40El) << r.what;
        EXPECT_EQ(s.beidouSats[0].elevation, r.bds12El) << r.what;
        EXPECT_EQ(s.gpsCount, 2) << r.what;
    }
}

TEST(NovatelDecoder, DopLogs) {
    for (std::uint16_t id : {174, 911}) {
        const GnssState s = Decode(Frame(id, Body(12).Put(0, 9.0f).Put(4, 1.75f).Put(8, 0.5f).bytes()));
        EXPECT_EQ(s.pdop, 1.75) << id;
        EXPECT_EQ(s.hdop, 0.5) << id;
    }
}

TEST(NovatelDecoder, BadCallsAndHugeCalls) {
    GnssState s;
    NovatelDecoder decoder(&s);
    EXPECT_EQ(decoder.Input(nullptr, 10), 0);
    const std::uint8_t byte = 0xAA;
    decoder.Input(&byte, 0);
    EXPECT_EQ(Json(s), Json(GnssState{}));

    // Far more than one read in one call: 20000 bytes of noise, then a frame.
    Bytes stream(20000, 0x55);
    const Bytes frame = BestPosFrame(16, 12.5);
    stream.insert(stream.end(), frame.begin(), frame.end());
    decoder.Input(stream.data(), static_cast<std::uint32_t>(stream.size()));
    EXPECT_EQ(s.latitude, 12.5);
    EXPECT_GT(decoder.Counters().droppedBytes, 0u);
}

}  // namespace
}  // namespace sextara
