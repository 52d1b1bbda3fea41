// The sentence handlers of the NMEA parser family; the framing and the
// profiles are in NmeaParser.cpp.

#include <algorithm>
#include <cmath>
#include <limits>

#include "decode/NmeaFields.h"
#include "decode/NmeaParser.h"
#include "decode/NmeaProfile.h"
#include "platform/Debug.h"

namespace sextara {
namespace nmea {
namespace {

// Two characters of a fixed column read like atoi of their copy: leading digits only.
std::int32_t TwoDigits(const Sentence& s, std::size_t at) {
    const char first = s.At(at);
    const char second = s.At(at + 1);
    if (first < '0' || first > '9') return 0;
    if (second < '0' || second > '9') return first - '0';
    return (first - '0') * 10 + (second - '0');
}

// ddmm.mmmm (or dddmm.mmmm) to decimal degrees; the hemisphere letter follows.
double Degrees(std::string_view field, std::string_view hemisphere, char negativeLetter) {
    const double x = Number(field);
    const double wholeDegrees = std::floor(x / 100);
    const double degrees = wholeDegrees + (x - 100 * wholeDegrees) * 0.016666666666666666;
    return !hemisphere.empty() && hemisphere.front() == negativeLetter ? -degrees : degrees;
}

// Truncates a non-negative reading to whole units without overflowing.
std::int32_t TruncateToInt(double value) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    return value >= kMax ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(value);
}

}  // namespace
}  // namespace nmea

using nmea::kBeidou;
using nmea::kConstellations;
using nmea::kGalileo;
using nmea::kGlonass;
using nmea::kGps;

// $GPGGA,153347.000,3940.6986,N,07544.9356,W,1,09,1.3,75.2,M,-33.8,M,,0000*53
// UTC time hhmmss.sss (fixed columns 7..12, fraction dropped); latitude ddmm.mmmm
// and N/S; longitude dddmm.mmmm and E/W; quality (0 none, 1 single, 2 DGPS,
// 4 RTK fixed, 5 RTK float, 9 SBAS on some makes); [satellites, HDOP unread];
// altitude above mean sea level, m; geoid separation, m (may be negative);
// age of differential data, s.
void NmeaParser::OnGga(const nmea::Sentence& s) {
    GnssState& st = *state_;
    st.hour = nmea::TwoDigits(s, 7);
    st.minute = nmea::TwoDigits(s, 9);
    st.second = nmea::TwoDigits(s, 11);
    st.latitude = nmea::Degrees(s.Field(2), s.Field(3), 'S');
    st.longitude = nmea::Degrees(s.Field(4), s.Field(5), 'W');

    switch (nmea::Integer(s.Field(6))) {
        case 1: st.fixQuality = kFixSingle; break;
        case 2: st.fixQuality = kFixDgps; break;
        case 4: st.fixQuality = kFixFixed; break;
        case 5: st.fixQuality = kFixFloat; break;
        case 9: st.fixQuality = profile_.quality9IsDgps ? kFixDgps : kFixNone; break;
        default: st.fixQuality = kFixNone; break;
    }

    // Altitude keeps its sign: read as a whole decimal, at most 15 characters.
    constexpr std::size_t kAltitudeChars = 15;
    std::string_view altitude = s.Field(9);
    altitude = altitude.substr(0, std::min({altitude.find(','), altitude.size(), kAltitudeChars}));
    st.altitude = nmea::Decimal(altitude);
    st.geoidSeparation = nmea::SignedNumber(s.Field(11));
    st.differentialAge = nmea::TruncateToInt(nmea::Number(s.Field(13)));

    if (profile_.secondGroupSnr2) std::fill(std::begin(secondGroup_), std::end(secondGroup_), false);
    if (profile_.traceGga) {
        SEXTARA_DEBUG("GPS Position---- %02d:%02d:%02d Lat:%f, Lon %f\r\n", st.hour, st.minute, st.second,
                      st.latitude, st.longitude);
    }
}

// $GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07
// Only the date is read: field 9, ddmmyy (12 April 2019 here).
void NmeaParser::OnRmc(const nmea::Sentence& s) {
    const std::int32_t ddmmyy = nmea::Integer(s.Field(9));
    state_->day = ddmmyy / 10000;
    state_->month = ddmmyy % 10000 / 100;
    state_->year = 2000 + ddmmyy % 100;
}

