#include "decode/NmeaParser.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "decode/NmeaFields.h"
#include "decode/NmeaPatterns.h"
#include "platform/Debug.h"

namespace sextara {
namespace nmea {

enum class GsvRule : std::uint8_t {
    kIndexed,   // entry 4*(m-1)+k, count = satellites in view
    kAppended,  // entry = count, count grows; counts restart at any message 1
};
enum class TotalRule : std::uint8_t {
    kGpsSumsThree,       // a GPS message sets GPS + GLONASS + BeiDou
    kGpsOwnCount,        // a GPS message sets the GPS count
    kEverySumsFour,      // every message sets the sum of all four counts
    kGroupEndSumsThree,  // the last message of any group sets GPS + GLONASS + BeiDou
};
enum class GsaRule : std::uint8_t {
    kByTalker,              // GP, GL, BD each mark their table; GN the combined rule
    kByFirstPrn,            // the first satellite number picks the table
    kSystemIdElseGpsOnly,   // system id when present, else numbers 1..31 into GPS
    kSystemIdElseFirstPrn,  // system id when present, else the first number picks GPS or GLONASS
    kCombined,              // the combined rule for every talker
};

struct SystemId {
    std::int32_t id;
    int constellation;
};

struct Profile {
    std::size_t lineCap;  // longest line taken, without its line end
    bool lfFallback;      // a lone "\n" ends a line when no "\r\n" follows
    PatternTable patterns;
    bool quality9IsDgps;
    GsvRule gsv;
    bool gpsGsvGuard;       // skip GPS messages past the satellites in view or with PRN >= 33
    unsigned clearAtFirst;  // bit per constellation: cleared by message 1 of its group
    unsigned gsvMarksUsed;  // bit per constellation: GSV sets used = 1
    TotalRule total;
    bool secondGroupSnr2;
    GsaRule gsa;
    std::span<const SystemId> systemIds;  // GSA field 18 with 18 commas
    bool traceGga;
    bool traceGst;
};

namespace {

constexpr unsigned Bit(int constellation) {
    return 1u << constellation;
}
static_assert(Bit(kGps) == kGsvGps && Bit(kGlonass) == kGsvGlonass && Bit(kBeidou) == kGsvBeidou &&
              Bit(kGalileo) == kGsvGalileo);

// NMEA 0183 allows 82 characters a sentence, but receivers go past it with
// proprietary and high-precision sentences. Each make's parser takes lines up
// to its own buffer size, 512 or 1024 bytes; anything longer is not a sentence.
constexpr std::size_t kShortLineCap = 512;
constexpr std::size_t kLongLineCap = 1024;
static_assert(kLongLineCap <= NmeaParser::kMaxLineCap);

constexpr Pattern kAllSentences[] = {
    {"GGA", Kind::kGga, -1}, {"GSA", Kind::kGsa, -1}, {"GSV", Kind::kGsv, -1},
    {"RMC", Kind::kRmc, -1}, {"GST", Kind::kGst, -1}, {"ZDA", Kind::kZda, -1},
};
constexpr Pattern kBloxSentences[] = {
    {"GGA", Kind::kGga, -1},         {"GSA", Kind::kGsa, -1},        {"GPGSV", Kind::kGsv, kGps},
    {"GLGSV", Kind::kGsv, kGlonass}, {"GBGSV", Kind::kGsv, kBeidou}, {"RMC", Kind::kRmc, -1},
    {"GST", Kind::kGst, -1},
};
constexpr Pattern kBlox9Sentences[] = {
    {"GGA", Kind::kGga, -1},         {"GSA", Kind::kGsa, -1},        {"GPGSV", Kind::kGsv, kGps},
    {"GLGSV", Kind::kGsv, kGlonass}, {"GBGSV", Kind::kGsv, kBeidou}, {"GAGSV", Kind::kGsv, kGalileo},
    {"RMC", Kind::kRmc, -1},         {"GST", Kind::kGst, -1},
};

static_assert(PatternTable(kAllSentences).Searchable() && PatternTable(kBloxSentences).Searchable() &&
              PatternTable(kBlox9Sentences).Searchable());

// NMEA 4.10 GSA system ids.
constexpr SystemId kThreeSystems[] = {{1, kGps}, {2, kGlonass}, {4, kBeidou}};
constexpr SystemId kFourSystems[] = {{1, kGps}, {2, kGlonass}, {3, kGalileo}, {4, kBeidou}};

constexpr Profile kStdProfile{
    .lineCap = kShortLineCap,
    .lfFallback = true,
    .patterns = kAllSentences,
    .quality9IsDgps = true,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = true,
    .clearAtFirst = Bit(kGps) | Bit(kGlonass) | Bit(kBeidou),
    .gsvMarksUsed = Bit(kGps) | Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kByTalker,
    .systemIds = kThreeSystems,
    .traceGga = true,
    .traceGst = false,
};

constexpr Profile kHemisProfile{
    .lineCap = kShortLineCap,
    .lfFallback = true,
    .patterns = kAllSentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = Bit(kBeidou),
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kByFirstPrn,
    .systemIds = {},
    .traceGga = false,
    .traceGst = false,
};

constexpr Profile kBloxProfile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kBloxSentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGpsOwnCount,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kSystemIdElseGpsOnly,
    .systemIds = kThreeSystems,
    .traceGga = false,
    .traceGst = true,
};

constexpr Profile kBlox9Profile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kBlox9Sentences,
    .quality9IsDgps = false,
    .gsv = GsvRule::kIndexed,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou) | Bit(kGalileo),
    .total = TotalRule::kEverySumsFour,
    .secondGroupSnr2 = true,
    .gsa = GsaRule::kSystemIdElseFirstPrn,
    .systemIds = kFourSystems,
    .traceGga = false,
    .traceGst = true,
};

