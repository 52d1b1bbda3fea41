#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "gpsd/EpochGate.h"
#include "gpsd/GpsdJson.h"
#include "gpsd/GpsdTestSupport.h"
#include "support/TempFiles.h"

namespace sextara::gpsd {
namespace {

using nlohmann::json;

struct SampleSatellite {
    Constellation table;
    int receiverPrn;
    SatelliteId id;  // as gpsd_json(5) numbers it
};

struct CaptureCase {
    const char* path;
    std::int32_t make;
    int mode;
    int status;
    const char* time;
    std::vector<SampleSatellite> samples;
};

// The last record of real captures, against the record's own JSON that
// sextara-decode wrote into tests/data/expected.
const CaptureCase kCaptures[] = {
    {"nmea/gpsd/skytraq-dgps.log", enSkyTraq, 3, 2, "2016-04-07T21:32:56.000Z",
     {{Constellation::kGps, 51, {1, 138, 138}},      // NMEA SBAS number 51 is PRN 138
      {Constellation::kGps, 193, {5, 1, 193}},       // QZSS in the GPGSV
      {Constellation::kBeidou, 214, {3, 14, 414}}}},
    {"nmea/gpsd/nmea-rtk.log", enTrimbleNMEA, 3, 3, "2020-03-18T13:39:01.000Z", {}},
    {"nmea/gpsd/ublox-zed-f9p-nmea.log", enBlox9P, 3, 1, "2019-04-12T00:40:24.000Z",
     {{Constellation::kGps, 5, {0, 5, 5}},
      {Constellation::kGlonass, 65, {6, 1, 65}},
      {Constellation::kBeidou, 1, {3, 1, 401}},
      {Constellation::kGalileo, 2, {2, 2, 302}}}},
    {"novatel/gavlab/ParsingData2.GPS", enNovtel, 3, 1, "2012-05-10T20:30:39.000Z",
     {{Constellation::kGps, 16, {0, 16, 16}}}},
};

void ExpectOptional(const json& object, const char* key, double value, bool present) {
    if (present) {
        ASSERT_TRUE(object.contains(key)) << key;
        EXPECT_EQ(object[key].get<double>(), value) << key;
    } else {
        EXPECT_FALSE(object.contains(key)) << key;
    }
}

TEST(GpsdJson, TpvAndSkyCarryTheRecordsNumbersOfRealCaptures) {
    const DeviceInfo device{"/dev/ttyUSB0", "enOther", "", 115200, false};
    for (const CaptureCase& c : kCaptures) {
        SCOPED_TRACE(c.path);
        const GnssState state = test::DecodeCapture(c.path, c.make);
        const json record = json::parse(test::ReadBytes(test::DataFile(std::string("expected/") + c.path + ".json")));
        const json tpv = json::parse(TpvJson(state, device));
        const json sky = json::parse(SkyJson(state, device));

        EXPECT_EQ(tpv["class"], "TPV");
        EXPECT_EQ(tpv["device"], "/dev/ttyUSB0");
        EXPECT_EQ(tpv["mode"], c.mode);
        EXPECT_EQ(tpv["status"], c.status);
        EXPECT_EQ(tpv["time"], c.time);
        EXPECT_EQ(tpv["lat"].get<double>(), record["latitude"].get<double>());
        EXPECT_EQ(tpv["lon"].get<double>(), record["longitude"].get<double>());
        EXPECT_EQ(tpv["altMSL"].get<double>(), record["altitude"].get<double>());
        const double geoid = record["geoidSeparation"];
        ExpectOptional(tpv, "altHAE", record["altitude"].get<double>() + geoid, geoid != 0);
        ExpectOptional(tpv, "eph", record["hrms"], record["hrms"] > 0);
        ExpectOptional(tpv, "epv", record["vrms"], record["vrms"] > 0);
        ExpectOptional(tpv, "epx", record["longitudeSigma"], record["longitudeSigma"] > 0);
        ExpectOptional(tpv, "epy", record["latitudeSigma"], record["latitudeSigma"] > 0);
        ExpectOptional(tpv, "dgpsAge", record["differentialAge"],
                       record["fixQuality"] >= 2 && record["differentialAge"] > 0);

        EXPECT_EQ(sky["class"], "SKY");
        ExpectOptional(sky, "hdop", record["hdop"], record["hdop"] > 0);
        ExpectOptional(sky, "vdop", record["vdop"], record["vdop"] > 0);
        EXPECT_EQ(test::SkyRowsOf(sky), test::SkyRowsOf(state));
        for (const SampleSatellite& s : c.samples) {
            bool found = false;
            for (const auto& sat : sky["satellites"]) {
                if (sat["PRN"] != s.id.prn) continue;
                found = true;
                EXPECT_EQ(sat["gnssid"], s.id.gnssid) << s.receiverPrn;
                EXPECT_EQ(sat["svid"], s.id.svid) << s.receiverPrn;
            }
            EXPECT_TRUE(found) << "receiver satellite " << s.receiverPrn;
        }
    }
}

TEST(GpsdJson, BinaryMakesNumberTheirSatellitesLikeTheProtocol) {
    const SampleSatellite cases[] = {
        {Constellation::kGlonass, 38, {6, 1, 65}},   // NovAtel TRACKSTAT: slot + 37
        {Constellation::kGlonass, 24, {6, 24, 88}},  // slot numbers (GSOF)
        {Constellation::kBeidou, 141, {3, 1, 401}},  // SATMSG of the BeiDou/GPS board
        {Constellation::kGps, 120, {1, 120, 120}},   // SBAS by its PRN
        {Constellation::kGalileo, 336, {2, 36, 336}},
        {Constellation::kGps, 99, {0, 99, 99}},      // outside every range: as the receiver says
    };
    for (const SampleSatellite& c : cases) {
        const SatelliteId id = IdentifySatellite(c.table, c.receiverPrn);
        EXPECT_EQ(id.gnssid, c.id.gnssid) << c.receiverPrn;
        EXPECT_EQ(id.svid, c.id.svid) << c.receiverPrn;
        EXPECT_EQ(id.prn, c.id.prn) << c.receiverPrn;
    }
}

TEST(GpsdJson, NoFixGivesModeOneAndNonNumbersAreLeftOut) {
    GnssState state{};
    state.year = 2024, state.month = 2, state.day = 29, state.hour = 23, state.minute = 59, state.second = 59;
    state.latitude = 12.5;
    const json noFix = json::parse(TpvJson(state, {}));
    EXPECT_EQ(noFix, json::parse(R"({"class":"TPV","mode":1,"time":"2024-02-29T23:59:59.000Z"})"));

    state.fixQuality = kFixFloat;
    state.latitude = std::numeric_limits<double>::quiet_NaN();
    const json floatFix = json::parse(TpvJson(state, {}));
    EXPECT_EQ(floatFix["mode"], 2);  // no height at all
    EXPECT_EQ(floatFix["status"], 4);
    EXPECT_FALSE(floatFix.contains("lat"));

    state.year = 0;  // no date yet: no time
    EXPECT_FALSE(json::parse(TpvJson(state, {})).contains("time"));
}

// A stream of snapshots as the decoder thread takes them.
struct Step {
    int hour, minute, second;
    int day;
    std::uint8_t gsvInProgress;
    bool tpv, sky;
    int dayOut;  // the day the snapshot carries on
};

TEST(GpsdEpochGate, OneTpvAndOneWholeSkyPerEpoch) {
    const Step steps[] = {
        {0, 0, 0, 1, 0, false, false, 1},    // the zero-filled record is not an epoch
        {10, 0, 0, 1, 0, true, true, 1},     // GGA of a new second
        {10, 0, 0, 1, kGsvGps, false, false, 1},
        {10, 0, 1, 1, kGsvGps, true, false, 1},    // inside a GSV group: the sky waits
        {10, 0, 1, 1, 0, false, true, 1},          // group ended
        {10, 0, 1, 1, 0, false, false, 1},
        {9, 59, 58, 1, 0, true, true, 1},          // a replay starting over is no new day
        {23, 59, 59, 1, 0, true, true, 1},
        {0, 0, 0, 1, 0, true, true, 2},            // GGA before RMC at midnight
        {0, 0, 0, 1, kGsvGps, false, false, 2},
        {0, 0, 1, 1, 0, true, true, 2},            // still no RMC
        {0, 0, 1, 2, 0, false, false, 2},          // RMC brought the new date
        {0, 0, 2, 2, kGsvGlonass, true, false, 2},  // a group that never ends ...
        {0, 0, 3, 2, kGsvGlonass, true, false, 2},
        {0, 0, 4, 2, kGsvGlonass, true, false, 2},
        {0, 0, 5, 2, kGsvGlonass, true, true, 2},   // ... lets the tables out after three epochs
    };
    EpochGate gate;
    int index = 0;
    EpochGate::TimePoint now{};
    for (const Step& s : steps) {
        GnssState snapshot{};
        snapshot.year = 2024, snapshot.month = 12, snapshot.day = s.day;
        snapshot.hour = s.hour, snapshot.minute = s.minute, snapshot.second = s.second;
        snapshot.gsvInProgress = s.gsvInProgress;
        now += std::chrono::milliseconds(100);
        const EpochGate::Decision d = gate.Offer(snapshot, 0, now);
        EXPECT_EQ(d.tpv, s.tpv) << "step " << index;
        EXPECT_EQ(d.sky, s.sky) << "step " << index;
        EXPECT_EQ(snapshot.day, s.dayOut) << "step " << index;
        ++index;
    }
}

TEST(GpsdEpochGate, MidnightOfTheYearsLastDayTurnsTheYear) {
    EpochGate gate;
    GnssState s{};
    s.year = 2024, s.month = 12, s.day = 31, s.hour = 23, s.minute = 59, s.second = 59;
    gate.Offer(s, 0, {});
    s.hour = 0, s.minute = 0, s.second = 0;
    gate.Offer(s, 0, {});
    EXPECT_EQ(IsoTime(s), "2025-01-01T00:00:00.000Z");
}

TEST(GpsdEpochGate, ATimeThatStandsStillIsRepeatedWhileFramesCome) {
    struct StillStep {
        int ms;
        std::uint64_t frames;
        bool tpv;
    };
    const StillStep steps[] = {
        {0, 1, true},  {500, 2, false},   {1000, 3, false}, {1500, 4, true},
        {2000, 5, false}, {3000, 6, true}, {5000, 6, false},  // nothing new decoded: silence
    };
    EpochGate gate;
    for (const StillStep& s : steps) {
        GnssState snapshot{};
        snapshot.hour = 10;
        const EpochGate::Decision d = gate.Offer(snapshot, s.frames, EpochGate::TimePoint{} + std::chrono::milliseconds(s.ms));
        EXPECT_EQ(d.tpv, s.tpv) << s.ms;
        EXPECT_EQ(d.sky, s.tpv) << s.ms;
    }
}

}  // namespace
}  // namespace sextara::gpsd
