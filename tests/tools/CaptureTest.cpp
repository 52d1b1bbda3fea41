// Real captures replayed through the decoding path (DecoderHost in 2048-byte
// chunks, as the decoding thread feeds it): the final record must equal the
// expected output kept beside the capture, and must agree with the peer
// decoder's reports where both carry the same fact.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "decode/StateJson.h"
#include "tools/CaptureSupport.h"

namespace sextara::testing {
namespace {

namespace fs = std::filesystem;

const std::string kEmptyJson = GnssStateToJson(GnssState{});

std::string StateText(const GnssState& state) {
    return GnssStateToJson(state);
}

GnssState DecodeRow(const CaptureRow& row) {
    const auto bytes = ReadBytes(row.DataPath());
    EXPECT_TRUE(bytes) << "cannot read " << row.DataPath();
    return bytes ? Decode(row.make, *bytes, FixedChunks(kMaxChunk)) : GnssState{};
}

std::string RowName(const ::testing::TestParamInfo<CaptureRow>& info) {
    return RowTestName(info.param);
}

template <typename Keep>
std::vector<CaptureRow> RowsWhere(Keep keep) {
    std::vector<CaptureRow> out;
    for (const auto& row : CaptureRows()) {
        if (keep(row)) out.push_back(row);
    }
    return out;
}

// The table itself.

bool IsReceiverCapture(const std::string& relative) {
    const auto endsWith = [&](std::string_view tail) {
        return relative.size() >= tail.size() &&
               relative.compare(relative.size() - tail.size(), tail.size(), tail) == 0;
    };
    const auto startsWith = [&](std::string_view head) { return relative.rfind(head, 0) == 0; };
    if (startsWith("nmea/gpsd/")) return endsWith(".log");
    if (startsWith("nmea/hazer/")) return endsWith(".dat");
    if (startsWith("nmea/novatel_gps_driver/")) return endsWith(".udp-payload.txt");
    if (startsWith("novatel/")) return endsWith(".GPS") || endsWith(".gps");
    return false;
}

TEST(CaptureTable, ListsEveryReceiverCaptureOnce) {
    std::set<std::string> onDisk;
    for (const auto& entry : fs::recursive_directory_iterator(TestDataDir())) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), TestDataDir()).generic_string();
        if (IsReceiverCapture(relative)) onDisk.insert(relative);
    }
    std::multiset<std::string> listed;
    for (const auto& row : CaptureRows()) listed.insert(row.path);
    for (const auto& path : onDisk) EXPECT_EQ(listed.count(path), 1u) << path;
    for (const auto& path : listed)
        EXPECT_TRUE(onDisk.count(path)) << path << " is listed but is not a capture on disk";
}

// The chunk tests choose their captures by this column, so it must be true of the bytes.
TEST(CaptureTable, LineEndsMatchTheBytes) {
    for (const auto& row : CaptureRows()) {
        const auto bytes = ReadBytes(row.DataPath());
        ASSERT_TRUE(bytes) << row.path;
        if (row.IsNmea()) {
            EXPECT_EQ(ClassifyLineEnds(*bytes), row.lineEnds) << row.path;
        }
    }
}

// Expected outputs.

class CaptureGolden : public ::testing::TestWithParam<CaptureRow> {};

