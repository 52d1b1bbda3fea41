#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "decode/NmeaParser.h"
#include "decode/NmeaPatterns.h"

// What the members of the NMEA parser family differ in, for the parser's
// two source files: its framing (NmeaParser.cpp, with the five profiles) and
// its sentence handlers (NmeaSentences.cpp).

namespace sextara::nmea {

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

constexpr unsigned Bit(int constellation) {
    return 1u << constellation;
}
static_assert(Bit(kGps) == kGsvGps && Bit(kGlonass) == kGsvGlonass && Bit(kBeidou) == kGsvBeidou &&
              Bit(kGalileo) == kGsvGalileo);

// GSV and GSA talkers of the tables; anything else (GN, GA, QZ, ...) is left alone.
inline int ConstellationOfTalker(std::string_view talker) {
    if (talker == "GP") return kGps;
    if (talker == "GL") return kGlonass;
    if (talker == "BD" || talker == "GB") return kBeidou;
    return -1;
}

}  // namespace sextara::nmea
