#include "decode/NovatelLogs.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "decode/GpsTime.h"
#include "platform/Debug.h"

namespace sextara::novatel {
namespace {

// A receiver reports at most 128 channels or visible satellites in one log;
// records beyond that (or beyond the body) are not read.
constexpr std::size_t kMaxRecords = 128;

using Bytes = std::span<const std::uint8_t>;

enum class Constellation { kGps, kGlonass, kBeidou };

struct SatTable {
    SatelliteEntry* entries;
    std::int32_t* count;
};

SatTable TableOf(GnssState& s, Constellation c) {
    switch (c) {
        case Constellation::kGps: return {s.gpsSats, &s.gpsCount};
        case Constellation::kGlonass: return {s.glonassSats, &s.glonassCount};
        case Constellation::kBeidou: break;
    }
    return {s.beidouSats, &s.beidouCount};
}

std::uint8_t GsvBitOf(Constellation c) {
    switch (c) {
        case Constellation::kGps: return kGsvGps;
        case Constellation::kGlonass: return kGsvGlonass;
        case Constellation::kBeidou: break;
    }
    return kGsvBeidou;
}

// Another make's decoder may have left any count behind; only entries inside
// the table are ever looked at.
std::size_t EntriesInUse(const SatTable& t) {
    return static_cast<std::size_t>(std::clamp<std::int32_t>(*t.count, 0, kSatTableSize));
}

SatelliteEntry* FindPrn(const SatTable& t, std::int32_t prn) {
    const std::size_t used = EntriesInUse(t);
    for (std::size_t i = 0; i < used; ++i) {
        if (t.entries[i].prn == prn) return &t.entries[i];
    }
    return nullptr;
}

// A fresh entry for `prn` at the end of the table, or null when the table is
// full: further satellites of that constellation are dropped.
SatelliteEntry* AppendPrn(const SatTable& t, std::int32_t prn) {
    const std::size_t used = EntriesInUse(t);
    if (used >= static_cast<std::size_t>(kSatTableSize)) return nullptr;
    SatelliteEntry& entry = t.entries[used];
    entry = SatelliteEntry{};
    entry.prn = prn;
    *t.count = static_cast<std::int32_t>(used + 1);
    return &entry;
}

void ClearTable(const SatTable& t) {
    std::fill(t.entries, t.entries + kSatTableSize, SatelliteEntry{});
    *t.count = 0;
}

// Angles and C/No are kept as whole numbers, truncated toward zero. A value
// no int can hold only comes from a corrupt log that still passed its CRC.
std::int32_t TruncateToInt(double value) {
    if (!(value > -2147483648.0 && value < 2147483648.0)) return 0;
    return static_cast<std::int32_t>(value);
}

// Records that the body really holds, at most the declared count and 128.
std::size_t RecordCount(Bytes body, std::size_t countOffset, std::size_t firstRecord,
                        std::size_t recordSize) {
    if (body.size() < firstRecord || body.size() < countOffset + 4) return 0;
    const std::size_t declared = WireReader(body.data(), body.size()).U32le(countOffset);
    const std::size_t room = (body.size() - firstRecord) / recordSize;
    return std::min({declared, room, kMaxRecords});
}

// A view of `length` bytes at `offset`, empty (every field reads 0) when they
// do not lie inside `bytes`.
WireReader Slice(Bytes bytes, std::size_t offset, std::size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) return WireReader(bytes.data(), 0);
    return WireReader(bytes.data() + offset, length);
}

bool BodyHolds(Bytes body, std::size_t size, std::uint16_t id) {
    if (body.size() >= size) return true;
    SEXTARA_DEBUG("MSG ID %d body of %zu bytes too short, skipped\n", static_cast<int>(id), body.size());
    return false;
}

// System field of a TRACKSTAT channel (bits 16-18 of its tracking status).
std::optional<Constellation> TrackStatSystem(std::uint32_t system) {
    switch (system) {
        case 0: return Constellation::kGps;
        case 1: return Constellation::kGlonass;
        case 4: return Constellation::kBeidou;
        default: return std::nullopt;
    }
}

// System field of a SATVIS2 log (low 16 bits).
std::optional<Constellation> SatVis2System(std::uint32_t system) {
    switch (system) {
        case 0: return Constellation::kGps;
        case 1: return Constellation::kGlonass;
        case 6: return Constellation::kBeidou;
        default: return std::nullopt;
    }
}

// SATVIS has no system field: the PRN range tells.
std::optional<Constellation> SatVisSystem(std::int32_t prn) {
    if (prn >= 1 && prn <= 32) return Constellation::kGps;
    if (prn >= 38 && prn <= 61) return Constellation::kGlonass;
    return std::nullopt;
}

constexpr std::size_t kVisRecord = 40;

// Sets the look angles of satellites already in their tables from the 40-byte
// records of a visibility log: +0 PRN u16, +8 elevation f64 deg, +16 azimuth
// f64 deg. constellationOf(prn) picks the table; traceSystem is the system the
// trace names. Visibility logs list every satellite of the almanac; only those
// tracked (entered by TRACKSTAT) belong on the sky plot, and those below the
// horizon never do.
template <typename ConstellationOf>
void ApplyLooks(GnssState& s, Bytes body, std::size_t countOffset, std::size_t firstRecord, int traceSystem,
                ConstellationOf constellationOf) {
    const std::size_t records = RecordCount(body, countOffset, firstRecord, kVisRecord);
    for (std::size_t i = 0; i < records; ++i) {
        const WireReader rec = Slice(body, firstRecord + i * kVisRecord, kVisRecord);
        const std::int32_t prn = rec.U16le(0);
        const double elevationDeg = rec.F64le(8);
        const double azimuthDeg = rec.F64le(16);
        if (!(elevationDeg >= 0)) continue;
        SEXTARA_DEBUG("SatInfo: High %d,prn %d,Sys %d,Elv %f,Azi %f\n", static_cast<int>(i), prn, traceSystem,
                      elevationDeg, azimuthDeg);
        const std::optional<Constellation> constellation = constellationOf(prn);
        if (!constellation) continue;
        SatelliteEntry* entry = FindPrn(TableOf(s, *constellation), prn);
        if (entry == nullptr) continue;
        entry->elevation = TruncateToInt(elevationDeg);
        entry->azimuth = TruncateToInt(azimuthDeg);
    }
}

// Header: +14 GPS week u16, +16 milliseconds of the week u32. Stored as UTC
// like the NMEA makes' time, so every consumer reads one time base.
void ApplyHeaderTime(GnssState& s, const WireReader& header) {
    const std::uint16_t week = header.U16le(14);
    const std::uint32_t ms = header.U32le(16);
    const CalendarTime t = GpsWeekMsToUtc(week, ms);
    s.year = t.year;
    s.month = t.month;
    s.day = t.day;
    s.hour = t.hour;
    s.minute = t.minute;
    s.second = t.second;
    SEXTARA_DEBUG("-------GPSWeek:%d, GPSSecond:%d-------\n", static_cast<int>(week), static_cast<int>(ms));
}

struct PositionTypeFix {
    std::uint32_t positionType;
    std::int32_t fix;
};

// Position types that mean a fix; every other type (19 propagated, 0 none, ...)
// is no fix.
constexpr PositionTypeFix kPositionTypeFixes[] = {
    {16, kFixSingle},                                    // SINGLE
    {17, kFixDgps},   {18, kFixDgps},                    // PSRDIFF, WAAS (SBAS)
    {32, kFixFloat},  {33, kFixFloat}, {34, kFixFloat},  // L1_FLOAT, IONOFREE_FLOAT, NARROW_FLOAT
    {48, kFixFixed},  {49, kFixFixed}, {50, kFixFixed},  // L1_INT, WIDE_INT, NARROW_INT
};

std::int32_t FixOfPositionType(std::uint32_t positionType) {
    for (const auto& row : kPositionTypeFixes) {
        if (row.positionType == positionType) return row.fix;
    }
    return kFixNone;
}

// BESTPOS (42), 72-byte body; read:
//   +4 position type u32, +8 latitude f64 deg, +16 longitude f64 deg,
//   +24 height above mean sea level f64 m, +40 latitude sigma f32 m,
//   +44 longitude sigma f32 m, +48 height sigma f32 m.
// The same log in ASCII (tests/data/novatel/gavlab/ParsingData2.ASC):
//   #BESTPOSA,COM1_30,0,65.5,FINESTEERING,1687,419435.000,...;SOL_COMPUTED,SINGLE,
//   32.59536543284,-85.29568164267,198.7909,-29.2000,WGS84,1.2397,1.1851,2.7088,...
constexpr std::size_t kBestPosBodyRead = 52;

// The time comes from the header, the solution from the body. False when the
// body is too short to read.
bool TakeBestPos(GnssState& s, const Log& log) {
    if (!BodyHolds(log.body, kBestPosBodyRead, log.id)) return false;
    ApplyHeaderTime(s, log.header);
    const WireReader body(log.body.data(), log.body.size());
    s.fixQuality = FixOfPositionType(body.U32le(4));
    s.latitude = body.F64le(8);
    s.longitude = body.F64le(16);
    s.altitude = body.F64le(24);
    const double latSigma = body.F32le(40);
    const double lonSigma = body.F32le(44);
    s.latitudeSigma = latSigma;
    s.longitudeSigma = lonSigma;
    s.hrms = std::sqrt(latSigma * latSigma + lonSigma * lonSigma);
    s.vrms = body.F32le(48);
    return true;
}

}  // namespace

