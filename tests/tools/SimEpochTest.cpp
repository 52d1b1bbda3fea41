// Real-time playback of an NMEA capture: epochs by the sentences' own UTC
// time, one released per second.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/ReceiverSim.h"

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(EpochStarts, GroupsSentencesByTheirTime) {
    struct Case {
        const char* name;
        std::string capture;
        std::vector<std::size_t> expected;
    };
    const std::string gga1 = "$GPGGA,120000.00,x*00\r\n", gsv = "$GPGSV,1,1,00*00\r\n",
                      rmc1 = "$GPRMC,120000.00,A*00\r\n", gga2 = "$GPGGA,120001.00,x*00\r\n",
                      gll2 = "$GPGLL,4404,N,12118,W,120001.00,A*00\r\n", pst = "$PSTI,030,120002.00*00\r\n";
    const Case cases[] = {
        {"TwoEpochs", gga1 + gsv + rmc1 + gga2 + gsv, {0, gga1.size() + gsv.size() + rmc1.size()}},
        {"GllCarriesTimeInField5", gga1 + gll2, {0, gga1.size()}},
        {"ProprietaryAndGsvDoNotSplit", gga1 + gsv + pst, {}},
        {"CommentsBeforeTheFirstFix", "# capture\n" + gga1 + gga2, {0, 10 + gga1.size()}},
        {"BinaryHasNoEpochs", std::string("\xaa\x44\x12\x1c\x01\x02", 6), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, EpochStarts(Bytes(c.capture)));
    }
}

TEST(EpochPacer, OneEpochPerSecond) {
    EpochPacer pacer({0, 100, 250}, 400, 1000ms);
    EpochPacer::TimePoint now{};
    pacer.Restart(now);
    EXPECT_EQ(100u, pacer.Take(now, 0));
    EXPECT_EQ(0u, pacer.Take(now + 999ms, 100));
    EXPECT_EQ(150u, pacer.Take(now + 1000ms, 100));
    EXPECT_EQ(150u, pacer.Take(now + 2000ms, 250)) << "the last epoch runs to the capture's end";
    EXPECT_EQ(100u, pacer.Take(now + 3000ms, 0)) << "then the loop starts over";
    // A long stall does not release a burst of epochs afterwards.
    EXPECT_EQ(150u, pacer.Take(now + 60s, 100));
    EXPECT_EQ(0u, pacer.Take(now + 60s + 10ms, 250));
}

TEST(EpochPacer, RealCaptureStepsOneSecondPerEpoch) {
    std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/skytraq-dgps.log", std::ios::binary);
    const std::vector<std::uint8_t> capture{std::istreambuf_iterator<char>(in), {}};
    const auto starts = EpochStarts(capture);
    ASSERT_GT(starts.size(), 10u);
    // Every epoch after the first opens with the GGA of the next second.
    for (std::size_t i = 1; i < 4; ++i) {
        const std::string head(capture.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                               capture.begin() + static_cast<std::ptrdiff_t>(starts[i]) + 17);
        EXPECT_EQ("$GPGGA,21312" + std::to_string(1 + i) + ".000", head);
    }
}

}  // namespace
}  // namespace sextara::sim
