#include "app/ClockSync.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"
#include "decode/ReceiverType.h"
#include "support/TempFiles.h"

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

platform::UtcTime Day(int year, int month, int day) {
    platform::UtcTime date;
    date.year = year;
    date.month = month;
    date.day = day;
    return date;
}

// The setter, the kernel's synchronisation state and the build date, all
// injected: no test reads or sets the machine's clock.
struct Harness {
    explicit Harness(platform::UtcTime notBefore = Day(2000, 1, 1)) : notBefore(notBefore) {}
    platform::UtcTime notBefore;
    std::vector<platform::UtcTime> calls;
    std::vector<std::string> log;
    bool succeed = false;
    bool kernelSynchronised = false;
    ClockSync sync{[this](const platform::UtcTime& utc, std::string& reason) {
                       calls.push_back(utc);
                       reason = "Operation not permitted, the program lacks CAP_SYS_TIME";
                       return succeed;
                   },
                   [this](const char* line) { log.push_back(line); }, [this] { return kernelSynchronised; },
                   notBefore};
};

// Three tries in all, automatic and manual together; a failure leaves the
// clock pending and reaches the log once.
TEST(ClockSync, ThreeTriesInAllAndOneLogLineForTheFailure) {
    Harness h;
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));  // not armed: the paint never tries
    EXPECT_TRUE(h.calls.empty());
    h.sync.Arm(ClockSync::Request::Automatic);
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
        h.sync.Arm(ClockSync::Request::Automatic);
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
    h.sync.Arm(ClockSync::Request::Automatic);
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

// Mended: a replayed capture never sets the clock. The demo's capture of
// 2016, replayed as a live receiver would send it, is refused at the first
// fix against this build's real date: one log line with both dates, no try
// spent, and no further attempt of that arming.
TEST(ClockSync, ATimeBeforeTheBuildIsNeverSet) {
    GnssStateStore store;
    DecoderHost decoders(store);
    decoders.CreateDecoder(enSkyTraq);
    const std::string capture = test::ReadBytes(std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/skytraq-dgps.log");
    decoders.Feed(reinterpret_cast<const std::uint8_t*>(capture.data()), static_cast<std::uint32_t>(capture.size()));
    const GnssState replayed = store.Snapshot();
    ASSERT_GT(replayed.fixQuality, 0);
    const platform::UtcTime built = platform::BuildDate();
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "Clock not set: GNSS time 2016-04-07 21:32:56 UTC is before this build (%04d-%02d-%02d)", built.year,
                  built.month, built.day);

    Harness h(built);
    h.succeed = true;
    h.sync.Arm(ClockSync::Request::Automatic);
    for (int paint = 0; paint < 5; ++paint) EXPECT_EQ(1, h.sync.OnPaint(replayed));
    EXPECT_FALSE(h.sync.Armed());
    // The user's request is refused the same way.
    EXPECT_EQ(ClockSync::Manual::Failed, h.sync.ManualSync(replayed));
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(ClockSync::kTries, h.sync.TriesLeft());
    EXPECT_EQ((std::vector<std::string>{expected, expected}), h.log);
    // sextara-headless --sync-clock on a replay: one line, not one a second.
    Harness headless(built);
    headless.sync.Arm(ClockSync::Request::Explicit);
    for (int paint = 0; paint < 5; ++paint) EXPECT_EQ(1, headless.sync.OnPaint(replayed));
    EXPECT_EQ(std::vector<std::string>{expected}, headless.log);
    EXPECT_EQ(expected, headless.sync.LastRefusal());
}

// Mended: the automatic synchronisation leaves a clock that the kernel keeps
// synchronised alone (one line per arming); the user's request still sets it.
TEST(ClockSync, ASynchronisedClockIsSetOnlyOnRequest) {
    Harness h;
    h.succeed = true;
    h.kernelSynchronised = true;
    h.sync.Arm(ClockSync::Request::Automatic);
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));
    EXPECT_TRUE(h.calls.empty());
    ASSERT_EQ(1u, h.log.size());
    EXPECT_NE(std::string::npos, h.log[0].find("Clock not set: the system clock is kept synchronised"));
    // Armed again at the next start: refused once more, logged once more.
    h.sync.Arm(ClockSync::Request::Automatic);
    EXPECT_EQ(1, h.sync.OnPaint(Fixed()));
    EXPECT_EQ(2u, h.log.size());

    EXPECT_EQ(ClockSync::Manual::Set, h.sync.ManualSync(Fixed()));
    ASSERT_EQ(1u, h.calls.size());
    EXPECT_EQ(2026, h.calls[0].year);
    // sextara-headless --sync-clock asks explicitly: set at the first fix.
    Harness headless;
    headless.succeed = true;
    headless.kernelSynchronised = true;
    headless.sync.Arm(ClockSync::Request::Explicit);
    EXPECT_EQ(0, headless.sync.OnPaint(Fixed()));
    EXPECT_EQ(1u, headless.calls.size());
}

}  // namespace
}  // namespace sextara