TEST_P(CaptureGolden, FinalRecordEqualsExpectedOutput) {
    const CaptureRow& row = GetParam();
    const std::string ours = StateText(DecodeRow(row));
    const auto golden = ReadText(row.GoldenPath());
    ASSERT_TRUE(golden) << "missing " << row.GoldenPath() << "; build the regen-expected target";
    const std::string theirs = golden->substr(0, golden->find('\n'));
    EXPECT_EQ(ours, theirs) << DescribeJsonDifference(ours, theirs);
    if (row.expectEmpty) {
        EXPECT_EQ(ours, kEmptyJson) << row.notes;
    } else {
        EXPECT_NE(ours, kEmptyJson) << "nothing decoded";
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, CaptureGolden, ::testing::ValuesIn(CaptureRows()), RowName);

// Per-change outputs of a handful of captures, one make each: a decoder
// change that goes wrong in the middle of a capture and right again by its
// end shows here.
TEST(CaptureChanges, EveryChangeEqualsExpectedOutput) {
    const auto list = ReadText(TestDataDir() + "/change-goldens.txt");
    ASSERT_TRUE(list);
    std::istringstream paths(*list);
    std::set<std::string> makes;
    for (std::string path; std::getline(paths, path);) {
        if (path.empty() || path[0] == '#') continue;
        SCOPED_TRACE(path);
        const auto row = std::find_if(CaptureRows().begin(), CaptureRows().end(),
                                      [&](const CaptureRow& r) { return r.path == path; });
        ASSERT_NE(row, CaptureRows().end()) << "not in captures.tsv";
        makes.insert(row->makeName);
        const auto golden = ReadText(TestDataDir() + "/expected/" + path + ".changes.jsonl");
        ASSERT_TRUE(golden) << "missing; build the regen-expected target";
        const ToolRun run = RunTool({"--make", row->makeName, "--chunk", "2048", "--emit", "change", row->DataPath()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::istringstream expected(*golden);
        std::vector<std::string> expectedLines;
        for (std::string line; std::getline(expected, line);) expectedLines.push_back(line);
        const std::vector<std::string> lines = run.Lines();
        for (std::size_t i = 0; i < std::min(lines.size(), expectedLines.size()); ++i) {
            ASSERT_EQ(lines[i], expectedLines[i]) << "change " << i + 1 << ": "
                                                  << DescribeJsonDifference(lines[i], expectedLines[i]);
        }
        EXPECT_EQ(lines.size(), expectedLines.size());
        EXPECT_GT(lines.size(), 1u) << "no change inside the capture to watch";
    }
    EXPECT_GE(makes.size(), 4u);
}

// Peer: gpsd reports beside the NMEA captures.

struct PeerReports {
    std::vector<Json> tpvs;   // TPV reports that carry a time, in order
    std::vector<Json> skies;  // SKY reports that carry a satellite list, in order
};

PeerReports ReadPeer(const std::string& path) {
    PeerReports out;
    const auto text = ReadText(path);
    EXPECT_TRUE(text) << "cannot read " << path;
    if (!text) return out;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        // The raw sentences are repeated between the reports; only two kinds of report matter.
        if (line.rfind("{\"class\":\"TPV\"", 0) != 0 && line.rfind("{\"class\":\"SKY\"", 0) != 0) continue;
        auto report = ParseJson(line);
        if (!report) continue;
        const std::string kind = TextOr(*report, "class", "");
        // Times read "2020-03-18T13:28:19.600Z".
        if (kind == "TPV" && TextOr(*report, "time", "").size() >= 19) out.tpvs.push_back(std::move(*report));
        if (kind == "SKY" && report->contains("satellites")) out.skies.push_back(std::move(*report));
    }
    return out;
}

std::string ClockText(int hour, int minute, int second) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    return text;
}
std::string ClockText(const GnssState& s) {
    return ClockText(s.hour, s.minute, s.second);
}

std::string DateText(int year, int month, int day) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}
std::string DateText(const GnssState& s) {
    return DateText(s.year, s.month, s.day);
}

// Distinct satellite numbers in the peer's last list that has any of `systems`
// (gpsd: 0 GPS, 1 SBAS, 5 QZSS, 6 GLONASS). Some receivers' cycles end with a
// list of one other constellation only, so the plain last list can miss them.
std::size_t PeerSatellites(const std::vector<Json>& skies, const std::set<int>& systems) {
    const auto ofSystems = [&](const Json& sat) {
        return systems.count(static_cast<int>(NumberOr(sat, "gnssid", -1))) > 0;
    };
    for (auto sky = skies.rbegin(); sky != skies.rend(); ++sky) {
        std::set<int> prns;
        for (const auto& sat : sky->at("satellites")) {
            if (ofSystems(sat)) prns.insert(static_cast<int>(NumberOr(sat, "PRN", 0)));
        }
        if (!prns.empty()) return prns.size();
    }
    return 0;
}

class CaptureGpsdPeer : public ::testing::TestWithParam<CaptureRow> {};