void ApplyBestPos(GnssState& s, const Log& log) {
    TakeBestPos(s, log);
}

void ApplyBestPosTraced(GnssState& s, const Log& log) {
    if (!TakeBestPos(s, log)) return;
    SEXTARA_DEBUG("pos_type_b = %d\n", static_cast<int>(Slice(log.body, 4, 4).U32le(0)));
    SEXTARA_DEBUG("Lat:%.8f\n", s.latitude);
    SEXTARA_DEBUG("Lon:%.8f\n", s.longitude);
    SEXTARA_DEBUG("H:%.4f\n", s.altitude);
    SEXTARA_DEBUG("HRMS:%.4f\n", s.hrms);
    SEXTARA_DEBUG("VRMS:%.4f\n", s.vrms);
    // +64 satellites tracked u8, +65 satellites used in the solution u8
    SEXTARA_DEBUG("----SatTracked:%d\n", static_cast<int>(Slice(log.body, 64, 1).U8(0)));
    SEXTARA_DEBUG("SatUsed:%d\n", static_cast<int>(Slice(log.body, 65, 1).U8(0)));
}

// TRACKSTAT (83): +12 number of channel records u32; 40-byte records from +16:
//   +0 PRN i16 (GLONASS slot + 37), +4 channel tracking status u32 (bits 16-18
//   system: 0 GPS, 1 GLONASS, 4 BeiDou; bits 21-25 signal type: 0 first
//   frequency, 5 GLONASS L2 P, 9 GPS L2 P(Y)), +20 C/No f32 dB-Hz,
//   +32 rejection code u32 (0 good, i.e. used in the solution).
// One GPS satellite on two channels (ParsingData2.ASC, TRACKSTATA):
//   16,0,18109c04,20394319.041,-1231.527,50.386,4027.392,0.634,GOOD,0.247,
//   16,0,11309c0b,20394319.648,-959.637,45.677,3998.920,0.000,OBSL2,0.000
constexpr std::size_t kTrackStatFirst = 16;
constexpr std::size_t kTrackStatRecord = 40;