// $GNZDA,003956.00,12,04,2019,00,00*7C
// UTC day, month and four-digit year; the time and the local zone are not read.
void NmeaParser::OnZda(const nmea::Sentence& s) {
    state_->day = nmea::Integer(s.Field(2));
    state_->month = nmea::Integer(s.Field(3));
    state_->year = nmea::Integer(s.Field(4));
}

// $GPGST,213121.000,16.1,22.2,10.2,2.0,0.4,0.6,1.4*57
// 1-sigma errors in metres: latitude (field 6), longitude (7), altitude (8).
// Sigmas above 99.99 m are stored as 0.
void NmeaParser::OnGst(const nmea::Sentence& s) {
    constexpr double kMaxSigmaM = 99.99;
    const double latitudeSigma = nmea::Number(s.Field(6));
    const double longitudeSigma = nmea::Number(s.Field(7));
    const double altitudeSigma = nmea::Number(s.Field(8));
    const double horizontal = std::sqrt(latitudeSigma * latitudeSigma + longitudeSigma * longitudeSigma);
    state_->vrms = altitudeSigma > kMaxSigmaM ? 0 : altitudeSigma;
    state_->hrms = horizontal > kMaxSigmaM ? 0 : horizontal;
    if (profile_.traceGst) SEXTARA_DEBUG("VRMS = %.3f,HRMS = %.3f \n", state_->vrms, state_->hrms);
}

// $GPGSV,3,1,12,05,06,110,19,10,24,284,34,13,37,124,29,15,63,083,11,1*60
// Messages in the group (t), this message (m), satellites in view (n), then up
// to four blocks of PRN, elevation (deg, may be negative), azimuth (deg true)
// and SNR (dB-Hz, empty when not tracked); NMEA 4.10 adds a signal id after them.
// Satellite k of message m belongs at entry 4*(m-1)+k; entries past the
// table are dropped and the count is clamped to the table.
void NmeaParser::OnGsv(const nmea::Sentence& s, int constellation) {
    if (constellation < 0 || constellation >= kConstellations) return;
    const std::int64_t total = nmea::Integer(s.Field(1));
    const std::int64_t message = nmea::Integer(s.Field(2));
    const std::int64_t inView = nmea::Integer(s.Field(3));
    const std::int64_t first = 4 * (message - 1);  // 64-bit: no overflow whatever m is
    MarkGroup(nmea::Bit(constellation), message < total);

    if (profile_.gpsGsvGuard && constellation == kGps) {
        // A GPS PRN of 33 or more is an SBAS satellite this table does not hold.
        if (!(first < inView && nmea::Integer(s.Field(4)) < 33)) return;
    }
    SatelliteEntry* table = Table(constellation);
    if (message == 1 && (profile_.clearAtFirst & nmea::Bit(constellation))) {
        std::fill(table, table + kSatTableSize, SatelliteEntry{});
    }
    Count(constellation) = static_cast<std::int32_t>(std::clamp<std::int64_t>(inView, 0, kSatTableSize));

    switch (profile_.total) {
        case nmea::TotalRule::kGpsSumsThree:
            if (constellation == kGps)
                state_->satellitesTotal = state_->gpsCount + state_->glonassCount + state_->beidouCount;
            break;
        case nmea::TotalRule::kGpsOwnCount:
            if (constellation == kGps) state_->satellitesTotal = state_->gpsCount;
            break;
        case nmea::TotalRule::kEverySumsFour:
            state_->satellitesTotal =
                state_->gpsCount + state_->glonassCount + state_->beidouCount + state_->galileoCount;
            break;
        case nmea::TotalRule::kGroupEndSumsThree: break;
    }

    const bool intoSnr2 = profile_.secondGroupSnr2 && secondGroup_[constellation];
    const bool marksUsed = (profile_.gsvMarksUsed & nmea::Bit(constellation)) != 0;
    for (int k = 0; k < 4; ++k) {
        const std::int64_t index = first + k;
        if (k > 0 && index >= inView) break;
        if (index < 0 || index >= kSatTableSize) continue;
        SatelliteEntry& e = table[index];
        e.prn = nmea::Integer(s.Field(4 + 4 * k));
        e.elevation = nmea::SignedInteger(s.Field(5 + 4 * k));
        e.azimuth = nmea::Integer(s.Field(6 + 4 * k));
        (intoSnr2 ? e.snr2 : e.snr1) = nmea::Integer(s.Field(7 + 4 * k));
        if (marksUsed) e.used = 1;
    }
    if (profile_.secondGroupSnr2 && message == total) secondGroup_[constellation] = true;
}

