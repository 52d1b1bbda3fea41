// GSOF records and page assembly, on transmissions built byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "decode/GsofDecoder.h"
#include "support/GsofPackets.h"

namespace sextara {
namespace {

using namespace gsof_packets;

void Feed(GnssDecoder& decoder, const Bytes& stream) {
    decoder.Input(stream.data(), static_cast<std::uint32_t>(stream.size()));
}

GnssState Decode(const Bytes& stream) {
    GnssState state;
    GsofDecoder decoder(&state);
    Feed(decoder, stream);
    return state;
}

Satellite Sat(std::uint8_t prn, std::uint8_t system, bool used = true) {
    Satellite s;
    s.prn = prn;
    s.system = system;
    s.flags1 = used ? kUsedInPosition : 0;
    s.elevationDeg = 45;
    s.azimuthDeg = 300;
    s.snrL1x4 = 4 * 42 + 3;
    s.snrL2x4 = 4 * 37 + 1;
    return s;
}

TEST(GsofDecoder, OneTransmissionUpdatesTimeFixPositionDopSigmaAndTables) {
    PositionTime pt;
    pt.week = 2000;
    pt.timeOfWeekMs = 0;
    pt.flags2 = 0x07;
    Sigma sigma;
    sigma.sigmaEast = 3.0f;
    sigma.sigmaNorth = 4.0f;
    sigma.sigmaUp = 0.25f;
    const Bytes records =
        Concat({PositionTimeRecord(pt), LatLonHeightRecord(std::numbers::pi / 6, -2.0, 12.5),
                DopRecord(1.5f, 0.75f, 1.25f), SigmaRecord(sigma),
                AllSatellitesRecord({Sat(5, kGps), Sat(133, kSbas, false), Sat(7, kGlonass),
                                     Sat(11, kGalileo), Sat(19, kBeidou), Sat(3, kQzss)})});
    const GnssState s = Decode(Transmission(records));

    // GPS week 2000 begins at 2018-05-06 00:00:00 GPS, 18 leap seconds ahead of UTC.
    EXPECT_EQ(std::vector<int>({s.year, s.month, s.day, s.hour, s.minute, s.second}),
              std::vector<int>({2018, 5, 5, 23, 59, 42}));
    EXPECT_EQ(s.fixQuality, kFixFixed);
    // 180/3.1415926 instead of 180/pi would be off by about 1e-6 degrees.
    EXPECT_NEAR(s.latitude, 30.0, 1e-12);
    EXPECT_NEAR(s.longitude, -114.59155902616465, 1e-12);  // -2 rad
    EXPECT_EQ(s.altitude, 12.5);
    EXPECT_EQ(s.pdop, 1.5);
    EXPECT_EQ(s.hdop, 0.75);
    EXPECT_EQ(s.vdop, 1.25);
    EXPECT_EQ(s.hrms, 5.0);
    EXPECT_EQ(s.vrms, 0.25);

    EXPECT_EQ(s.gpsCount, 2);  // SBAS shares the GPS table
    EXPECT_EQ(s.glonassCount, 1);
    EXPECT_EQ(s.galileoCount, 1);
    EXPECT_EQ(s.beidouCount, 1);
    EXPECT_EQ(s.satellitesTotal, 5);  // QZSS has no table
    EXPECT_EQ(s.gpsSats[1].prn, 133);
    EXPECT_EQ(s.gpsSats[1].used, 0);
    const SatelliteEntry& b = s.beidouSats[0];
    EXPECT_EQ(std::vector<int>({b.prn, b.elevation, b.azimuth, b.snr1, b.snr2, b.used}),
              std::vector<int>({19, 45, 300, 42, 37, 1}));
}

TEST(GsofDecoder, FixQualityFromPositionFlagsAndHeldPosition) {
    struct Case {
        std::uint8_t flags2;
        double latitude, longitude;
        std::int32_t fix;
    };
    const Case cases[] = {
        {0x00, 0, 0, kFixNone},          {0x01, 0, 0, kFixDgps},          {0x03, 0, 0, kFixFloat},
        {0x07, 0, 0, kFixFixed},         {0x05, 0, 0, kFixSingle},        {0x06, 0, 0, kFixNone},
        {0x04, 0, 0, kFixSingle},        {0x0B, 0, 0, kFixNone},          {0x17, 0, 0, kFixFixed},
        {0x00, 31.2, 121.5, kFixSingle}, {0x06, 31.2, 121.5, kFixSingle}, {0x00, -33.9, 151.2, kFixNone},
        {0x00, 31.2, -0.5, kFixNone},    {0x00, 1.0, 121.5, kFixNone},    {0x01, 31.2, 121.5, kFixDgps},
    };
    for (const Case& c : cases) {
        GnssState state;
        state.latitude = c.latitude;
        state.longitude = c.longitude;
        GsofDecoder decoder(&state);
        PositionTime pt;
        pt.week = 2000;
        pt.flags2 = c.flags2;
        Feed(decoder, Transmission(PositionTimeRecord(pt)));
        EXPECT_EQ(state.fixQuality, c.fix)
            << "flags2 " << int{c.flags2} << " at " << c.latitude << "," << c.longitude;
    }
}

TEST(GsofDecoder, HorizontalSigmaIsSummedInSinglePrecision) {
    Sigma sigma;
    sigma.sigmaEast = 0.1f;
    sigma.sigmaNorth = 0.7f;
    const GnssState s = Decode(Transmission(SigmaRecord(sigma)));
    const double single = std::sqrt(static_cast<double>(0.7f * 0.7f + 0.1f * 0.1f));
    const double wide = std::sqrt(double{0.7f} * double{0.7f} + double{0.1f} * double{0.1f});
    ASSERT_NE(single, wide);
    EXPECT_EQ(s.hrms, single);
}

TEST(GsofDecoder, ThirtySatellitesStepOverALengthBytePlus256AndFillAtMostTwentyPerTable) {
    std::vector<Satellite> sats;
    for (int i = 0; i < 25; ++i) sats.push_back(Sat(static_cast<std::uint8_t>(i + 1), kGps));
    for (int i = 0; i < 5; ++i) sats.push_back(Sat(static_cast<std::uint8_t>(i + 1), kGlonass));
    const Bytes all = AllSatellitesRecord(sats);
    ASSERT_EQ(all[1], 45);  // 301 bytes after the length byte
    const GnssState s = Decode(Transmission(Concat({all, DopRecord(2.5f, 1, 1)})));

    EXPECT_EQ(s.pdop, 2.5);  // the record after it was found at 45 + 256 + 2
    EXPECT_EQ(s.gpsCount, 20);
    EXPECT_EQ(s.gpsSats[19].prn, 20);
    EXPECT_EQ(s.glonassCount, 5);
    EXPECT_EQ(s.satellitesTotal, 25);
}

TEST(GsofDecoder, MalformedRecordsReadNoFurtherThanTheyHold) {
    struct Case {
        std::string name;
        Bytes records;
        double pdop;
        std::int32_t gpsCount;
    };
    // Claims 30 satellites but holds 3; the length byte 31 is taken as 287.
    Bytes shortAll = AllSatellitesRecord({Sat(1, kGps), Sat(2, kGps), Sat(3, kGps)});
    shortAll[2] = 30;
    // Its length byte reaches one byte past the joined data.
    Bytes overlong = DopRecord(2.5f, 1, 1);
    overlong[1] = 17;
    const Case cases[] = {
        {"satellite_count_beyond_record", Concat({shortAll, DopRecord(2.5f, 1, 1)}), 0, 3},
        {"record_past_the_data", overlong, 0, 0},
        {"short_record_skipped", Concat({DopRecord(2.5f, 1, 1), Record(9, Bytes(4, 0x41))}), 2.5, 0},
    };
    for (const Case& c : cases) {
        const GnssState s = Decode(Transmission(c.records));
        EXPECT_EQ(s.pdop, c.pdop) << c.name;
        EXPECT_EQ(s.gpsCount, c.gpsCount) << c.name;
    }
}

// Pages of one record each, so that any set of joined pages parses: the pdop
// left behind tells which pages were decoded.
TEST(GsofDecoder, PagesAreJoinedOnlyInOrderFromAFirstPage) {
    const Bytes records = Concat({DopRecord(2.5f, 1, 1), DopRecord(3.5f, 1, 1), DopRecord(4.5f, 1, 1)});
    const std::size_t recordBytes = records.size() / 3;
    const std::vector<Bytes> p = TransmissionPackets(records, 4, recordBytes);
    const std::vector<Bytes> other = TransmissionPackets(records, 5, recordBytes);
    ASSERT_EQ(p.size(), 3u);
    const Bytes previous = Transmission(DopRecord(1.5f, 1, 1), 3);

    struct Case {
        std::string name;
        std::vector<Bytes> packets;
        double pdop;
    };
    const Case cases[] = {
        {"in_order", {p[0], p[1], p[2]}, 4.5},
        {"missing_first_page", {previous, p[1], p[2]}, 1.5},
        {"missing_middle_page", {p[0], p[2]}, 0},
        {"out_of_order", {p[0], p[2], p[1]}, 0},
        {"last_page_after_a_finished_transmission", {previous, p[2]}, 1.5},
        {"page_of_another_transmission", {p[0], other[1], p[2]}, 0},
        {"restarted_by_a_new_first_page", {p[0], p[1], other[0], other[1], other[2]}, 4.5},
        {"index_above_highest", {Packet(Page(4, 1, 0, DopRecord(2.5f, 1, 1)))}, 0},
        {"resumed_after_a_dropped_transmission", {p[0], p[2], p[0], p[1], p[2]}, 4.5},
    };
    for (const Case& c : cases) {
        Bytes stream;
        for (const Bytes& packet : c.packets) stream = Concat({stream, packet});
        EXPECT_EQ(Decode(stream).pdop, c.pdop) << c.name;
    }
}

}  // namespace
}  // namespace sextara
