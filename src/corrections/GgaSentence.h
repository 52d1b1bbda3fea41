#pragma once

#include <string>
#include <string_view>

#include "corrections/CasterSettings.h"
#include "decode/GnssState.h"

namespace sextara::corrections {

struct UtcTimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The device clock's time of day in UTC, as a GGA carries it.
UtcTimeOfDay CurrentUtcTimeOfDay();

// One complete GGA sentence, "$GPGGA,...*CS\r\n", from the state or, with
// useTyped and a typed position, from the typed latitude and longitude.
// Without a fix the time is noFixTime and fixed values stand in for quality,
// satellites, HDOP and altitude, so the caster always gets a sentence.
std::string BuildGgaSentence(const GnssState& state, const TypedPosition* typed, bool useTyped,
                             const UtcTimeOfDay& noFixTime);
std::string BuildGgaSentence(const GnssState& state, const TypedPosition* typed, bool useTyped);

// Exclusive-or of every byte of the body, as two upper-case hex digits.
std::string NmeaChecksum(std::string_view body);

}  // namespace sextara::corrections