constexpr Profile kTrimbleProfile{
    .lineCap = kLongLineCap,
    .lfFallback = false,
    .patterns = kAllSentences,
    .quality9IsDgps = true,
    .gsv = GsvRule::kAppended,
    .gpsGsvGuard = false,
    .clearAtFirst = 0,
    .gsvMarksUsed = Bit(kGlonass) | Bit(kBeidou),
    .total = TotalRule::kGroupEndSumsThree,
    .secondGroupSnr2 = false,
    .gsa = GsaRule::kCombined,
    .systemIds = kThreeSystems,
    .traceGga = false,
    .traceGst = false,
};

// GSV and GSA talkers of the tables; anything else (GN, GA, QZ, ...) is left alone.
int ConstellationOfTalker(std::string_view talker) {
    if (talker == "GP") return kGps;
    if (talker == "GL") return kGlonass;
    if (talker == "BD" || talker == "GB") return kBeidou;
    return -1;
}

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

NmeaParser::NmeaParser(GnssState* state, const nmea::Profile& profile)
    : GnssDecoder(state), profile_(profile) {}

NmeaParserStd::NmeaParserStd(GnssState* state) : NmeaParser(state, nmea::kStdProfile) {}
NmeaParserHemis::NmeaParserHemis(GnssState* state) : NmeaParser(state, nmea::kHemisProfile) {}
NmeaParserBlox::NmeaParserBlox(GnssState* state) : NmeaParser(state, nmea::kBloxProfile) {}
NmeaParserBlox9::NmeaParserBlox9(GnssState* state) : NmeaParser(state, nmea::kBlox9Profile) {}
NmeaParserTrimble::NmeaParserTrimble(GnssState* state) : NmeaParser(state, nmea::kTrimbleProfile) {}

// ---------------------------------------------------------------------------
// Framing

std::int32_t NmeaParser::Input(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return 1;
    const char* next = reinterpret_cast<const char*>(bytes);
    std::size_t left = count;
    while (left > 0) {
        const std::size_t n = std::min(left, kInputSlice);
        std::string_view text;
        if (pendingSize_ == 0) {
            text = std::string_view(next, n);
        } else {
            std::memcpy(work_.data() + pendingSize_, next, n);
            text = std::string_view(work_.data(), pendingSize_ + n);
        }
        Keep(text, Process(text));
        next += n;
        left -= n;
    }
    return 1;
}

