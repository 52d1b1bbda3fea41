#include "app/ClockSync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/GnssDecoder.h"
#include "decode/ReceiverType.h"

namespace sextara {
namespace {

GnssState Fixed(int year = 2026) {
    GnssState s{};
    s.fixQuality = 1;
    s.year = year;
    s.month = 12;
    s.day = 8;
    s.hour = 11;
    s.minute = 30;
    s.second = 15;
    return s;
}

struct Harness {
    std::vector<platform::UtcTime> calls;
    std::vector<std::string> log;
    bool succeed = false;
    ClockSync sync{[this](const platform::UtcTime& utc, std::string& reason) {
                       calls.push_back(utc);
                       reason = "Operation not permitted, the program lacks CAP_SYS_TIME";
                       return succeed;
                   },
                   [this](const char* line) { log.push_back(line); }};
};

// Three tries in all, automatic and manual together; a failure leaves the
// clock pending and reaches the log once.
TEST(ClockSync, ThreeTriesInAllAndOneLogLineForTheFailure) {
    Harness h;
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));  // not armed: the paint never tries
    EXPECT_TRUE(h.calls.empty());
    h.sync.Arm();
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));
    EXPECT_EQ(ClockSync::Manual::Failed, h.sync.ManualSync(Fixed()));
    EXPECT_EQ(ClockSync::Manual::Failed, h.sync.ManualSync(Fixed()));
    EXPECT_EQ(ClockSync::Manual::Failed, h.sync.ManualSync(Fixed()));
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));
    EXPECT_EQ(3u, h.calls.size());
    EXPECT_EQ(0, h.sync.TriesLeft());
    EXPECT_EQ(1, h.sync.Pending());
    ASSERT_EQ(1u, h.log.size());
    EXPECT_NE(std::string::npos, h.log[0].find("CAP_SYS_TIME"));
}

TEST(ClockSync, StatesThatSpendNoTry) {
    struct Case {
        const char* what;
        GnssState state;
        ClockSync::Manual manual;
    };
    GnssState noFix = Fixed();
    noFix.fixQuality = 0;
    GnssState beyond = Fixed();
    beyond.fixQuality = 5;
    GnssState badDay = Fixed();
    badDay.month = 2;
    badDay.day = 30;
    const Case cases[] = {
        {"no fix", noFix, ClockSync::Manual::NoFix},
        // A GGA before the first RMC: a fix, but year 0.
        {"no date yet", Fixed(0), ClockSync::Manual::Failed},
        {"impossible date", badDay, ClockSync::Manual::Failed},
    };
    for (const Case& c : cases) {
        Harness h;
        h.sync.Arm();
        EXPECT_EQ(1, h.sync.OnPaint(c.state)) << c.what;
        EXPECT_EQ(c.manual, h.sync.ManualSync(c.state)) << c.what;
        EXPECT_TRUE(h.calls.empty()) << c.what;
        EXPECT_EQ(ClockSync::kTries, h.sync.TriesLeft()) << c.what;
    }
    // The button ignores a fix code beyond 4.
    Harness h;
    EXPECT_EQ(ClockSync::Manual::Ignored, h.sync.ManualSync(beyond));
    EXPECT_TRUE(h.calls.empty());
}

// From an NMEA receiver the clock is set to the RMC's UTC time with 0 ms,
// and after success the paint tries no more.
TEST(ClockSync, SetsUtcWithZeroMillisecondsFromAnNmeaMake) {
    GnssStateStore store;
    DecoderHost decoders(store);
    decoders.CreateDecoder(enOther);
    const std::string nmea =
        "$GPGGA,092751.000,5321.6802,N,00630.3371,W,1,8,1.03,61.7,M,55.3,M,,*75\r\n"
        "$GPRMC,092751.000,A,5321.6802,N,00630.3371,W,0.06,31.66,280511,,,A*45\r\n";
    decoders.Feed(reinterpret_cast<const std::uint8_t*>(nmea.data()), static_cast<std::uint32_t>(nmea.size()));
    Harness h;
    h.succeed = true;
    h.sync.Arm();
    EXPECT_EQ(0, h.sync.OnPaint(store.Snapshot()));
    ASSERT_EQ(1u, h.calls.size());
    const platform::UtcTime& t = h.calls[0];
    EXPECT_EQ(2011, t.year);
    EXPECT_EQ(5, t.month);
    EXPECT_EQ(28, t.day);
    EXPECT_EQ(9, t.hour);
    EXPECT_EQ(27, t.minute);
    EXPECT_EQ(51, t.second);
    EXPECT_EQ(0, t.millisecond);
    EXPECT_EQ(0, h.sync.OnPaint(store.Snapshot()));
    EXPECT_EQ(1u, h.calls.size());
    EXPECT_EQ(ClockSync::Manual::Set, h.sync.ManualSync(store.Snapshot()));
}

}  // namespace
}  // namespace sextara
