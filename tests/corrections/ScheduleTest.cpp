// The retry schedule and the GGA cadence, as pure functions of what happened
// and of the clock.

#include <gtest/gtest.h>

#include <vector>

#include "corrections/GgaReporter.h"
#include "corrections/RetryPolicy.h"
#include "platform/Clock.h"

namespace sextara::corrections {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Each row: how long the attempts so far delivered, and the wait expected
// before the next one at no jitter.
TEST(RetrySchedule, QuickRetriesOnlyAfterAWorkingConnectionThenDoubling) {
    const struct {
        const char* name;
        std::vector<milliseconds> delivered;
        milliseconds wait;
    } cases[] = {
        {"caster down from the start", {0ms}, 10s},
        {"second failure", {0ms, 0ms}, 20s},
        {"third", {0ms, 0ms, 0ms}, 40s},
        {"doubling stops at 300 s", {0ms, 0ms, 0ms, 0ms, 0ms, 0ms}, 300s},
        {"still 300 s", std::vector<milliseconds>(40, 0ms), 300s},
        {"ICY then drop: no quick retry", {2s}, 10s},
        {"29 s is not working", {29s, 29s}, 20s},
        {"a working connection dropped", {30s}, 800ms},
        {"quick retry 2", {30s, 0ms}, 800ms},
        {"quick retry 3", {30s, 0ms, 0ms}, 800ms},
        {"after the three quick ones", {30s, 0ms, 0ms, 0ms}, 10s},
        {"then doubling", {30s, 0ms, 0ms, 0ms, 0ms}, 20s},
        {"working again starts over", {0ms, 0ms, 0ms, 0ms, 45s}, 800ms},
        {"short connection after working", {30s, 0ms, 0ms, 0ms, 5s}, 20s},
    };
    for (const auto& c : cases) {
        RetryHistory history;
        for (const milliseconds d : c.delivered) history.Record(d);
        EXPECT_EQ(RetryDelay(history, 0.0), c.wait) << c.name;
    }
}

// The jitter is +-20 % of the slow waits, none of the quick ones; so no two
// slow attempts come within 8 s.
TEST(RetrySchedule, JitterBoundsAndNeverWithinEightSeconds) {
    RetryHistory down;
    down.Record(0ms);
    EXPECT_EQ(RetryDelay(down, -1.0), 8s);
    EXPECT_EQ(RetryDelay(down, 1.0), 12s);
    EXPECT_EQ(RetryDelay(down, -5.0), 8s);  // out of range is clamped
    RetryHistory worked;
    worked.Record(60s);
    EXPECT_EQ(RetryDelay(worked, -1.0), 800ms);
    RetryHistory longest;
    for (int i = 0; i < 10; ++i) longest.Record(0ms);
    EXPECT_EQ(RetryDelay(longest, 1.0), 360s);
    EXPECT_EQ(RetryDelay(longest, -1.0), 240s);
}

// After the reply's GGA the stream's first one goes at once; then every 5 s,
// never closer than 4 s and never further apart than 30 s when looked at
// once a second.
TEST(GgaCadence, InTimeNotInPasses) {
    platform::ManualClock clock;
    GgaReporter gga;
    gga.ConnectionStarted();
    std::vector<long long> sentAtMs;
    for (int tick = 0; tick <= 60 * 20; ++tick) {  // 60 s looked at every 50 ms
        if (gga.Due(clock.Now())) {
            gga.Sent(clock.Now());
            sentAtMs.push_back(std::chrono::duration_cast<milliseconds>(clock.Now().time_since_epoch()).count());
        }
        clock.Advance(50ms);
    }
    ASSERT_EQ(sentAtMs.size(), 13u);
    EXPECT_EQ(sentAtMs.front(), 0);
    for (std::size_t i = 1; i < sentAtMs.size(); ++i) EXPECT_EQ(sentAtMs[i] - sentAtMs[i - 1], 5000);
    // A new connection: due at once again.
    gga.ConnectionStarted();
    EXPECT_TRUE(gga.Due(clock.Now()));
    // A loop that looks only once a second still keeps within the bounds.
    gga.Sent(clock.Now());
    for (int second = 1; second <= 30; ++second) {
        clock.Advance(1s);
        if (gga.Due(clock.Now())) {
            EXPECT_GE(second, GgaReporter::kMinGap.count());
            EXPECT_LE(second, GgaReporter::kMaxGap.count());
            break;
        }
    }
}

}  // namespace
}  // namespace sextara::corrections