// Takes every complete sentence out of the text; returns where the unfinished
// one begins (a "$" with no line end after it), or the size when none is left.
std::size_t NmeaParser::Process(std::string_view text) {
    constexpr auto npos = std::string_view::npos;
    std::size_t pos = 0;
    if (skipping_) {
        pos = std::min(text.find('$'), text.size());
        counters_.droppedBytes += pos;
        if (pos == text.size()) return pos;
        skipping_ = false;
    }

    // Line ends are searched from the "$" to the end of the text; the first
    // match stays valid for every later "$" before it, and "none" for all.
    bool crlfKnown = false, lfKnown = false;
    std::size_t crlf = npos, lf = npos;
    auto findCrLf = [&](std::size_t from) {
        if (crlfKnown && (crlf == npos || crlf >= from)) return crlf;
        crlfKnown = true;
        for (crlf = text.find('\r', from); crlf != npos; crlf = text.find('\r', crlf + 1)) {
            if (crlf + 1 < text.size() && text[crlf + 1] == '\n') break;
        }
        return crlf;
    };
    auto findLf = [&](std::size_t from) {
        if (lfKnown && (lf == npos || lf >= from)) return lf;
        lfKnown = true;
        lf = text.find('\n', from);
        return lf;
    };

    for (;;) {
        const std::size_t dollar = text.find('$', pos);
        if (dollar == npos) {
            counters_.droppedBytes += text.size() - pos;
            return text.size();
        }
        counters_.droppedBytes += dollar - pos;
        // "\r\n" anywhere after the "$" wins over an earlier lone "\n".
        std::size_t end = findCrLf(dollar);
        std::size_t next = end + 2;
        if (end == npos && profile_.lfFallback) {
            end = findLf(dollar);
            next = end + 1;
        }
        if (end == npos) return dollar;
        Cut(text, dollar, end, next);
        pos = next;
    }
}

// A "$" inside a line means the sentence before it was cut short (a receiver
// restarting its output, a dropped byte run); the line starts at the last "$".
void NmeaParser::Cut(std::string_view text, std::size_t dollar, std::size_t end, std::size_t next) {
    const auto* last = static_cast<const char*>(memrchr(text.data() + dollar, '$', end - dollar));
    const std::size_t start = static_cast<std::size_t>(last - text.data());
    DropFragments(text.substr(dollar, start - dollar));
    const std::string_view line = text.substr(start, end - start);
    if (line.size() > profile_.lineCap) {
        ++counters_.oversize;
        counters_.droppedBytes += next - start;
        return;
    }
    if (!Handle(line)) counters_.droppedBytes += next - start;
}

// Each piece runs from a "$" to the next; one longer than the line cap plus a
// possible "\r" could never have become a sentence and counts as oversize,
// whichever Input calls it arrived in.
void NmeaParser::DropFragments(std::string_view fragments) {
    counters_.droppedBytes += fragments.size();
    while (!fragments.empty()) {
        const std::size_t piece = std::min(fragments.find('$', 1), fragments.size());
        if (piece > profile_.lineCap + 1) ++counters_.oversize;
        fragments.remove_prefix(piece);
    }
}

// Keeps the unfinished sentence for the next call: only from its last "$",
// and only while it can still become a line within the cap.
void NmeaParser::Keep(std::string_view text, std::size_t tail) {
    pendingSize_ = 0;
    if (tail >= text.size()) return;
    const std::size_t start = text.rfind('$');
    DropFragments(text.substr(tail, start - tail));
    const std::size_t length = text.size() - start;
    if (length > profile_.lineCap + 1) {
        ++counters_.oversize;
        counters_.droppedBytes += length;
        skipping_ = true;
        return;
    }
    std::memmove(work_.data(), text.data() + start, length);
    pendingSize_ = length;
}

// Lines no handler reads (VTG, GLL, TXT, proprietary ones) are only checked
// against their checksum: their fields are never split up.
bool NmeaParser::Handle(std::string_view line) {
    const nmea::Pattern* pattern = nmea::FirstPattern(line, profile_.patterns);
    if (pattern == nullptr) {
        if (!nmea::Sentence::ChecksumMatchesOf(line)) {
            ++counters_.checksumErrors;
            return false;
        }
        ++counters_.frames;
        return true;
    }
    const nmea::Sentence s(line);
    if (!s.ChecksumMatches()) {
        ++counters_.checksumErrors;
        return false;
    }
    ++counters_.frames;
    switch (pattern->kind) {
        case nmea::Kind::kGga: OnGga(s); break;
        case nmea::Kind::kGsa: OnGsa(s); break;
        case nmea::Kind::kGsv:
            if (profile_.gsv == nmea::GsvRule::kAppended) {
                OnGsvAppended(s);
            } else {
                OnGsv(s, pattern->gsvTable >= 0 ? pattern->gsvTable : nmea::ConstellationOfTalker(s.Talker()));
            }
            break;
        case nmea::Kind::kRmc: OnRmc(s); break;
        case nmea::Kind::kGst: OnGst(s); break;
        case nmea::Kind::kZda: OnZda(s); break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Sentences

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
