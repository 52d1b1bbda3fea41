// Real NovAtel captures through NovatelDecoder. Expected values come from the
// ASCII rendering of the same logs (the .ASC beside each .GPS); the captures
// without one were checked against a separate decode of their bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "NovatelTestFrames.h"
#include "decode/NovatelDecoder.h"

namespace sextara {
namespace {

using novatel_test::ExpectTable;

std::vector<std::uint8_t> ReadCapture(const std::string& name) {
    std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/novatel/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Fed in reads of 2048 bytes, as the decoding thread hands them over.
GnssState DecodeCapture(const std::string& name, std::size_t limit, DecoderCounters* counters = nullptr) {
    const auto bytes = ReadCapture(name);
    const std::size_t end = limit == 0 ? bytes.size() : std::min(limit, bytes.size());
    GnssState state;
    NovatelDecoder decoder(&state);
    for (std::size_t at = 0; at < end; at += 2048) {
        decoder.Input(bytes.data() + at, static_cast<std::uint32_t>(std::min<std::size_t>(2048, end - at)));
    }
    if (counters != nullptr) *counters = decoder.Counters();
    return state;
}

// ParsingData2.GPS up to the end of the SATVISB of 419453 s, before the
// next TRACKSTATB clears the tables again.
constexpr std::size_t kParsingDataThrough419453 = 51781;

struct BestPosCase {
    const char* file;
    std::size_t limit;  // bytes fed, 0 for all
    std::uint64_t frames;
    int fix;
    double latitude, longitude, height, latSigma, lonSigma, heightSigma;
    std::vector<int> utc;  // header week and seconds converted by hand
    double pdop = 0, hdop = 0;
};

TEST(NovatelCapture, LastBestPosTimeAndDop) {
    // clang-format off
    const BestPosCase cases[] = {
        // #BESTPOSA,...,1687,419928.000,...;SOL_COMPUTED,SINGLE,32.59535912622,-85.29567789741,
        //   199.9777,-29.2000,WGS84,1.1396,1.1687,2.4308,...
        {"gavlab/OneEach.GPS", 0, 8, 1, 32.59535912622, -85.29567789741, 199.9777, 1.1396, 1.1687, 2.4308,
         {2012, 5, 10, 20, 38, 33}},
        // #PSRDOPA,...,1687,420214.000,...;1.7325,1.5326,0.7952,...
        {"gavlab/OnceEachAgain.GPS", 0, 49, 1, 32.59536697319, -85.29568091247, 199.8451, 1.2596, 1.1674, 2.6585,
         {2012, 5, 10, 20, 43, 26}, 1.5326, 0.7952},
        {"gavlab/PropakWithGlonass.GPS", 0, 26, 1, 32.59532811063, -85.29565549971, 203.5659, 1.2855, 1.4367, 2.4617,
         {2012, 5, 10, 21, 46, 21}},
        // #PSRDOPA,...,1687,419397.100,...;1.7394,1.5397,0.7974,...
        {"gavlab/ParsingData2.GPS", kParsingDataThrough419453, 65, 1, 32.59536556717, -85.29568129784, 198.6895,
         1.2404, 1.1850, 2.7097, {2012, 5, 10, 20, 30, 38}, 1.5397, 0.7974},
        // Ends with a SATVISB cut short, which is never taken.
        {"gavlab/ParsingData2.GPS", 0, 67, 1, 32.59536558713, -85.29568125736, 198.6797, 1.2405, 1.1850, 2.7098,
         {2012, 5, 10, 20, 30, 39}, 1.5397, 0.7974},
        // SBAS (MSAS) fix, position type 18; week 1562, 515265 s.
        {"rtklib/oemv_200911218.gps", 0, 317, 2, 35.87299325740, 138.38966037451, 964.2825, 1.5018, 0.9166, 2.1304,
         {2009, 12, 18, 23, 7, 30}},
        // Week 2080, 412626.6 s; GPS - UTC = 18 s by then.
        {"novatel_gps_driver/bestpos-bestvel-psrdop2-sync.tcp-payload.gps", 0, 99, 1, 29.44391905319,
         -98.61475716968, 259.7144, 1.6793, 1.6559, 3.6262, {2019, 11, 21, 18, 36, 48}},
    };
    // clang-format on
    for (const BestPosCase& c : cases) {
        SCOPED_TRACE(c.file);
        DecoderCounters counters;
        const GnssState s = DecodeCapture(c.file, c.limit, &counters);
        EXPECT_EQ(counters.frames, c.frames);
        EXPECT_EQ(counters.checksumErrors, 0u);
        EXPECT_EQ(s.fixQuality, c.fix);
        EXPECT_NEAR(s.latitude, c.latitude, 1e-10);
        EXPECT_NEAR(s.longitude, c.longitude, 1e-10);
        EXPECT_NEAR(s.altitude, c.height, 5e-5);
        EXPECT_NEAR(s.latitudeSigma, c.latSigma, 5e-5);
        EXPECT_NEAR(s.longitudeSigma, c.lonSigma, 5e-5);
        EXPECT_NEAR(s.vrms, c.heightSigma, 5e-5);
        EXPECT_NEAR(s.hrms, std::hypot(c.latSigma, c.lonSigma), 1e-4);
        EXPECT_EQ((std::vector<int>{s.year, s.month, s.day, s.hour, s.minute, s.second}), c.utc);
        EXPECT_NEAR(s.pdop, c.pdop, 5e-5);
        EXPECT_NEAR(s.hdop, c.hdop, 5e-5);
    }
}

TEST(NovatelCapture, TrackStatAndSatVisTables) {
    // TRACKSTATA and SATVISA of 419453 s: C/No of the L1 channel (GOOD: used) and
    // of the L2 channel (OBSL2), elevation and azimuth truncated to whole degrees.
    // PRN 10 is tracked on an idle channel (NA). PRN 23 reads 62.0 in the ASCII
    // log, which rounds the 61.986 on the wire.
    const GnssState s = DecodeCapture("gavlab/ParsingData2.GPS", kParsingDataThrough419453);
    ExpectTable(s.gpsSats, s.gpsCount,
                {{16, 50, 45, 1, 72, 23},
                 {3, 49, 41, 1, 44, 150},
                 {30, 48, 41, 1, 44, 39},
                 {20, 46, 38, 1, 28, 232},
                 {10, 0, 0, 0, 3, 321},
                 {6, 49, 42, 1, 46, 125},
                 {13, 46, 36, 1, 29, 319},
                 {7, 39, 34, 1, 10, 285},
                 {19, 42, 35, 1, 14, 174},
                 {31, 45, 37, 1, 17, 79},
                 {32, 45, 35, 1, 25, 203},
                 {23, 51, 42, 1, 61, 315}});
    EXPECT_EQ(s.glonassCount, 0);

    // GPS and GLONASS on an OEMV; GLONASS channels carry rejection code 8 and
    // their second frequency as signal type 5; SBAS PRNs 129 and 137 have no table.
    const GnssState r = DecodeCapture("rtklib/oemv_200911218.gps", 0);
    ExpectTable(r.gpsSats, r.gpsCount,
                {{3, 50, 43, 1, 64, 24},
                 {22, 42, 34, 1, 10, 89},
                 {13, 42, 33, 1, 11, 254},
                 {6, 49, 42, 1, 55, 39},
                 {7, 49, 42, 1, 41, 302},
                 {19, 50, 46, 1, 70, 302},
                 {11, 44, 35, 1, 19, 212},
                 {18, 0, 0, 0, 5, 57},
                 {16, 48, 37, 1, 35, 100},
                 {8, 40, 34, 1, 10, 323}});
    ExpectTable(r.glonassSats, r.glonassCount,
                {{51, 49, 45, 0, 74, 228},
                 {54, 45, 43, 0, 39, 264},
                 {50, 45, 43, 0, 29, 167},
                 {60, 36, 32, 0, 19, 42},
                 {52, 44, 42, 0, 34, 325},
                 {45, 0, 0, 0, 9, 60}});
    EXPECT_EQ(r.beidouCount, 0);
}

}  // namespace
}  // namespace sextara