TEST_P(CaptureGpsdPeer, FinalFactsAgreeWithThePeer) {
    const CaptureRow& row = GetParam();
    const GnssState s = DecodeRow(row);
    const PeerReports peer = ReadPeer(row.DataPath() + ".chk");
    ASSERT_FALSE(peer.tpvs.empty());
    const auto has = [&](const char* fact) { return row.peer.count(fact) > 0; };

    // The peer reports on GGA and RMC separately and at several rates; the
    // report that describes our final GGA is the last one of that second.
    // Without a time to match, its final report stands in.
    const Json* match = &peer.tpvs.back();
    if (has("time")) {
        match = nullptr;
        for (const auto& tpv : peer.tpvs) {
            if (TextOr(tpv, "time", "").substr(11, 8) == ClockText(s)) match = &tpv;
        }
        ASSERT_NE(match, nullptr) << "the peer has no report at our final time " << ClockText(s);
    }
    const std::string peerTime = TextOr(*match, "time", "");
    SCOPED_TRACE("peer report at " + peerTime);

    if (has("date")) {
        EXPECT_EQ(DateText(s), peerTime.substr(0, 10));
    }
    if (has("position")) {
        ASSERT_TRUE(match->contains("lat") && match->contains("lon")) << "the peer report carries no position";
        EXPECT_NEAR(s.latitude, NumberOr(*match, "lat", 0), 1e-6);
        EXPECT_NEAR(s.longitude, NumberOr(*match, "lon", 0), 1e-6);
        if (match->contains("altMSL")) {
            EXPECT_NEAR(s.altitude, NumberOr(*match, "altMSL", 0), 1e-3);
        }
    }
    if (has("fix")) {
        // The peer's mode 1 is no fix; its status says how a fix was made:
        // absent or 1 plain, 2 differential, 3 RTK fixed, 4 RTK float.
        const int mode = static_cast<int>(NumberOr(*match, "mode", 0));
        const int status = static_cast<int>(NumberOr(*match, "status", 1));
        static const std::map<int, int> kStatusFix = {
            {1, kFixSingle}, {2, kFixDgps}, {3, kFixFixed}, {4, kFixFloat}};
        ASSERT_TRUE(mode <= 1 || kStatusFix.count(status)) << "peer status " << status;
        EXPECT_EQ(s.fixQuality, mode <= 1 ? kFixNone : kStatusFix.at(status))
            << "peer mode " << mode << ", status " << status;
    }
    if (has("gps") || has("glonass")) {
        ASSERT_FALSE(peer.skies.empty()) << "the peer reports no satellites";
        // Receivers list GPS, SBAS and QZSS under the GP talker.
        if (has("gps")) {
            EXPECT_EQ(static_cast<std::size_t>(s.gpsCount), PeerSatellites(peer.skies, {0, 1, 5}));
        }
        if (has("glonass")) {
            EXPECT_EQ(static_cast<std::size_t>(s.glonassCount), PeerSatellites(peer.skies, {6}));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, CaptureGpsdPeer, ::testing::ValuesIn(RowsWhere([](const CaptureRow& row) {
                             return row.IsNmea() && !row.peer.empty();
                         })),
                         RowName);

// Peer: NovAtel ASCII rendering of the same session.

// Fields of the last ASCII log of that name: header fields first (port, sequence,
// idle, time status, week, seconds, ...), then the body after the ';'.
struct AsciiLog {
    std::vector<std::string> header;
    std::vector<std::string> body;
};

std::optional<AsciiLog> LastAsciiLog(const std::string& text, const std::string& name) {
    const std::size_t at = text.rfind("#" + name + ",");
    if (at == std::string::npos) return std::nullopt;
    std::string line = text.substr(at, text.find_first_of("\r\n", at) - at);
    line = line.substr(0, line.find('*'));
    const std::size_t semicolon = line.find(';');
    if (semicolon == std::string::npos) return std::nullopt;
    const auto split = [](const std::string& part) {
        std::vector<std::string> fields;
        std::istringstream in(part);
        std::string field;
        while (std::getline(in, field, ',')) fields.push_back(field);
        return fields;
    };
    AsciiLog log;
    log.header = split(line.substr(name.size() + 2, semicolon - name.size() - 2));
    log.body = split(line.substr(semicolon + 1));
    return log;
}

// Solution type names as the receiver prints them, and the fix code each gives here.
const std::map<std::string, int> kSolutionTypeFix = {
    {"NONE", kFixNone},          {"FIXEDPOS", kFixNone},
    {"SINGLE", kFixSingle},      {"PSRDIFF", kFixDgps},
    {"WAAS", kFixDgps},          {"PROPAGATED", kFixNone},
    {"L1_FLOAT", kFixFloat},     {"IONOFREE_FLOAT", kFixFloat},
    {"NARROW_FLOAT", kFixFloat}, {"L1_INT", kFixFixed},
    {"WIDE_INT", kFixFixed},     {"NARROW_INT", kFixFixed},
};

// GPS time runs ahead of UTC by the leap seconds since 1980 (IERS bulletins);
// enough of the history for the sessions here.
int GpsMinusUtcSeconds(std::chrono::sys_seconds gpsTime) {
    using namespace std::chrono;
    struct Step {
        sys_days from;
        int seconds;
    };
    static const Step kSteps[] = {
        {sys_days{2006y / January / 1}, 14}, {sys_days{2009y / January / 1}, 15},
        {sys_days{2012y / July / 1}, 16},    {sys_days{2015y / July / 1}, 17},
        {sys_days{2017y / January / 1}, 18},
    };
    int offset = 13;
    for (const Step& step : kSteps) {
        if (gpsTime - seconds{offset} >= step.from) offset = step.seconds;
    }
    return offset;
}

class CaptureNovatelPeer : public ::testing::TestWithParam<CaptureRow> {};

TEST_P(CaptureNovatelPeer, FinalFactsAgreeWithTheAsciiLogs) {
    const CaptureRow& row = GetParam();
    const GnssState s = DecodeRow(row);
    const std::string ascPath = row.DataPath().substr(0, row.DataPath().size() - 4) + ".ASC";
    const auto asc = ReadText(ascPath);
    ASSERT_TRUE(asc) << "cannot read " << ascPath;

    if (row.peer.count("bestpos")) {
        const auto log = LastAsciiLog(*asc, "BESTPOSA");
        ASSERT_TRUE(log && log->header.size() >= 6 && log->body.size() >= 10);
        const auto number = [](const std::string& text) { return std::stod(text); };
        // The log carries GPS time; the record holds UTC.
        using namespace std::chrono;
        const auto week = std::stoi(log->header[4]);
        const auto secondsOfWeek = static_cast<long long>(number(log->header[5]));
        const sys_seconds gps = sys_days{1980y / January / 6} + days{week * 7} + seconds{secondsOfWeek};
        const sys_seconds at = gps - seconds{GpsMinusUtcSeconds(gps)};
        const year_month_day date{floor<days>(at)};
        const hh_mm_ss clock{at - floor<days>(at)};
        EXPECT_EQ(s.year, static_cast<int>(date.year()));
        EXPECT_EQ(s.month, static_cast<int>(static_cast<unsigned>(date.month())));
        EXPECT_EQ(s.day, static_cast<int>(static_cast<unsigned>(date.day())));
        EXPECT_EQ(s.hour, clock.hours().count());
        EXPECT_EQ(s.minute, clock.minutes().count());
        EXPECT_EQ(s.second, clock.seconds().count());

        ASSERT_TRUE(kSolutionTypeFix.count(log->body[1])) << log->body[1];
        EXPECT_EQ(s.fixQuality, kSolutionTypeFix.at(log->body[1]));
        EXPECT_NEAR(s.latitude, number(log->body[2]), 1e-10);
        EXPECT_NEAR(s.longitude, number(log->body[3]), 1e-10);
        EXPECT_NEAR(s.altitude, number(log->body[4]), 1e-4);
        // Sigmas are floats on the wire and printed with four decimals.
        EXPECT_NEAR(s.latitudeSigma, number(log->body[7]), 1e-4);
        EXPECT_NEAR(s.longitudeSigma, number(log->body[8]), 1e-4);
        EXPECT_NEAR(s.vrms, number(log->body[9]), 1e-4);
        EXPECT_NEAR(s.hrms, std::hypot(number(log->body[7]), number(log->body[8])), 2e-4);
    }

    if (row.peer.count("trackstat")) {
        const auto log = LastAsciiLog(*asc, "TRACKSTATA");
        ASSERT_TRUE(log && log->body.size() >= 4);
        // Channel records of 10 fields: PRN, GLONASS frequency, tracking status
        // (hex), pseudorange, Doppler, C/No, lock time, residual, rejection, weight.
        constexpr std::size_t kChannelFields = 10;
        const std::size_t channels = std::stoul(log->body[3]);
        ASSERT_EQ(log->body.size(), 4 + channels * kChannelFields);
        struct Expected {
            std::vector<SatelliteEntry> gps, glonass, beidou;
        } want;
        for (std::size_t c = 0; c < channels; ++c) {
            const auto* f = &log->body[4 + c * kChannelFields];
            const int prn = std::stoi(f[0]);
            const auto status = static_cast<std::uint32_t>(std::stoul(f[2], nullptr, 16));
            if (prn <= 0) continue;
            const unsigned system = (status >> 16) & 0x7;
            const unsigned signal = (status >> 21) & 0x1F;
            std::vector<SatelliteEntry>* table = system == 0   ? &want.gps
                                                 : system == 1 ? &want.glonass
                                                 : system == 4 ? &want.beidou
                                                               : nullptr;
            if (!table) continue;
            auto it = std::find_if(table->begin(), table->end(),
                                   [&](const SatelliteEntry& e) { return e.prn == prn; });
            if (it == table->end()) {
                if (table->size() == kSatTableSize) continue;
                table->push_back(SatelliteEntry{});
                it = table->end() - 1;
                it->prn = prn;
            }
            if (f[8] == "GOOD") it->used = 1;
            const int cn0 = static_cast<int>(std::stod(f[5]));
            if (signal == 0) it->snr1 = cn0;
            if (signal == 5 || signal == 9) it->snr2 = cn0;
        }
        const auto check = [](const char* name, const SatelliteEntry* ours, int count,
                              const std::vector<SatelliteEntry>& theirs) {
            SCOPED_TRACE(name);
            ASSERT_EQ(static_cast<std::size_t>(count), theirs.size());
            for (std::size_t i = 0; i < theirs.size(); ++i) {
                EXPECT_EQ(ours[i].prn, theirs[i].prn) << "entry " << i;
                EXPECT_EQ(ours[i].snr1, theirs[i].snr1) << "prn " << theirs[i].prn;
                EXPECT_EQ(ours[i].snr2, theirs[i].snr2) << "prn " << theirs[i].prn;
                EXPECT_EQ(ours[i].used, theirs[i].used) << "prn " << theirs[i].prn;
            }
        };
        check("gps", s.gpsSats, s.gpsCount, want.gps);
        check("glonass", s.glonassSats, s.glonassCount, want.glonass);
        check("beidou", s.beidouSats, s.beidouCount, want.beidou);
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, CaptureNovatelPeer,
                         ::testing::ValuesIn(RowsWhere([](const CaptureRow& row) {
                             return !row.IsNmea() && !row.peer.empty();
                         })),
                         RowName);

// Captures without a peer: final values read off the bytes by hand.

struct HandChecked {
    const char* path;
    const char* source;  // what the values were read from
    int date[3];         // year, month, day
    int clock[3];        // hour, minute, second
    int fixQuality;
    double latitude, longitude, altitude;
    int differentialAge;
};

// NovAtel logs carry GPS time; the record holds UTC, 18 s behind in 2019 and
// 15 s behind in 2009.
// clang-format off
const HandChecked kHandChecked[] = {
    {"nmea/hazer/bu353w10-3.dat",
     "$GNGGA,184901.00,3947.64880,N,10509.19992,W,2,...,1706.5,M,-21.5,M,,0000 / RMC 180619",
     {2019, 6, 18}, {18, 49, 1}, kFixDgps, 39.794146667, -105.153332000, 1706.5, 0},
    {"nmea/hazer/gn803g.dat",
     "$GNGGA,135727.00,3947.65340,N,10509.20028,W,2,...,1709.3,M,-21.5,M,,0000 / RMC 070818",
     {2018, 8, 7}, {13, 57, 27}, kFixDgps, 39.794223333, -105.153338000, 1709.3, 0},
    {"nmea/hazer/gr701w.dat",
     "$GPGGA,140223.00,3947.65364,N,10509.20209,W,1,...,1713.4,M,-21.5,M,, / RMC 070818",
     {2018, 8, 7}, {14, 2, 23}, kFixSingle, 39.794227333, -105.153368167, 1713.4, 0},
    {"nmea/hazer/simplertk2b_base.dat",
     "$GNGGA,140952.00,3947.65222,N,10509.20179,W,1,...,1710.6,M,-21.5,M,, / RMC 100419",
     {2019, 4, 10}, {14, 9, 52}, kFixSingle, 39.794203667, -105.153363167, 1710.6, 0},
    // GGA quality 5 (float) is code 3.
    {"nmea/hazer/simplertk2b_rover.dat",
     "$GNGGA,141206.00,3947.65235,N,10509.20017,W,5,...,1710.3,M,-21.5,M,1.0,0000 / RMC 100419",
     {2019, 4, 10}, {14, 12, 6}, kFixFloat, 39.794205833, -105.153336167, 1710.3, 1},
    // GGA quality 4 (fixed) stays 4; the age 7.5 s truncates to 7.
    {"nmea/gpsd/nmea-rtk.log",
     "$GNGGA,133901.50,4134.50180366,N,09345.03586734,W,4,...,280.829,M,-31.442,M,7.5,0002 / RMC 180320",
     {2020, 3, 18}, {13, 39, 1}, kFixFixed, 41.575030061, -93.750597789, 280.829, 7},
    {"nmea/novatel_gps_driver/gpgga-gprmc-bestpos.udp-payload.txt",
     "$GPGGA,222308.70,2926.6327,N,09836.8841,W,1,...,255.80,M,-26.00,M,, / RMC 120717",
     {2017, 7, 12}, {22, 23, 8}, kFixSingle, 29.443878333, -98.614735000, 255.80, 0},
    {"novatel/novatel_gps_driver/bestpos-bestvel-psrdop2-sync.tcp-payload.gps",
     "last BESTPOSB: week 2080, 412626600 ms, type 16 (single)",
     {2019, 11, 21}, {18, 36, 48}, kFixSingle, 29.44391905319, -98.61475716968, 259.7144, 0},
    // Position type 18 (SBAS) is code 2; the frame after it is cut off by the end of the file.
    {"novatel/rtklib/oemv_200911218.gps",
     "last BESTPOSB: week 1562, 515265000 ms, type 18 (SBAS)",
     {2009, 12, 18}, {23, 7, 30}, kFixDgps, 35.87299325740, 138.38966037451, 964.2825, 0},
};
// clang-format on

TEST(CaptureHandChecked, FinalValuesMatchTheLastSentenceOrLog) {
    for (const HandChecked& want : kHandChecked) {
        SCOPED_TRACE(std::string(want.path) + " <- " + want.source);
        const auto row = std::find_if(CaptureRows().begin(), CaptureRows().end(),
                                      [&](const CaptureRow& r) { return r.path == want.path; });
        ASSERT_NE(row, CaptureRows().end());
        const GnssState s = DecodeRow(*row);
        EXPECT_EQ(DateText(s), DateText(want.date[0], want.date[1], want.date[2]));
        EXPECT_EQ(ClockText(s), ClockText(want.clock[0], want.clock[1], want.clock[2]));
        EXPECT_EQ(s.fixQuality, want.fixQuality);
        EXPECT_NEAR(s.latitude, want.latitude, 1e-9);
        EXPECT_NEAR(s.longitude, want.longitude, 1e-9);
        EXPECT_NEAR(s.altitude, want.altitude, 1e-4);  // as printed above
        EXPECT_EQ(s.differentialAge, want.differentialAge);
    }
}

}  // namespace
}  // namespace sextara::testing
