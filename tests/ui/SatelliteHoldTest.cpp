#include "ui/SatelliteHold.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"
#include "ui/ViewLayout.h"

namespace sextara {
namespace {

std::string ReadCapture(const std::string& relative) {
    std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<int> Prns(const GnssState& s, int constellation) {
    std::set<int> prns;
    const SatelliteEntry* table = SatTable(s, constellation);
    for (int i = 0; i < UsableSatCount(s, constellation); ++i) {
        if (table[i].prn != 0) prns.insert(table[i].prn);
    }
    return prns;
}

// A satellite that is shown, then missing, then shown again.
int Blinks(const std::vector<GnssState>& frames) {
    int blinks = 0;
    for (std::size_t k = 1; k + 1 < frames.size(); ++k) {
        for (int c = 0; c < 4; ++c) {
            const auto before = Prns(frames[k - 1], c), now = Prns(frames[k], c), after = Prns(frames[k + 1], c);
            for (int prn : before) blinks += after.count(prn) && !now.count(prn);
        }
    }
    return blinks;
}

// Real captures, looked at after every line as if a snapshot were taken there:
// the cuts inside GSV groups make the live tables blink, the held ones never.
TEST(SatelliteHold, RealCapturesCutInsideGroupsNeverBlink) {
    const struct {
        const char* capture;
        std::int32_t make;
        bool liveBlinks;  // the make clears its table at message 1
    } cases[] = {
        {"nmea/gpsd/skytraq-dgps.log", enSkyTraq, true},
        {"nmea/gpsd/ublox-zed-f9p-nmea.log", enBlox9P, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capture);
        const std::string bytes = ReadCapture(c.capture);
        GnssState state{};
        auto decoder = MakeDecoder(c.make, &state);
        SatelliteHold hold;
        std::vector<GnssState> live, shown;
        int insideGroup = 0;
        for (std::size_t at = 0, next; at < bytes.size(); at = next) {
            next = std::min(bytes.find('\n', at), bytes.size() - 1) + 1;
            decoder->Input(reinterpret_cast<const std::uint8_t*>(bytes.data() + at),
                           static_cast<std::uint32_t>(next - at));
            insideGroup += state.gsvInProgress != 0;
            live.push_back(state);
            shown.push_back(hold.Apply(state));
        }
        EXPECT_GT(insideGroup, 10);
        EXPECT_EQ(Blinks(live) > 0, c.liveBlinks);
        EXPECT_EQ(Blinks(shown), 0);
        // The last cut ends after whole groups: what is shown is what was decoded.
        EXPECT_EQ(Prns(shown.back(), 0), Prns(live.back(), 0));
    }
}

TEST(SatelliteHold, GivesUpAfterSnapshotsThatNeverLeaveTheGroup) {
    GnssState whole{};
    whole.galileoCount = 1;
    whole.galileoSats[0].prn = 7;
    GnssState partial = whole;
    partial.gsvInProgress = kGsvGalileo;
    partial.galileoCount = 2;
    partial.galileoSats[0].prn = 0;

    SatelliteHold fresh;
    EXPECT_EQ(fresh.Apply(partial).galileoCount, 2);  // nothing whole yet: live

    SatelliteHold hold;
    hold.Apply(whole);
    for (int i = 0; i < SatelliteHold::kMaxHeldSnapshots; ++i) {
        const GnssState s = hold.Apply(partial);
        EXPECT_EQ(s.galileoCount, 1);
        EXPECT_EQ(s.galileoSats[0].prn, 7);
        EXPECT_EQ(s.gsvInProgress, kGsvGalileo);
    }
    EXPECT_EQ(hold.Apply(partial).galileoCount, 2);
    hold.Apply(whole);
    EXPECT_EQ(hold.Apply(partial).galileoCount, 1);  // held again after a whole one
}

}  // namespace
}  // namespace sextara
