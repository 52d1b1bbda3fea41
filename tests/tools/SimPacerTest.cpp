// The byte pacing of the simulated receiver, on made-up time: what a line of
// a given rate carries over many slices, with the fractions of a byte that
// single slices leave over.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>

#include "sim/ReceiverSim.h"

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;

struct PaceCase {
    const char* name;
    std::uint32_t bytesPerSecond;
    std::chrono::microseconds tick;
    int ticks;
    std::size_t expected;
};

void PrintTo(const PaceCase& c, std::ostream* os) {
    *os << c.name;
}

class PacerTotals : public ::testing::TestWithParam<PaceCase> {};

TEST_P(PacerTotals, AddUpToTheLineRate) {
    const PaceCase& c = GetParam();
    BytePacer pacer(c.bytesPerSecond, 100ms);
    BytePacer::TimePoint now{};
    pacer.Restart(now);
    std::size_t total = 0;
    for (int i = 0; i < c.ticks; ++i) {
        now += c.tick;
        total += pacer.Take(now);
    }
    EXPECT_EQ(total, c.expected);
}

// At 9600 baud a 10 ms slice carries 9.6 bytes: dropping the fraction in
// every slice would make 900 bytes a second of 960.
INSTANTIATE_TEST_SUITE_P(BytePacer, PacerTotals,
                         ::testing::Values(PaceCase{"Baud9600", 960, 10ms, 100, 960},
                                           PaceCase{"Baud115200", 11520, 10ms, 100, 11520},
                                           PaceCase{"Baud57600UnevenSlices", 5760, 7ms, 1000, 40320},
                                           PaceCase{"Baud19200BelowAByteASlice", 1920, 1ms, 1000, 1920},
                                           PaceCase{"Baud38400PartByteLeft", 3840, 13ms, 77, 3843}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BytePacer, DoesNotMakeUpForAStallBeyondTheBurst) {
    BytePacer pacer(960, 100ms);
    BytePacer::TimePoint now{};
    pacer.Restart(now);
    EXPECT_EQ(pacer.Take(now + 5s), 96u);
    // Time standing still or going back gives nothing.
    EXPECT_EQ(pacer.Take(now + 5s), 0u);
    EXPECT_EQ(pacer.Take(now + 4s), 0u);
}

TEST(BytePacer, RestartDropsWhatWasOwed) {
    BytePacer pacer(1000, 100ms);
    BytePacer::TimePoint now{};
    pacer.Restart(now);
    EXPECT_EQ(pacer.Take(now + 600us), 0u);
    pacer.Restart(now + 600us);
    // Without the restart the two 0.6-byte halves would make one byte.
    EXPECT_EQ(pacer.Take(now + 1200us), 0u);
    EXPECT_EQ(pacer.Take(now + 1600us), 1u);
}

}  // namespace
}  // namespace sextara::sim
