#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NmeaTestSupport.h"
#include "decode/NmeaParser.h"
#include "platform/Debug.h"

namespace sextara::test {
namespace {

// ---------------------------------------------------------------------------
// Behaviour every member shares

class NmeaMemberTest : public testing::TestWithParam<Member> {
protected:
    Parser p{GetParam().make};
};

TEST_P(NmeaMemberTest, GgaGivesTimePositionFixAndHeights) {
    p.Feed(kGga);
    const GnssState& s = p.state;
    EXPECT_EQ(12, s.hour);
    EXPECT_EQ(35, s.minute);
    EXPECT_EQ(19, s.second);
    EXPECT_NEAR(48.1173, s.latitude, 1e-9);
    EXPECT_NEAR(11.516666666666667, s.longitude, 1e-9);
    EXPECT_EQ(kFixSingle, s.fixQuality);
    EXPECT_DOUBLE_EQ(545.4, s.altitude);
    EXPECT_DOUBLE_EQ(46.9, s.geoidSeparation);
    EXPECT_EQ(0, s.differentialAge);
    EXPECT_EQ(1u, p.Counters().frames);
}

TEST_P(NmeaMemberTest, SouthWestAndNegativeHeightsKeepTheirSign) {
    p.Feed(Nmea("GPGGA,123519,4807.038,S,01131.000,W,2,08,0.9,-12.5,M,-46.9,M,3.7,0000"));
    EXPECT_NEAR(-48.1173, p.state.latitude, 1e-9);
    EXPECT_NEAR(-11.516666666666667, p.state.longitude, 1e-9);
    EXPECT_DOUBLE_EQ(-12.5, p.state.altitude);
    EXPECT_DOUBLE_EQ(-46.9, p.state.geoidSeparation);
    EXPECT_EQ(3, p.state.differentialAge);
}

TEST_P(NmeaMemberTest, GgaQualityMapsToFixCode) {
    const std::int32_t expected[10] = {0, 1, 2, 0, 4, 3, 0, 0, 0, GetParam().quality9};
    for (int quality = 0; quality <= 9; ++quality) {
        p.Feed(Nmea("GPGGA,123519,4807.038,N,01131.000,E," + std::to_string(quality) +
                    ",08,0.9,545.4,M,46.9,M,,"));
        EXPECT_EQ(expected[quality], p.state.fixQuality) << "quality " << quality;
    }
}

TEST_P(NmeaMemberTest, RmcTwoDigitYearIsTwentiethCentury) {
    p.Feed(Nmea("GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,230394,020.3,E"));
    EXPECT_EQ(23, p.state.day);
    EXPECT_EQ(3, p.state.month);
    EXPECT_EQ(2094, p.state.year);
}

TEST_P(NmeaMemberTest, GstSigmasAboveLimitBecomeZero) {
    // skytraq-dgps.log: 0.4 m, 0.6 m, 1.4 m.
    p.Feed("$GPGST,213121.000,16.1,22.2,10.2,2.0,0.4,0.6,1.4*57\r\n");
    EXPECT_NEAR(0.7211102550927979, p.state.hrms, 1e-12);
    EXPECT_DOUBLE_EQ(1.4, p.state.vrms);
    p.Feed(Nmea("GPGST,213122.000,1,1,1,0,70.0,70.0,99.99"));
    EXPECT_NEAR(98.99494936611666, p.state.hrms, 1e-9);
    EXPECT_DOUBLE_EQ(99.99, p.state.vrms);
    p.Feed(Nmea("GPGST,213123.000,1,1,1,0,60.0,80.0,100.0"));
    EXPECT_EQ(0.0, p.state.hrms);  // sqrt(60² + 80²) = 100
    EXPECT_EQ(0.0, p.state.vrms);
}

TEST_P(NmeaMemberTest, WrongChecksumIsSkippedAndCountedMissingChecksumIsApplied) {
    std::string wrong = Nmea("GNGSA,A,3,01,02,,,,,,,,,,,2.5,1.3,2.1");
    char& digit = wrong[wrong.size() - 3];  // the second checksum digit, before "\r\n"
    digit = digit == '0' ? '1' : '0';
    p.Feed(wrong);
    EXPECT_EQ(0.0, p.state.pdop);
    EXPECT_EQ(1u, p.Counters().checksumErrors);
    EXPECT_EQ(0u, p.Counters().frames);

    p.Feed("$GNGSA,A,3,01,02,,,,,,,,,,,2.5,1.3,2.1\r\n");
    EXPECT_EQ(2.5, p.state.pdop);
    EXPECT_EQ(1.3, p.state.hdop);
    EXPECT_EQ(2.1, p.state.vdop);
    EXPECT_EQ(1u, p.Counters().frames);
}

TEST_P(NmeaMemberTest, SentenceSplitOverTwoCallsIsParsedOnceItsEndArrives) {
    p.Feed(kGga.substr(0, kGga.size() - 1));
    EXPECT_EQ(0, p.state.hour);
    p.Feed("\n");
    EXPECT_EQ(12, p.state.hour);
    EXPECT_EQ(1u, p.Counters().frames);
}

TEST_P(NmeaMemberTest, LoneLineFeedEndsALineOnlyWithFallback) {
    p.Feed(Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", "\n"));
    EXPECT_EQ(GetParam().lfFallback ? 12 : 0, p.state.hour);
}

TEST_P(NmeaMemberTest, LineCapIsInclusive) {
    const std::string head = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    auto lineOf = [&](std::size_t length) {  // "$" + body + "*hh" is `length` long
        return Nmea(head + std::string(length - 4 - head.size(), ','));
    };
    p.Feed(lineOf(GetParam().lineCap + 1));
    EXPECT_EQ(0, p.state.hour);
    EXPECT_EQ(1u, p.Counters().oversize);
    p.Feed(lineOf(GetParam().lineCap));
    EXPECT_EQ(12, p.state.hour);
    EXPECT_EQ(1u, p.Counters().oversize);
}

TEST_P(NmeaMemberTest, ZdaOnlyWhereRecognised) {
    p.Feed(Nmea("GPZDA,201530.00,04,07,2002,00,00"));
    EXPECT_EQ(GetParam().zda ? 2002 : 0, p.state.year);
    EXPECT_EQ(GetParam().zda ? 7 : 0, p.state.month);
    EXPECT_EQ(GetParam().zda ? 4 : 0, p.state.day);
}

TEST_P(NmeaMemberTest, GalileoSatellitesOnlyWhereKept) {
    p.Feed(Nmea("GAGSV,1,1,01,12,61,237,31"));
    p.Feed(Nmea("GNGSV,1,1,01,13,62,238,32"));  // combined talker: no table
    EXPECT_EQ(GetParam().galileoGsv ? 1 : 0, p.state.galileoCount);
    EXPECT_EQ(GetParam().galileoGsv ? 12 : 0, p.state.galileoSats[0].prn);
    EXPECT_EQ(0, p.state.gpsCount);
    EXPECT_EQ(0, p.state.gpsSats[0].prn);
}

TEST_P(NmeaMemberTest, NegativeElevationIsKept) {
    // hazer/gr701w.dat: PRN 8 at -2 degrees.
    p.Feed("$GPGSV,4,1,15,01,37,075,28,06,03,183,30,07,26,144,34,08,-2,049,28*6C\r\n");
    EXPECT_EQ(8, p.state.gpsSats[3].prn);
    EXPECT_EQ(-2, p.state.gpsSats[3].elevation);
    EXPECT_EQ(49, p.state.gpsSats[3].azimuth);
}

TEST_P(NmeaMemberTest, NothingToReadChangesNothing) {
    EXPECT_EQ(1, p.decoder->Input(nullptr, 10));
    const std::uint8_t byte = '$';
    EXPECT_EQ(1, p.decoder->Input(&byte, 0));
    EXPECT_EQ(0u, p.Counters().droppedBytes);
}

// Whatever a GSV says about message number and satellites in view, nothing
// lands outside its own table and every count stays within it.
TEST_P(NmeaMemberTest, GsvNumbersCannotWritePastTheTable) {
    const std::string blocks = ",01,10,100,40,02,20,200,41,03,30,300,42,04,40,40,43";
    for (const char* talker : {"GP", "GL", "GB", "BD", "GA"}) {
        Parser q(GetParam().make);
        for (const char* head : {"GSV,9,6,24", "GSV,9,2147483647,99999999999", "GSV,9,99999999999,5",
                                 "GSV,9,0,24", "GSV,1,1,99999999999"}) {
            q.Feed(Nmea(std::string(talker) + head + blocks));
        }
        for (int m = 1; m <= 7; ++m)
            q.Feed(Nmea(std::string(talker) + "GSV,7," + std::to_string(m) + ",28" + blocks));

        const GnssState& s = q.state;
        const std::pair<const SatelliteEntry*, std::int32_t> tables[] = {{s.gpsSats, s.gpsCount},
                                                                         {s.glonassSats, s.glonassCount},
                                                                         {s.beidouSats, s.beidouCount},
                                                                         {s.galileoSats, s.galileoCount}};
        int written = 0;
        for (const auto& [table, count] : tables) {
            EXPECT_GE(count, 0) << talker;
            EXPECT_LE(count, kSatTableSize) << talker;
            bool any = false;
            for (int i = 0; i < kSatTableSize; ++i) any = any || table[i].prn != 0;
            written += any;
        }
        EXPECT_LE(written, 1) << talker << ": a message reached another table";
        EXPECT_EQ(0, s.year) << talker;  // the field right after the last table
        EXPECT_GE(s.satellitesTotal, 0);
        EXPECT_LE(s.satellitesTotal, 4 * kSatTableSize);
    }
}

INSTANTIATE_TEST_SUITE_P(Members, NmeaMemberTest, testing::ValuesIn(kMembers), MemberName);

// ---------------------------------------------------------------------------
// GSV by member

std::string Sats(std::initializer_list<int> prns) {
    std::string out;
    for (int prn : prns) out += "," + std::to_string(prn) + ",45,180,40";
    return out;
}

TEST(NmeaStdGsv, MessageOneClearsCountIsInViewGuardSkipsPastInViewAndSbas) {
    Parser p(enOther);
    p.state.gpsSats[15].prn = 99;
    p.Feed(Nmea("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00"));
    EXPECT_EQ(11, p.state.gpsCount);
    EXPECT_EQ(11, p.state.satellitesTotal);
    EXPECT_EQ(0, p.state.gpsSats[15].prn);
    EXPECT_EQ(13, p.state.gpsSats[3].prn);
    EXPECT_EQ(292, p.state.gpsSats[3].azimuth);
    EXPECT_EQ(1, p.state.gpsSats[3].used);

    p.Feed(Nmea("GPGSV,3,3,11,22,42,067,42,24,14,311,43,27,05,244,00,,,,"));
    EXPECT_EQ(22, p.state.gpsSats[8].prn);
    EXPECT_EQ(42, p.state.gpsSats[8].snr1);
    EXPECT_EQ(27, p.state.gpsSats[10].prn);
    EXPECT_EQ(0, p.state.gpsSats[11].prn);

    p.Feed(Nmea("GLGSV,1,1,02" + Sats({65, 66})));
    EXPECT_EQ(11, p.state.satellitesTotal);     // only GPS messages recompute it
    p.Feed(Nmea("GPGSV,4,4,12" + Sats({30})));  // 4*(4-1) = 12, not below 12 in view
    p.Feed(Nmea("GPGSV,1,1,01" + Sats({33})));  // SBAS
    EXPECT_EQ(11, p.state.gpsCount);
    EXPECT_EQ(0, p.state.gpsSats[12].prn);
    p.Feed(Nmea("GPGSV,3,2,11" + Sats({1, 2, 5, 7})));
    EXPECT_EQ(13, p.state.satellitesTotal);
}

TEST(NmeaHemisGsv, ClearsOnlyBeidouAndLeavesGpsUsedAlone) {
    Parser p(enHemis);
    p.state.gpsSats[0].used = 1;
    p.state.gpsSats[5].prn = 99;
    p.state.beidouSats[5].prn = 99;
    p.Feed(Nmea("GPGSV,1,1,04" + Sats({1, 2, 3, 4})));
    p.Feed(Nmea("BDGSV,1,1,02" + Sats({141, 142})));
    EXPECT_EQ(1, p.state.gpsSats[0].used);
    EXPECT_EQ(0, p.state.gpsSats[1].used);
    EXPECT_EQ(99, p.state.gpsSats[5].prn);
    EXPECT_EQ(0, p.state.beidouSats[5].prn);
    EXPECT_EQ(1, p.state.beidouSats[1].used);
    EXPECT_EQ(4, p.state.satellitesTotal);
}

TEST(NmeaBloxGsv, NoClearingTotalIsGpsCountBeidouOnlyAsGb) {
    Parser p(enBlox8T);
    p.state.glonassCount = 7;
    p.state.gpsSats[10].prn = 99;
    p.Feed(Nmea("GPGSV,1,1,03" + Sats({1, 2, 3})));
    p.Feed(Nmea("BDGSV,1,1,01" + Sats({141})));
    EXPECT_EQ(3, p.state.satellitesTotal);
    EXPECT_EQ(99, p.state.gpsSats[10].prn);
    EXPECT_EQ(0, p.state.gpsSats[0].used);
    EXPECT_EQ(0, p.state.beidouCount);
    p.Feed(Nmea("GBGSV,1,1,01" + Sats({5})));
    EXPECT_EQ(1, p.state.beidouCount);
    EXPECT_EQ(1, p.state.beidouSats[0].used);
    p.Feed(Nmea("GBGSV,2,2,01" + Sats({9})));  // past the satellites in view: the first block still lands
    EXPECT_EQ(9, p.state.beidouSats[4].prn);
    EXPECT_EQ(1, p.state.beidouCount);
}

TEST(NmeaTrimbleGsv, AppendsRestartsAtAnyMessageOneAndSumsAtGroupEnd) {
    Parser p(enTrimbleNMEA);
    p.state.gpsSats[0].used = 1;
    p.Feed(Nmea("GPGSV,2,1,06" + Sats({1, 2, 3, 4})));
    EXPECT_EQ(4, p.state.gpsCount);
    EXPECT_EQ(0, p.state.satellitesTotal);
    p.Feed(Nmea("GPGSV,2,2,06" + Sats({5, 6})));
    EXPECT_EQ(6, p.state.gpsCount);
    EXPECT_EQ(6, p.state.satellitesTotal);
    EXPECT_EQ(6, p.state.gpsSats[5].prn);
    EXPECT_EQ(0, p.state.gpsSats[0].used);

    p.Feed(Nmea("GLGSV,1,1,03" + Sats({65, 66, 67})));
    EXPECT_EQ(0, p.state.gpsCount);
    EXPECT_EQ(3, p.state.glonassCount);
    EXPECT_EQ(3, p.state.satellitesTotal);
    EXPECT_EQ(1, p.state.glonassSats[2].used);

    p.Feed(Nmea("GLGSV,1,1,02,70,10,100,30,71"));  // 8 commas: the second block is not read
    EXPECT_EQ(1, p.state.glonassCount);
    p.Feed(Nmea("GLGSV,0,1,02" + Sats({72})));  // no total: ignored
    EXPECT_EQ(1, p.state.glonassCount);
}

// ---------------------------------------------------------------------------
// GSA by member

std::string Gsa(const std::string& talker, std::vector<int> prns, int systemId = 0) {
    std::string out = talker + "GSA,A,3";
    for (std::size_t i = 0; i < 12; ++i) out += "," + (i < prns.size() ? std::to_string(prns[i]) : "");
    out += ",1.5,0.9,1.2";
    if (systemId) out += "," + std::to_string(systemId);
    return Nmea(out);
}

struct GsaCase {
    std::int32_t make;
    std::string sentence;
    const char* gps;  // expected `used` of each table's counted entries
    const char* glonass;
    const char* beidou;
    const char* galileo;
    bool dops;
};

class NmeaGsaTest : public testing::TestWithParam<GsaCase> {};

TEST_P(NmeaGsaTest, MarksUsedInTheTableItsRuleSelects) {
    const GsaCase& c = GetParam();
    Parser p(c.make);
    GnssState& s = p.state;
    // GPS 1..8, GLONASS 65..70, BeiDou 141..146, Galileo 1..6, every other one used.
    auto fill = [](SatelliteEntry* table, std::int32_t& count, int firstPrn, int n) {
        for (int i = 0; i < n; ++i)
            table[i] = {firstPrn + i, 30, 90, 40, 0, static_cast<std::uint8_t>(i % 2 == 0)};
        count = n;
    };
    fill(s.gpsSats, s.gpsCount, 1, 8);
    fill(s.glonassSats, s.glonassCount, 65, 6);
    fill(s.beidouSats, s.beidouCount, 141, 6);
    fill(s.galileoSats, s.galileoCount, 1, 6);
    s.pdop = 9;
    p.Feed(c.sentence);

    auto used = [](const SatelliteEntry* table, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += table[i].used ? '1' : '0';
        return out;
    };
    EXPECT_EQ(c.gps, used(s.gpsSats, s.gpsCount));
    EXPECT_EQ(c.glonass, used(s.glonassSats, s.glonassCount));
    EXPECT_EQ(c.beidou, used(s.beidouSats, s.beidouCount));
    EXPECT_EQ(c.galileo, used(s.galileoSats, s.galileoCount));
    EXPECT_EQ(c.dops ? 1.5 : 9.0, s.pdop);
}

const char* const kSame8 = "10101010";
const char* const kSame6 = "101010";

INSTANTIATE_TEST_SUITE_P(
    Members, NmeaGsaTest,
    testing::Values(
        // Std: by talker; GP needs a GPS number first; BD and GL leave the DOPs.
        GsaCase{enOther, Gsa("GP", {1, 3}), "10100000", kSame6, kSame6, kSame6, true},
        GsaCase{enOther, Gsa("GP", {40, 1}), "00000000", kSame6, kSame6, kSame6, false},
        GsaCase{enOther, Gsa("BD", {142}), kSame8, kSame6, "010000", kSame6, false},
        GsaCase{enOther, Gsa("GL", {66}), kSame8, "010000", kSame6, kSame6, false},
        GsaCase{enOther, Gsa("GN", {66}, 2), kSame8, "010000", kSame6, kSame6, true},
        GsaCase{enOther, Gsa("GN", {2}, 3), kSame8, kSame6, kSame6, kSame6, true},
        GsaCase{enOther, Gsa("GN", {2, 142, 66}), "11101010", "111010", "111010", kSame6, true},
        // Hemisphere: the first number picks the table, any talker.
        GsaCase{enHemis, Gsa("GP", {141, 143}), kSame8, kSame6, "101000", kSame6, true},
        GsaCase{enHemis, Gsa("GN", {66}), kSame8, "010000", kSame6, kSame6, true},
        GsaCase{enHemis, Gsa("GN", {4}), "00010000", kSame6, kSame6, kSame6, true},
        // u-blox 6T/8T: system id 1, 2, 4; without it GPS numbers only, nothing cleared.
        GsaCase{enBlox8T, Gsa("GN", {142}, 4), kSame8, kSame6, "010000", kSame6, true},
        GsaCase{enBlox8T, Gsa("GN", {2}, 3), kSame8, kSame6, kSame6, kSame6, true},
        GsaCase{enBlox8T, Gsa("GN", {2, 66}), "11101010", kSame6, kSame6, kSame6, true},
        // u-blox 9P: system id 3 is Galileo; without it the first number picks GPS or GLONASS.
        GsaCase{enBlox9P, Gsa("GN", {2}, 3), kSame8, kSame6, kSame6, "010000", true},
        GsaCase{enBlox9P, Gsa("GN", {66}), kSame8, "010000", kSame6, kSame6, true},
        // Trimble: the combined rule whatever the talker.
        GsaCase{enTrimbleNMEA, Gsa("GP", {2, 142, 66}), "11101010", "111010", "111010", kSame6, true}));

// ---------------------------------------------------------------------------
// Differential source

class RecordingSink final : public ByteSink {
public:
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override {
        writes.emplace_back(bytes, bytes + length);
        return length;
    }
    std::vector<std::vector<std::uint8_t>> writes;
};

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(NmeaSetDiffMode, HemisphereSendsJdiffTwiceFiftyMillisecondsApart) {
    const char* const texts[] = {"$JDIFF,NONE\r\n", "$JDIFF,WAAS\r\n", "$JDIFF,OTHER\r\n"};
    for (int mode = 0; mode < 3; ++mode) {
        Parser p(enHemis);
        RecordingSink sink;
        p.decoder->SetDiffMode(sink, mode);
        ASSERT_EQ(2u, sink.writes.size());
        EXPECT_EQ(Bytes(texts[mode]), sink.writes[0]);
        EXPECT_EQ(sink.writes[0], sink.writes[1]);
        EXPECT_EQ(std::chrono::milliseconds(50), p.clock.TotalSlept());
    }
    Parser p(enHemis);
    RecordingSink sink;
    p.decoder->SetDiffMode(sink, 3);
    EXPECT_TRUE(sink.writes.empty());
    EXPECT_EQ(std::chrono::milliseconds(0), p.clock.TotalSlept());
}

TEST(NmeaSetDiffMode, UbloxTimingSendsCfgSbasInOneWriteOthersNothing) {
    const std::vector<std::uint8_t> enable = {0xB5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x01, 0x03, 0x03,
                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xB9, 0x00, 0x00};
    const std::vector<std::uint8_t> disable = {0xB5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x00, 0x01, 0x01,
                                               0x00, 0x00, 0x00, 0x00, 0x00, 0x26, 0x97, 0x00, 0x00};
    for (std::int32_t make : {enBlox6T, enBlox8T}) {
        for (int mode = 0; mode <= 3; ++mode) {
            Parser p(make);
            RecordingSink sink;
            p.decoder->SetDiffMode(sink, mode);
            ASSERT_EQ(1u, sink.writes.size());
            EXPECT_EQ(mode == 1 ? enable : disable, sink.writes[0]) << "make " << make << " mode " << mode;
        }
    }
    for (std::int32_t make : {enOther, enSkyTraq, enBlox9P, enTrimbleNMEA}) {
        Parser p(make);
        RecordingSink sink;
        for (int mode = 0; mode <= 3; ++mode) p.decoder->SetDiffMode(sink, mode);
        EXPECT_TRUE(sink.writes.empty()) << "make " << make;
    }
}

// ---------------------------------------------------------------------------
// Diagnostics

TEST(NmeaDiagnostics, PositionAfterStdGgaSigmasAfterUbloxGst) {
    const std::string gst = "$GPGST,213121.000,16.1,22.2,10.2,2.0,0.4,0.6,1.4*57\r\n";
    platform::SetDebugEnabled(true);
    auto traceOf = [&](std::int32_t make) {
        Parser p(make);
        testing::internal::CaptureStderr();
        p.Feed(kGga + gst);
        return testing::internal::GetCapturedStderr();
    };
    EXPECT_EQ("GPS Position---- 12:35:19 Lat:48.117300, Lon 11.516667\r\n", traceOf(enOther));
    EXPECT_EQ("VRMS = 1.400,HRMS = 0.721 \n", traceOf(enBlox8T));
    EXPECT_EQ("VRMS = 1.400,HRMS = 0.721 \n", traceOf(enBlox9P));
    EXPECT_EQ("", traceOf(enHemis));
    EXPECT_EQ("", traceOf(enTrimbleNMEA));
    platform::SetDebugEnabled(false);
}

}  // namespace
}  // namespace sextara::test