void ApplyTrackStat(GnssState& s, const Log& log) {
    SEXTARA_DEBUG("---------------------Get a TRACKSTATB MSG------------------------\n");
    const Bytes body = log.body;
    const std::size_t records = RecordCount(body, 12, kTrackStatFirst, kTrackStatRecord);
    if (records < 1) return;
    for (Constellation c : {Constellation::kGps, Constellation::kGlonass, Constellation::kBeidou}) {
        ClearTable(TableOf(s, c));
    }
    for (std::size_t i = 0; i < records; ++i) {
        const WireReader rec = Slice(body, kTrackStatFirst + i * kTrackStatRecord, kTrackStatRecord);
        const std::int32_t prn = rec.I16le(0);
        if (prn <= 0) continue;
        const std::uint32_t status = rec.U32le(4);
        const std::uint32_t system = (status >> 16) & 0x7;
        const std::uint32_t signalType = (status >> 21) & 0x1F;
        const float cn0 = rec.F32le(20);
        SEXTARA_DEBUG("--SatSystem %d,PRN %d,SNR1 %f\n", static_cast<int>(system), prn,
                      static_cast<double>(cn0));
        const auto constellation = TrackStatSystem(system);
        if (!constellation) continue;
        const SatTable table = TableOf(s, *constellation);
        // Rebuilt without look angles, which the visibility log of the same
        // epoch brings: until then the table is half new, like a GSV group
        // under way, and readers keep the last whole one.
        s.gsvInProgress = static_cast<std::uint8_t>(s.gsvInProgress | GsvBitOf(*constellation));
        SatelliteEntry* entry = FindPrn(table, prn);
        if (entry == nullptr) entry = AppendPrn(table, prn);
        if (entry == nullptr) continue;
        if (rec.U32le(32) == 0) entry->used = 1;
        if (signalType == 0) {
            entry->snr1 = TruncateToInt(cn0);
        } else if (signalType == 5 || signalType == 9) {
            entry->snr2 = TruncateToInt(cn0);
        }
    }
}

// SATVIS2 (1043): +0 satellite system u32 (low 16 bits: 0 GPS, 1 GLONASS,
// 6 BeiDou), +12 number of records u32; 40-byte records from +16: +0 PRN u16,
// +8 elevation f64 deg, +16 azimuth f64 deg.
// No capture with this log is at hand; its records are those of SATVIS below,
// one log per satellite system.
constexpr std::size_t kSatVis2First = 16;

