#include <gtest/gtest.h>

#include <array>

#include "NovatelTestFrames.h"
#include "decode/NovatelDecoder.h"

namespace sextara {
namespace {

using namespace novatel_test;

GnssState Decode(const Bytes& stream) {
    GnssState state;
    NovatelDecoderCompass decoder(&state);
    decoder.Input(stream.data(), static_cast<std::uint32_t>(stream.size()));
    return state;
}

// SATMSG records as {prn, azimuth, elevation, flags, snr1, snr2}.
Bytes SatMsgFrame(std::uint8_t frequencies, const std::vector<std::array<std::uint8_t, 6>>& sats,
                  std::size_t declared) {
    const std::size_t size = frequencies == 7 ? 16 : 12;
    Body body(6 + size * sats.size());
    body.Put(0, static_cast<std::uint8_t>(declared)).Put(5, frequencies);
    for (std::size_t i = 0; i < sats.size(); ++i) {
        const auto& [prn, azimuth, elevation, flags, snr1, snr2] = sats[i];
        const std::size_t at = 6 + size * i;
        // Azimuths go out negated to show that the field is signed.
        body.Put(at, prn).Put(at + 1, static_cast<std::int16_t>(-azimuth)).Put(at + 3, elevation);
        body.Put(at + 4, flags).Put(at + 5, snr1).Put(at + 9, snr2);
    }
    return Frame(911, body.bytes());
}

TEST(NovatelCompass, SatMsgRoutesByPrn) {
    for (std::uint8_t frequencies : {2, 7}) {
        const GnssState s = Decode(SatMsgFrame(frequencies,
                                               {{1, 10, 20, 1, 44, 40},
                                                {32, 11, 21, 0, 43, 0},
                                                {33, 1, 1, 1, 1, 1},
                                                {140, 1, 1, 1, 1, 1},
                                                {141, 12, 22, 1, 42, 38},
                                                {177, 13, 23, 1, 41, 37},
                                                {178, 1, 1, 1, 1, 1},
                                                {0, 1, 1, 1, 1, 1}},
                                               8));
        EXPECT_EQ(s.satellitesTotal, 8);
        // {prn, snr1, snr2, used, elevation, azimuth}
        ExpectTable(s.gpsSats, s.gpsCount, {{1, 44, 40, 1, 20, -10}, {32, 43, 0, 0, 21, -11}});
        ExpectTable(s.beidouSats, s.beidouCount, {{141, 42, 38, 1, 22, -12}, {177, 41, 37, 1, 23, -13}});
        EXPECT_EQ(s.glonassCount, 0);
    }
    std::vector<std::array<std::uint8_t, 6>> many;
    for (std::uint8_t prn = 1; prn <= 30; ++prn) many.push_back({prn, 0, 10, 1, 40, 0});
    EXPECT_EQ(Decode(SatMsgFrame(2, many, 200)).gpsCount, kSatTableSize);
}

TEST(NovatelCompass, ReadsOnlyItsOwnLogs) {
    const GnssState s = Decode(Concat({BestPosFrame(48, 1.25), TrackStatFrame({{5, 0, 0, 40}}),
                                       Frame(174, Body(12).Put(4, 3.0f).bytes())}));
    EXPECT_EQ(s.fixQuality, 4);
    EXPECT_EQ(s.latitude, 1.25);
    EXPECT_EQ(s.gpsCount, 0);
    EXPECT_EQ(s.pdop, 0);
}

// Each row: reads in order; which BESTPOS survives (by latitude) and the counters.
TEST(NovatelCompass, DropsEverythingOnAFault) {
    const Bytes good = BestPosFrame(16, 7.5);
    Bytes badCrc = BestPosFrame(16, 1.0);
    badCrc.back() ^= 1;
    const Bytes wrongHeader = Frame(42, Body(72).bytes(), 2000, 0, 27);
    const Bytes noise(40, 0x55);
    const Bytes bigBody = Frame(300, Bytes(11000, 0));  // more than may be held before it completes
    struct Row {
        const char* what;
        std::vector<Bytes> reads;
        double latitude;
        std::uint64_t frames, checksumErrors, oversize;
    } const rows[] = {
        {"bad CRC takes the good frame behind it", {Concat({badCrc, good})}, 0, 0, 1, 0},
        {"a later read starts afresh", {badCrc, good}, 7.5, 1, 1, 0},
        {"header length not 28", {Concat({wrongHeader, good})}, 0, 0, 0, 0},
        {"noise without a sync is dropped", {noise, good}, 7.5, 1, 0, 0},
        {"sync cut by a read",
         {Concat({noise, Bytes(good.begin(), good.begin() + 2)}), Bytes(good.begin() + 2, good.end())},
         7.5,
         1,
         0,
         0},
        {"incomplete frame kept",
         {Bytes(good.begin(), good.begin() + 50), Bytes(good.begin() + 50, good.end())},
         7.5,
         1,
         0,
         0},
        {"frame too big to hold", {Concat({Frame(300, Bytes(12100, 0)), good})}, 7.5, 1, 0, 1},
        {"overflow drops what is held",
         {Bytes(bigBody.begin(), bigBody.begin() + 2000), Bytes(8000, 0),
          Bytes(good.begin(), good.begin() + 30), Bytes(good.begin() + 30, good.end())},
         7.5,
         1,
         0,
         0},
    };
    for (const Row& r : rows) {
        GnssState s;
        NovatelDecoderCompass decoder(&s);
        for (const Bytes& read : r.reads) decoder.Input(read.data(), static_cast<std::uint32_t>(read.size()));
        EXPECT_EQ(s.latitude, r.latitude) << r.what;
        EXPECT_EQ(decoder.Counters().frames, r.frames) << r.what;
        EXPECT_EQ(decoder.Counters().checksumErrors, r.checksumErrors) << r.what;
        EXPECT_EQ(decoder.Counters().oversize, r.oversize) << r.what;
    }
}

}  // namespace
}  // namespace sextara
