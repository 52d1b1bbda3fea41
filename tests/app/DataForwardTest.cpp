#include "app/DataForward.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "record/RecordFormat.h"
#include "support/HomeFolderTest.h"
#include "support/PtyPair.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

bool ChecksumHolds(const std::string& sentence) {
    const auto star = sentence.find('*');
    if (sentence.size() < 6 || sentence[0] != '$' || star == std::string::npos) return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "%02X\r\n", sum);
    return sentence.substr(star + 1) == tail;
}

std::string Body(const std::string& sentence) { return sentence.substr(1, sentence.find('*') - 1); }

TEST(ForwardGga, CarriesTheReceiversOwnFixQuality) {
    GnssState fix{};
    fix.fixQuality = 4;
    fix.hour = 9;
    fix.minute = 27;
    fix.second = 51;
    fix.latitude = 5.05;
    fix.longitude = -121.25;
    fix.satellitesTotal = 8;
    fix.hdop = 1.03;
    fix.altitude = 61.7;
    fix.geoidSeparation = 55.3;
    fix.differentialAge = 2;
    GnssState none = fix;
    none.fixQuality = 0;
    none.latitude = -10.99999999999;  // minutes that round to 60 carry
    const std::pair<GnssState, const char*> cases[] = {
        {fix, "GPGGA,092751.00,0503.0000000,N,12115.0000000,W,4,08,1.0,61.70,M,55.30,M,2,0000"},
        // No fix: quality 0 and the real values, the local time of day.
        {none, "GPGGA,130405.00,1100.0000000,S,12115.0000000,W,0,08,1.0,61.70,M,55.30,M,2,0000"},
    };
    for (const auto& [state, body] : cases) {
        const std::string gga = BuildForwardGga(state, 13, 4, 5);
        EXPECT_EQ(body, Body(gga));
        EXPECT_TRUE(ChecksumHolds(gga)) << gga;
    }
}

class ForwardTest : public test::HomeFolderTest {
protected:
    platform::ManualClock clock_;
};

// The tick opens COM1 and then sends one valid GGA per tick.
TEST_F(ForwardTest, OneValidGgaPerTickReachesTheDataPort) {
    test::PtyPair data;
    platform::SetComDevicePath(kDataPortNumber, data.SlavePath());
    AppContext app(clock_);
    {
        std::lock_guard<std::mutex> hold(app.gnss.Mutex());
        GnssState* s = app.gnss.Raw();
        s->fixQuality = 2;
        s->hour = 12;
        s->latitude = 31.5;
        s->longitude = 121.5;
        s->satellitesTotal = 11;
    }
    app.registry.dataTransfer = 1;
    AppCore core(app);
    core.Tick();
    EXPECT_TRUE(app.dataPort.IsOpen());
    for (int tick = 0; tick < 3; ++tick) {
        core.Tick();
        const std::string expected = BuildForwardGga(app.gnss.Snapshot());
        const std::string got = test::ToText(data.Receive(expected.size()));
        EXPECT_EQ(expected, got);
        EXPECT_TRUE(ChecksumHolds(got));
        EXPECT_NE(std::string::npos, got.find(",3130.0000000,N,12130.0000000,E,2,11,"));
    }
    EXPECT_EQ(1, app.registry.dataTransfer);
}

TEST_F(ForwardTest, RefusedWhileRecordingAndTheOpenFailure) {
    test::PtyPair gps;
    test::PtyPair data;
    platform::SetComDevicePath(3, gps.SlavePath());
    platform::SetComDevicePath(kDataPortNumber, data.SlavePath());
    AppContext app(clock_, 5ms);
    app.config.GPSPort = 3;
    app.registry.recordDataType = kRecordNormal;
    AppCore core(app);
    ASSERT_TRUE(core.Start());
    ASSERT_TRUE(core.StartRecording(home_.Path(), "Fwd"));
    EXPECT_EQ(ForwardSwitch::RefusedRecording, SetForwarding(app, true));
    EXPECT_EQ(0, app.registry.dataTransfer);
    // Switched on before the recording: the tick leaves the closed port alone.
    app.registry.dataTransfer = 1;
    core.Tick();
    EXPECT_FALSE(app.dataPort.IsOpen());
    EXPECT_EQ(1, app.registry.dataTransfer);
    core.StopRecording();

    platform::SetComDevicePath(kDataPortNumber, home_.File("no-such-device"));
    EXPECT_EQ(ForwardSwitch::OpenFailed, SetForwarding(app, true));
    EXPECT_NE(std::string::npos, Log().find("Open COM1 Port Failed!"));
    EXPECT_EQ(1, app.registry.dataTransfer);  // the box leaves it as it was
    core.Tick();
    EXPECT_NE(std::string::npos, Log().find("Open Data Transf Failed!"));
    EXPECT_EQ(0, app.registry.dataTransfer);

    platform::SetComDevicePath(kDataPortNumber, data.SlavePath());
    EXPECT_EQ(ForwardSwitch::On, SetForwarding(app, true));
    EXPECT_EQ(1, app.registry.dataTransfer);
    EXPECT_EQ(ForwardSwitch::Off, SetForwarding(app, false));
    EXPECT_EQ(0, app.registry.dataTransfer);
}

}  // namespace
}  // namespace sextara
