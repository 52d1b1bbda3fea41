#include "app/AppContext.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "decode/StateJson.h"
#include "platform/Paths.h"
#include "sim/ReceiverSim.h"
#include "support/HomeFolderTest.h"
#include "support/SimReceiver.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;
using sim::ReceiverSim;
using sim::ReceiverSimOptions;
using sim::ReceiverSimStats;

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using AppContextTest = test::HomeFolderTest;

TEST_F(AppContextTest, DefaultsWithoutConfigAndNothingCreatedAtExit) {
    {
        AppContext app;
        EXPECT_EQ(app.config.GPSPort, 3);
        EXPECT_EQ(app.config.GPSBaud, 57600);
        EXPECT_EQ(app.config.DiffPort, 4);
        EXPECT_EQ(app.config.receiverType, enOther);
        EXPECT_EQ(app.config.language, 1);
        EXPECT_EQ(app.registry.recordName, "LogRawName");
        EXPECT_EQ(app.registry.recordInterval, 3);
        EXPECT_EQ(app.registry.cutoffAngle, 10);
        EXPECT_FALSE(app.decoders.HasDecoder());
    }
    std::ifstream config(home_.File("config.ini"));
    EXPECT_FALSE(config.good()) << "a missing config.ini must never be created";
    // The settings key is created at exit, with the defaults.
    platform::RegistryStore store(platform::DataPath(platform::kRegistryFileName), nullptr);
    RegistrySettings reread;
    reread.recordName.clear();
    EXPECT_TRUE(LoadRegistrySettings(store, reread));
    EXPECT_EQ(reread.recordName, "LogRawName");
}

TEST_F(AppContextTest, ConfigReadAtStartAndWrittenBackKeepingTheRest) {
    {
        std::ofstream out(home_.File("config.ini"), std::ios::binary);
        out << "; site laptop\n[PORT]\nGPSPort=7\nGPSBaud=19200\n[BOARDTYPE]\nType=enHemis\n[OTHER]\nkeep=me\n";
    }
    {
        AppContext app;
        EXPECT_EQ(app.config.GPSPort, 7);
        EXPECT_EQ(app.config.GPSBaud, 19200);
        EXPECT_EQ(app.config.DiffPort, 6) << "read without the key";
        EXPECT_EQ(app.config.receiverType, enHemis);
        app.CreateDecoder(enBlox9P);
        app.config.GPSBaud = 115200;
    }
    const std::string saved = ReadText(home_.File("config.ini"));
    EXPECT_NE(saved.find("; site laptop\r\n[PORT]\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("GPSBaud=115200\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Type=enBlox9P\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[OTHER]\r\nkeep=me\r\n"), std::string::npos) << saved;
}

TEST_F(AppContextTest, CreateDecoderKeepsDecoderForUnknownMake) {
    AppContext app;
    app.CreateDecoder(enOther);
    ASSERT_TRUE(app.decoders.HasDecoder());
    app.CreateDecoder(12);
    EXPECT_EQ(app.decoders.Make(), 12);
    EXPECT_TRUE(app.decoders.HasDecoder());
}

TEST_F(AppContextTest, OpenFailureIsLoggedAndLeavesNoPath) {
    AppContext app;
    platform::SetComDevicePath(9, home_.File("no-such-device"));
    EXPECT_EQ(app.OpenGpsPort(9, 57600), 0);
    EXPECT_EQ(app.gpsPath.GpsPortOpen(), 0);
    EXPECT_NE(ReadText(home_.File("Mylog.txt")).find("Can't Open GPS Port!"), std::string::npos);
}

// A real capture streamed by the simulator through the pty, the reader, the
// pump and the decoder thread ends in the same state as the same bytes fed
// straight into a decoder of that make.
TEST_F(AppContextTest, CaptureThroughSimulatorMatchesDirectDecode) {
    const std::string capture = std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/skytraq-fix.log";
    const std::vector<std::uint8_t> bytes = ReadBytes(capture);
    ASSERT_FALSE(bytes.empty());

    GnssStateStore directStore;
    DecoderHost direct(directStore);
    direct.CreateDecoder(enOther);
    direct.Feed(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    const std::string expected = GnssStateToJson(directStore.Snapshot());

    // After the capture the simulator sends a long quiet stretch (no '$'), so
    // the state stays put while it is compared.
    ReceiverSimOptions options = test::SimReceiver(enOther, 115200, 60s);
    options.captureBytes = bytes;
    options.captureBytes.resize(bytes.size() + 200000, '\0');
    ReceiverSim sim(options);
    ASSERT_TRUE(test::StartOnPort(sim, 4));

    AppContext app(platform::SystemClock(), 10ms);
    app.CreateDecoder(enOther);
    ASSERT_EQ(app.OpenGpsPort(4, 115200), 1);
    ASSERT_TRUE(sim.WaitFor([&](const ReceiverSimStats& s) { return s.bytesSent >= bytes.size() + 4096; }, 30s));
    const bool same = test::WaitUntil([&] { return GnssStateToJson(app.gnss.Snapshot()) == expected; }, 10s);
    EXPECT_TRUE(same) << GnssStateToJson(app.gnss.Snapshot()) << "\n" << expected;
    app.CloseGpsPort();
}

}  // namespace
}  // namespace sextara
