// The decoding thread hands over whatever has arrived, 1..2048 bytes, cut
// anywhere. Where the framing rules leave no room for the cut to matter, the
// final record must not depend on it: a capture fed in random chunks, or byte
// by byte, ends in exactly the state it reaches when fed in 2048-byte chunks.

#include <gtest/gtest.h>

#include <cstring>

#include "decode/StateJson.h"
#include "decode/ReceiverType.h"
#include "support/GsofPackets.h"
#include "tools/CaptureSupport.h"

namespace sextara::testing {
namespace {

// Every field, table entries past the counts included; doubles bit for bit.
bool SameState(const GnssState& a, const GnssState& b) {
    const auto sameTable = [](const SatelliteEntry* x, const SatelliteEntry* y) {
        for (int i = 0; i < kSatTableSize; ++i) {
            if (x[i].prn != y[i].prn || x[i].elevation != y[i].elevation || x[i].azimuth != y[i].azimuth ||
                x[i].snr1 != y[i].snr1 || x[i].snr2 != y[i].snr2 || x[i].used != y[i].used) {
                return false;
            }
        }
        return true;
    };
    const auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return sameTable(a.gpsSats, b.gpsSats) && sameTable(a.beidouSats, b.beidouSats) &&
           sameTable(a.glonassSats, b.glonassSats) && sameTable(a.galileoSats, b.galileoSats) &&
           a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.fixQuality == b.fixQuality &&
           same(a.latitude, b.latitude) && same(a.longitude, b.longitude) && same(a.altitude, b.altitude) &&
           same(a.geoidSeparation, b.geoidSeparation) && same(a.pdop, b.pdop) && same(a.hdop, b.hdop) &&
           same(a.vdop, b.vdop) && same(a.hrms, b.hrms) && same(a.vrms, b.vrms) &&
           same(a.latitudeSigma, b.latitudeSigma) && same(a.longitudeSigma, b.longitudeSigma) &&
           a.satellitesTotal == b.satellitesTotal && a.gpsCount == b.gpsCount &&
           a.glonassCount == b.glonassCount && a.beidouCount == b.beidouCount &&
           a.galileoCount == b.galileoCount && a.differentialAge == b.differentialAge;
}

// The parsers of these makes end a sentence at a lone LF when no CR LF has
// arrived yet, so in a capture that mixes both the cut decides where a line
// ends. Every other framer here waits for a fixed terminator or a length.
bool FallsBackToLf(std::int32_t make) {
    return make == enHemis || make == enSkyTraq || make == enOther;
}

bool CutCannotMatter(const CaptureRow& row) {
    if (row.make == enCompass) return false;  // drops everything held on a bad frame, so the cut matters
    return !row.IsNmea() || row.lineEnds != "mixed" || !FallsBackToLf(row.make);
}

// Byte-by-byte replay is slow under the sanitizers; the captures up to this
// size still include one for every NMEA parser and the NovAtel decoder.
constexpr std::size_t kByteByByteLimit = 24 * 1024;

class ChunkInvariance : public ::testing::TestWithParam<CaptureRow> {};

TEST_P(ChunkInvariance, FinalStateDoesNotDependOnTheCuts) {
    const CaptureRow& row = GetParam();
    const auto bytes = ReadBytes(row.DataPath());
    ASSERT_TRUE(bytes);
    const GnssState whole = Decode(row.make, *bytes, FixedChunks(kMaxChunk));

    struct Cut {
        std::string name;
        ChunkSizer sizer;
    };
    std::vector<Cut> cuts;
    for (std::uint64_t seed : {1u, 7u, 2024u})
        cuts.push_back({"random chunks, seed " + std::to_string(seed), RandomChunks(seed)});
    if (bytes->size() <= kByteByByteLimit) cuts.push_back({"byte by byte", FixedChunks(1)});

    for (const Cut& cut : cuts) {
        const GnssState got = Decode(row.make, *bytes, cut.sizer);
        EXPECT_TRUE(SameState(got, whole))
            << cut.name << ":\n"
            << DescribeJsonDifference(GnssStateToJson(got), GnssStateToJson(whole));
    }
}

std::vector<CaptureRow> InvariantRows() {
    std::vector<CaptureRow> out;
    for (const auto& row : CaptureRows()) {
        if (CutCannotMatter(row)) out.push_back(row);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Captures, ChunkInvariance, ::testing::ValuesIn(InvariantRows()),
                         [](const auto& info) { return RowTestName(info.param); });

// No real GSOF capture exists; a receiver-like stream stands in, with
// multi-page transmissions (40 satellites need two pages) between
// single-page ones.
TEST(ChunkInvarianceGsof, FinalStateDoesNotDependOnTheCuts) {
    const auto stream =
        gsof_packets::Concat({gsof_packets::SampleStream(30, 12), gsof_packets::SampleStream(30, 40),
                              gsof_packets::SampleStream(5, 12, 2301)});
    const GnssState whole = Decode(enTrimble, stream, FixedChunks(kMaxChunk));
    ASSERT_NE(GnssStateToJson(whole), GnssStateToJson(GnssState{})) << "nothing decoded";
    for (std::uint64_t seed : {1u, 7u, 2024u}) {
        const GnssState got = Decode(enTrimble, stream, RandomChunks(seed));
        EXPECT_TRUE(SameState(got, whole))
            << "seed " << seed << ":\n"
            << DescribeJsonDifference(GnssStateToJson(got), GnssStateToJson(whole));
    }
    EXPECT_TRUE(SameState(Decode(enTrimble, stream, FixedChunks(1)), whole)) << "byte by byte";
}

}  // namespace
}  // namespace sextara::testing
