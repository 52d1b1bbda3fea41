#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "corrections/CasterSettings.h"
#include "corrections/CorrectionLink.h"
#include "corrections/GgaSentence.h"
#include "corrections/LinkHarness.h"
#include "corrections/NetworkBringUp.h"

namespace sextara::corrections {
namespace {

using platform::RegistryStore;

CasterSettings FullSettings() {
    CasterSettings s;
    s.casterAddress = std::string(40, 'c') + ".example.net";  // over 32 characters: read back whole
    s.mountPoint = std::string(33, 'M');
    s.user = "u";
    s.password = std::string(63, 'p');
    s.port = 2101;
    s.reconnectCount = 3;
    s.useTypedPosition = true;
    s.typed = {"W", "S", 31.12345678, 121.5};
    s.resendCurrentPosition = true;
    s.useTls = true;
    s.caFile = "/etc/sextara/private-ca.pem";
    return s;
}

TEST(CasterSettingsStore, RoundTripOwnerOnlyFile) {
    test::TempDir dir;
    const std::string path = dir.File("registry.ini");
    test::WriteBytes(path, "; older file\n");
    ::chmod(path.c_str(), 0644);
    {
        RegistryStore store(path, {});
        ASSERT_TRUE(SaveCasterSettings(store, FullSettings(), {}));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(test::ReadBytes(path).find("\"InPutGGA_Lat\"=\"31.12345678\""), std::string::npos);

    RegistryStore again(path, {});
    CasterSettings loaded;
    ASSERT_TRUE(LoadCasterSettings(again, loaded, {}));
    const CasterSettings expected = FullSettings();
    EXPECT_EQ(loaded.casterAddress, expected.casterAddress);
    EXPECT_EQ(loaded.mountPoint, expected.mountPoint);
    EXPECT_EQ(loaded.password, expected.password);
    EXPECT_EQ(loaded.port, 2101u);
    EXPECT_EQ(loaded.reconnectCount, 3u);
    EXPECT_TRUE(loaded.useTypedPosition);
    EXPECT_DOUBLE_EQ(loaded.typed.latitude, 31.12345678);
    EXPECT_EQ(loaded.typed.northSouth, "S");
    EXPECT_EQ(loaded.typed.eastWest, "W");
    EXPECT_TRUE(loaded.resendCurrentPosition);
    EXPECT_TRUE(loaded.useTls);
    EXPECT_EQ(loaded.caFile, expected.caFile);
}

TEST(CasterSettingsStore, MissingKeyAndMissingValue) {
    test::TempDir dir;
    test::RecordingLog log;
    RegistryStore store(dir.File("registry.ini"), {});
    CasterSettings settings;
    settings.casterAddress = "kept";
    EXPECT_FALSE(LoadCasterSettings(store, settings, log.Function()));
    EXPECT_TRUE(log.Contains("LoadCasterSetting Unsuccessfully!"));

    auto key = store.CreateKey(kCasterSettingsKey);
    ASSERT_TRUE(key);
    key->SetString("Mount", "M");
    key->SetString("User", "U");
    key->SetString("Pass", "P");
    EXPECT_FALSE(LoadCasterSettings(store, settings, log.Function()));
    EXPECT_EQ(settings.mountPoint, "M");
    EXPECT_EQ(settings.password, "P");
    EXPECT_EQ(settings.casterAddress, "kept");
}

TEST(CasterSettingsValidation, RefusedWhenEntered) {
    struct Case {
        const char* name;
        void (*change)(CasterSettings&);
        bool refused;
    };
    const Case cases[] = {
        {"usable", [](CasterSettings&) {}, false},
        {"port 0", [](CasterSettings& s) { s.port = 0; }, true},
        {"port 0 with TLS: 443", [](CasterSettings& s) { s.port = 0, s.useTls = true; }, false},
        {"unreadable CA file", [](CasterSettings& s) { s.caFile = "/nonexistent/ca.pem"; }, true},
        {"port 65536", [](CasterSettings& s) { s.port = 65536; }, true},
        {"port 65535", [](CasterSettings& s) { s.port = 65535; }, false},
        {"empty address", [](CasterSettings& s) { s.casterAddress.clear(); }, true},
        {"address with a line break", [](CasterSettings& s) { s.casterAddress = "a\r\nX: y"; }, true},
        {"latitude 90.5", [](CasterSettings& s) { s.typed.latitude = 90.5; }, true},
        {"latitude -90", [](CasterSettings& s) { s.typed.latitude = -90; }, false},
        {"longitude -180.1", [](CasterSettings& s) { s.typed.longitude = -180.1; }, true},
        {"mount with a blank", [](CasterSettings& s) { s.mountPoint = "A B"; }, true},
        {"mount with a tab", [](CasterSettings& s) { s.mountPoint = "A\tB"; }, true},
        {"empty mount", [](CasterSettings& s) { s.mountPoint.clear(); }, false},
        {"request too long", [](CasterSettings& s) { s.user = std::string(63, 'u'); }, true},
        {"password of 64", [](CasterSettings& s) { s.password = std::string(64, 'p'); }, true},
    };
    for (const auto& c : cases) {
        CasterSettings s;
        s.casterAddress = "192.168.1.5";
        s.port = 2101;
        s.mountPoint = "RTCM32";
        s.user = "user";
        s.password = "pass";
        s.useTypedPosition = true;
        c.change(s);
        const auto message = ValidateCasterSettings(s);
        EXPECT_EQ(message.has_value(), c.refused) << c.name << ": " << message.value_or("");
    }
}

struct GgaCase {
    const char* name;
    GnssState state;
    bool typed;
    TypedPosition position;
    std::string expected;
};

GnssState State(int quality, double latitude, double longitude) {
    GnssState s{};
    s.fixQuality = quality;
    s.latitude = latitude;
    s.longitude = longitude;
    return s;
}

TEST(GgaSentence, Table) {
    GnssState fixed = State(4, 31.5, -121.25);
    fixed.hour = 12, fixed.minute = 34, fixed.second = 56;
    fixed.satellitesTotal = 8, fixed.hdop = 0.9, fixed.altitude = 12.346, fixed.geoidSeparation = -30.1;
    fixed.differentialAge = 2;
    GnssState noFix = State(0, 5.05, 0);
    noFix.hour = 23;  // not used without a fix
    noFix.geoidSeparation = 5.5, noFix.differentialAge = 7;
    // Checksums typed from an independent computation.
    const GgaCase cases[] = {
        {"RTK fixed", fixed, false, {},
         "$GPGGA,123456.00,3130.0000000,N,12115.0000000,W,4,08,0.9,12.35,M,-30.10,M,2,0000*52\r\n"},
        {"no fix: clock time, fixed stand-ins, zero before minutes below 10", noFix, false, {},
         "$GPGGA,010203.00,0503.0000000,N,00000.0000000,E,1,09,0.7,1.00,M,5.50,M,7,0000*62\r\n"},
        {"typed, sign ignored, minutes of 59.99999999 carried", State(0, 1, 1), true,
         {"E", "S", -(10 + 59.99999999 / 60), 100 + 59.99999999 / 60},
         "$GPGGA,010203.00,1100.0000000,S,10100.0000000,E,1,09,0.7,1.00,M,0.00,M,0,0000*7E\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildGgaSentence(c.state, &c.position, c.typed, UtcTimeOfDay{1, 2, 3}), c.expected) << c.name;
    }
    EXPECT_EQ(NmeaChecksum("J@"), "0A");
}

// The periodic GGA keeps the sentence built at Start unless the option is on
// and the receiver has a fix; then it carries the position of the moment.
TEST(GgaSentence, CurrentPositionOnlyWithTheOptionAndAFix) {
    const struct {
        bool option;
        int fix;
        bool rebuilt;
    } cases[] = {{false, 1, false}, {true, 0, false}, {true, 1, true}, {true, 4, true}};
    for (const auto& c : cases) {
        test::TempDir dir;
        RegistryStore store(dir.File("registry.ini"), {});
        GnssState state{};
        state.fixQuality = c.fix;
        state.latitude = 52.5;
        state.longitude = 13.25;
        CorrectionLink link(store, {}, platform::SystemClock(), [&] { return state; });
        CasterSettings s;
        s.resendCurrentPosition = c.option;
        link.SetSettings(s);
        link.SetGgaSentence("built at Start");
        link.RefreshGgaPosition();
        EXPECT_EQ(link.GgaSentence() != "built at Start", c.rebuilt) << c.option << c.fix;
        if (c.rebuilt) {
            EXPECT_NE(link.GgaSentence().find(",5230.0000000,N,01315.0000000,E,"), std::string::npos)
                << link.GgaSentence();
        }
    }
}

TEST(GgaSentence, ClockTimeIsUtc) {
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    ::setenv("TZ", "NZST-12", 1);  // twelve hours from UTC: never the same hour
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const UtcTimeOfDay clock = CurrentUtcTimeOfDay();
    if (saved) ::setenv("TZ", savedZone.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
    EXPECT_TRUE(clock.hour == utc.tm_hour || clock.minute == 0) << clock.hour << " " << utc.tm_hour;
}

TEST(NetworkCheck, InterfacesAndLoopbackCaster) {
    EXPECT_TRUE(EnsureNetwork("127.0.0.1"));
    EXPECT_TRUE(EnsureNetwork("localhost"));
    sockaddr loopbackAddress{};
    loopbackAddress.sa_family = AF_INET;
    ifaddrs loopback{};
    loopback.ifa_name = const_cast<char*>("lo");
    loopback.ifa_flags = IFF_UP | IFF_LOOPBACK;
    loopback.ifa_addr = &loopbackAddress;
    ifaddrs wlanDown = loopback;
    wlanDown.ifa_name = const_cast<char*>("wlan0");
    wlanDown.ifa_flags = 0;
    loopback.ifa_next = &wlanDown;
    EXPECT_FALSE(HasNetworkInterface(&loopback));
    wlanDown.ifa_flags = IFF_UP;
    EXPECT_TRUE(HasNetworkInterface(&loopback));
    wlanDown.ifa_addr = nullptr;
    EXPECT_FALSE(HasNetworkInterface(&loopback));
}

}  // namespace
}  // namespace sextara::corrections