// Same sentence as above. This make's satellites are appended: each block at
// entry = count, the count then grows; message 1 of any group restarts all
// three counts (deliberately all, not only its own), and the last message of
// a group sets the total. Blocks are
// read only when the line has the commas for them; past the table they are dropped.
void NmeaParser::OnGsvAppended(const nmea::Sentence& s) {
    const int constellation = nmea::ConstellationOfTalker(s.Talker());
    if (constellation < 0) return;
    const std::int32_t total = nmea::Integer(s.Field(1));
    const std::int32_t message = nmea::Integer(s.Field(2));
    const std::int32_t inView = nmea::Integer(s.Field(3));
    if (s.CountCommas() < 5 || total == 0 || message == 0 || inView == 0) return;

    if (message == 1) state_->gpsCount = state_->glonassCount = state_->beidouCount = 0;
    // Only the group's own table is in progress: the other counts that message
    // 1 restarts stay at 0 until their own groups, which is this make's picture.
    MarkGroup(nmea::Bit(constellation), message < total);
    SatelliteEntry* table = Table(constellation);
    std::int32_t& count = Count(constellation);
    const bool marksUsed = (profile_.gsvMarksUsed & nmea::Bit(constellation)) != 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0 && s.CountCommas() < 5 + 4 * k) break;
        const int index = UsableCount(constellation);
        if (index >= kSatTableSize) break;
        SatelliteEntry& e = table[index];
        e.prn = nmea::Integer(s.Field(4 + 4 * k));
        e.elevation = nmea::SignedInteger(s.Field(5 + 4 * k));
        e.azimuth = nmea::Integer(s.Field(6 + 4 * k));
        e.snr1 = nmea::Integer(s.Field(7 + 4 * k));
        e.used = marksUsed ? 1 : 0;
        count = index + 1;
    }
    if (message == total)
        state_->satellitesTotal = state_->gpsCount + state_->glonassCount + state_->beidouCount;
}

// $GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03
// Mode, fix type, up to twelve satellite numbers used in the solution
// (fields 3..14), PDOP, HDOP, VDOP; NMEA 4.10 adds the system id (field 18:
// 1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou), giving 18 commas.
void NmeaParser::OnGsa(const nmea::Sentence& s) {
    constexpr int kSystemIdCommas = 18;
    switch (profile_.gsa) {
        case nmea::GsaRule::kByTalker: {
            const std::string_view talker = s.Talker();
            if (talker == "GN") {
                if (s.CountCommas() == kSystemIdCommas) {
                    ApplySystemId(s);
                } else {
                    PlaceByNumber(s);
                }
                SetDops(s);
                return;
            }
            const int constellation = nmea::ConstellationOfTalker(talker);
            if (constellation < 0 || talker == "GB") return;
            // GP: cleared first; a list not starting with a GPS number (empty,
            // SBAS) then ends the sentence, DOPs included.
            ClearUsed(constellation);
            if (constellation == kGps) {
                const std::int32_t firstPrn = nmea::Integer(s.Field(3));
                if (firstPrn < 1 || firstPrn > 32) return;
            }
            MarkFields(s, constellation);
            if (constellation == kGps) SetDops(s);
            return;
        }
        case nmea::GsaRule::kByFirstPrn: {
            const std::int32_t firstPrn = nmea::Integer(s.Field(3));
            const int constellation = firstPrn >= 1 && firstPrn <= 32 ? kGps
                                      : firstPrn >= 100               ? kBeidou
                                                                      : kGlonass;
            ClearUsed(constellation);
            MarkFields(s, constellation);
            break;
        }
        case nmea::GsaRule::kSystemIdElseGpsOnly:
            if (s.CountCommas() == kSystemIdCommas) {
                ApplySystemId(s);
            } else {
                for (int field = 3; field <= 14; ++field) {
                    const std::int32_t prn = nmea::Integer(s.Field(field));
                    if (prn >= 1 && prn <= 31) MarkUsed(kGps, prn);
                }
            }
            break;
        case nmea::GsaRule::kSystemIdElseFirstPrn:
            if (s.CountCommas() == kSystemIdCommas) {
                ApplySystemId(s);
            } else {
                const std::int32_t firstPrn = nmea::Integer(s.Field(3));
                const int constellation = firstPrn >= 1 && firstPrn <= 32 ? kGps : kGlonass;
                ClearUsed(constellation);
                MarkFields(s, constellation);
            }
            break;
        case nmea::GsaRule::kCombined:
            if (s.CountCommas() == kSystemIdCommas) {
                ApplySystemId(s);
            } else {
                PlaceByNumber(s);
            }
            break;
    }
    SetDops(s);
}

