#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "NmeaTestSupport.h"

namespace sextara::test {
namespace {

std::string ReadCapture(const std::string& relative) {
    std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sentences a GPS-320FW sent while cold-booting (gpsd/gp-320fw-2019-04-07-coldboot.log):
// cut short, glued together, overwritten.
TEST(NmeaRealData, ColdbootCorruptionIsSkippedAndCounted) {
    Parser p(enOther);
    p.Feed("$GPGGA,000343.03,4808.9993,N,01135.0798,E,1,04,01.4,00460.0,M,0046.2,M,,*56\r\n");
    EXPECT_NEAR(48.149988333, p.state.latitude, 1e-9);
    EXPECT_NEAR(11.584663333, p.state.longitude, 1e-9);
    EXPECT_DOUBLE_EQ(460.0, p.state.altitude);
    EXPECT_DOUBLE_EQ(46.2, p.state.geoidSeparation);

    p.Feed("$GPRMC,000344.03,A,4808.9992,N,4,02.3*05\r\n");  // the middle is missing
    EXPECT_EQ(0, p.state.year);
    // A GSA lost its line end; the RMC after it is whole.
    p.Feed("$GPGSA,A,1,,,,,,,,,,,,,,,*1E$GPRMC,235949.00,V,0000.0000,N,00000.0000,E,,,161206,,,N*44\r\n");
    EXPECT_EQ(16, p.state.day);
    EXPECT_EQ(12, p.state.month);
    EXPECT_EQ(2006, p.state.year);
    // Two tails on one line: only the outer checksum covers it.
    p.Feed("$GPGSA,A,1,,,,,,,,,,,,,,,*1E*43\r\n");
    p.Feed(
        "$GPGGA,235952.00,0000.0000,N,00000.0000,E,0,00,0.0,,M,,M,,*00.0000,N,00000.0000,E,0,00,0.0,,M,,M,,*"
        "51\r\n");
    EXPECT_NEAR(48.149988333, p.state.latitude, 1e-9);
    EXPECT_EQ(kFixSingle, p.state.fixQuality);

    EXPECT_EQ(2u, p.Counters().frames);
    EXPECT_EQ(3u, p.Counters().checksumErrors);
}

// SkyTraq S2525F8-BD-RTK in DGPS (gpsd/skytraq-dgps.log), and a SiRF III
// west of Greenwich (gpsd/et-332.log): negative geoid separations.
TEST(NmeaRealData, DgpsFixWithNegativeGeoidSeparation) {
    Parser p(enSkyTraq);
    p.Feed("$GPGGA,213121.000,4404.1295864,N,12118.8685453,W,2,07,1.2,1102.537,M,-20.300,M,,0000*5F\r\n");
    EXPECT_EQ(kFixDgps, p.state.fixQuality);
    EXPECT_NEAR(44.068826440, p.state.latitude, 1e-9);
    EXPECT_NEAR(-121.314475755, p.state.longitude, 1e-9);
    EXPECT_DOUBLE_EQ(1102.537, p.state.altitude);
    EXPECT_DOUBLE_EQ(-20.3, p.state.geoidSeparation);

    p.Feed("$GPGGA,153347.000,3940.6986,N,07544.9356,W,1,09,1.3,75.2,M,-33.8,M,,0000*53\r\n");
    EXPECT_EQ(15, p.state.hour);
    EXPECT_NEAR(-75.748926667, p.state.longitude, 1e-9);
    EXPECT_DOUBLE_EQ(-33.8, p.state.geoidSeparation);
}

// u-blox ZED-F9P (gpsd/ublox-zed-f9p-nmea.log), two epochs: each constellation
// sends one GSV group for L1 and one for its second signal.
TEST(NmeaRealData, Blox9SecondGsvGroupFillsSnr2) {
    const std::string capture = ReadCapture("nmea/gpsd/ublox-zed-f9p-nmea.log");
    const std::size_t end = capture.find('\n', capture.find("$GNGST,003957.00"));
    ASSERT_NE(std::string::npos, end);
    Parser p(enBlox9P);
    p.Feed(capture.substr(0, end + 1));
    const GnssState& s = p.state;

    EXPECT_EQ(0, s.hour);
    EXPECT_EQ(39, s.minute);
    EXPECT_EQ(57, s.second);
    EXPECT_NEAR(-45.877567167, s.latitude, 1e-9);
    EXPECT_NEAR(170.500112167, s.longitude, 1e-9);
    EXPECT_EQ(2019, s.year);
    EXPECT_EQ(4, s.month);
    EXPECT_EQ(12, s.day);
    EXPECT_NEAR(4.188078318, s.hrms, 1e-9);
    EXPECT_DOUBLE_EQ(4.0, s.vrms);
    EXPECT_DOUBLE_EQ(1.05, s.pdop);

    EXPECT_EQ(12, s.gpsCount);
    EXPECT_EQ(10, s.glonassCount);
    EXPECT_EQ(10, s.beidouCount);
    EXPECT_EQ(9, s.galileoCount);
    EXPECT_EQ(41, s.satellitesTotal);

    struct Expected {
        const SatelliteEntry& entry;
        std::int32_t prn, snr1, snr2;
        std::uint8_t used;
    };
    const Expected expected[] = {
        {s.gpsSats[9], 27, 31, 29, 1},      // L1 C/A 31, L2 CL 29, in the solution
        {s.gpsSats[0], 5, 18, 0, 0},        // L1 only, not used
        {s.glonassSats[7], 82, 33, 34, 1},  // L1OF 33, L2OF 34
        {s.glonassSats[8], 87, 15, 0, 1},   // second epoch's L1 value, not the first's 17
        {s.galileoSats[4], 12, 31, 35, 1},  // E5b first, then E1
        {s.beidouSats[6], 13, 18, 0, 1},    // the second BeiDou group carries no SNR
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.prn);
        EXPECT_EQ(e.prn, e.entry.prn);
        EXPECT_EQ(e.snr1, e.entry.snr1);
        EXPECT_EQ(e.snr2, e.entry.snr2);
        EXPECT_EQ(e.used, e.entry.used);
    }
    EXPECT_EQ(0u, p.Counters().checksumErrors);
}

}  // namespace
}  // namespace sextara::test
