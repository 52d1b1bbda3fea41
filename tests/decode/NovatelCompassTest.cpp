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

}  // namespace
}  // namespace sextara