// The system id of field 18 picks the table, which is cleared and marked;
// an id this make does not keep marks nothing.
void NmeaParser::ApplySystemId(const nmea::Sentence& s) {
    const std::int32_t id = nmea::Integer(s.Field(18));
    for (const nmea::SystemId& row : profile_.systemIds) {
        if (row.id != id) continue;
        ClearUsed(row.constellation);
        MarkFields(s, row.constellation);
        return;
    }
}

// Without a system id each number finds its table by the NMEA ranges:
// 1..31 GPS, 141..179 BeiDou, anything else GLONASS; nothing is cleared.
void NmeaParser::PlaceByNumber(const nmea::Sentence& s) {
    for (int field = 3; field <= 14; ++field) {
        const std::int32_t prn = nmea::Integer(s.Field(field));
        const int constellation = prn >= 1 && prn <= 31      ? kGps
                                  : prn >= 141 && prn <= 179 ? kBeidou
                                                             : kGlonass;
        MarkUsed(constellation, prn);
    }
}

void NmeaParser::SetDops(const nmea::Sentence& s) {
    state_->pdop = nmea::Number(s.Field(15));
    state_->hdop = nmea::Number(s.Field(16));
    state_->vdop = nmea::Number(s.Field(17));
}

void NmeaParser::MarkFields(const nmea::Sentence& s, int constellation) {
    for (int field = 3; field <= 14; ++field) MarkUsed(constellation, nmea::Integer(s.Field(field)));
}

void NmeaParser::ClearUsed(int constellation) {
    SatelliteEntry* table = Table(constellation);
    const int n = UsableCount(constellation);
    for (int i = 0; i < n; ++i) table[i].used = 0;
}

// The first entry among the counted ones with this PRN is the one used.
void NmeaParser::MarkUsed(int constellation, std::int32_t prn) {
    SatelliteEntry* table = Table(constellation);
    const int n = UsableCount(constellation);
    for (int i = 0; i < n; ++i) {
        if (table[i].prn == prn) {
            table[i].used = 1;
            return;
        }
    }
}

// The bits follow nmea::Constellation, as the kGsv* constants do.
void NmeaParser::MarkGroup(unsigned constellations, bool inProgress) {
    const auto bits = static_cast<std::uint8_t>(constellations);
    state_->gsvInProgress = static_cast<std::uint8_t>(inProgress ? state_->gsvInProgress | bits
                                                                 : state_->gsvInProgress & ~bits);
}

SatelliteEntry* NmeaParser::Table(int constellation) {
    switch (constellation) {
        case kGlonass: return state_->glonassSats;
        case kBeidou: return state_->beidouSats;
        case kGalileo: return state_->galileoSats;
        default: return state_->gpsSats;
    }
}

std::int32_t& NmeaParser::Count(int constellation) {
    switch (constellation) {
        case kGlonass: return state_->glonassCount;
        case kBeidou: return state_->beidouCount;
        case kGalileo: return state_->galileoCount;
        default: return state_->gpsCount;
    }
}

// A count as an index bound: another make's decoder may have left anything.
int NmeaParser::UsableCount(int constellation) {
    return std::clamp(Count(constellation), 0, kSatTableSize);
}

}  // namespace sextara