void ApplySatVis2(GnssState& s, const Log& log) {
    SEXTARA_DEBUG("---------------------Get a SATVIS2B MSG------------------------\n");
    const Bytes body = log.body;
    const std::uint32_t system = Slice(body, 0, 4).U32le(0) & 0xFFFF;
    const auto constellation = SatVis2System(system);
    if (constellation)
        s.gsvInProgress = static_cast<std::uint8_t>(s.gsvInProgress & ~GsvBitOf(*constellation));
    ApplyLooks(s, body, 12, kSatVis2First, static_cast<int>(system),
               [&](std::int32_t) { return constellation; });
}

// SATVIS (48): +8 number of records u32; 40-byte records from +12: +0 PRN u16
// (1-32 GPS, 38-61 GLONASS slot + 37, others SBAS and the like), +8 elevation
// f64 deg, +16 azimuth f64 deg. No system field: the PRN range tells.
// The same log in ASCII (ParsingData2.ASC, SATVISA):
//   ...;TRUE,TRUE,31,16,0,0,72.4,23.3,-1230.496,-1230.386,23,0,0,62.0,315.2,...
constexpr std::size_t kSatVisFirst = 12;

void ApplySatVis(GnssState& s, const Log& log) {
    const Bytes body = log.body;
    // One log for every system: after it no table waits for more angles.
    s.gsvInProgress = 0;
    ApplyLooks(s, body, 8, kSatVisFirst, 0, SatVisSystem);
}

// PSRDOP (174) and the DOP log 911: +0 GDOP f32, +4 PDOP f32, +8 HDOP f32.
// The same log in ASCII (ParsingData2.ASC):
//   #PSRDOPA,...,1687,419397.100,...;1.7394,1.5397,0.7974,1.1360,0.8092,...
constexpr std::size_t kDopBodyRead = 12;

void ApplyDop(GnssState& s, const Log& log) {
    if (!BodyHolds(log.body, kDopBodyRead, log.id)) return;
    const WireReader body(log.body.data(), log.body.size());
    SEXTARA_DEBUG("Get psrdop bin \n");
    s.pdop = body.F32le(4);
    s.hdop = body.F32le(8);
    SEXTARA_DEBUG("pDOP %f,HDOP %f\n", s.pdop, s.hdop);
}

// SATMSG (911 on the BeiDou/GPS board): +0 number of records u8, +5 number of
// frequencies u8; records from +6, 12 bytes long (16 with seven frequencies):
//   +0 PRN u8 (1-32 GPS, 141-177 BeiDou), +1 azimuth i16 deg, +3 elevation u8
//   deg, +4 flags u8 (bit 0 used), +5 SNR first frequency u8 dB-Hz,
//   +9 SNR second frequency u8 dB-Hz.
// No capture of this board is at hand; the tests build the log from this layout.
constexpr std::size_t kSatMsgFirst = 6;

void ApplySatMsg(GnssState& s, const Log& log) {
    const Bytes body = log.body;
    if (!BodyHolds(body, kSatMsgFirst, log.id)) return;
    const WireReader head(body.data(), kSatMsgFirst);
    const std::uint8_t declared = head.U8(0);
    const std::uint8_t frequencies = head.U8(5);
    const std::size_t recordSize = frequencies == 7 ? 16 : 12;
    SEXTARA_DEBUG("\n satmsg Len = %d \t SatNum = %d ------ \n", static_cast<int>(body.size()),
                  static_cast<int>(declared));
    SEXTARA_DEBUG("Fre Num %d \n", static_cast<int>(frequencies));
    s.satellitesTotal = declared;
    for (Constellation c : {Constellation::kGps, Constellation::kGlonass, Constellation::kBeidou}) {
        ClearTable(TableOf(s, c));
    }
    const std::size_t records = std::min<std::size_t>(declared, (body.size() - kSatMsgFirst) / recordSize);
    for (std::size_t i = 0; i < records; ++i) {
        const WireReader rec = Slice(body, kSatMsgFirst + i * recordSize, recordSize);
        const std::int32_t prn = rec.U8(0);
        SEXTARA_DEBUG("PRN = %d\n", prn);
        std::optional<Constellation> constellation;
        // PRN 0 marks an empty entry in the tables, so it is never entered.
        if (prn >= 1 && prn < 33) constellation = Constellation::kGps;
        if (prn >= 141 && prn <= 177) constellation = Constellation::kBeidou;
        if (!constellation) continue;
        SatelliteEntry* entry = AppendPrn(TableOf(s, *constellation), prn);
        if (entry == nullptr) continue;
        entry->azimuth = rec.I16le(1);
        entry->elevation = rec.U8(3);
        entry->used = rec.U8(4) & 1;
        entry->snr1 = rec.U8(5);
        entry->snr2 = rec.U8(9);
    }
}

void TraceOtherLog(GnssState&, const Log& log) {
    SEXTARA_DEBUG("Other MSG ID %d\n", static_cast<int>(log.id));
}

}  // namespace sextara::novatel
