#include "corrections/GgaSentence.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace sextara::corrections {
namespace {

// Fixed-point text without the locale (a toolkit may have set a decimal comma).
std::string Fixed(double value, int decimals) {
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, std::isfinite(value) ? value : 0.0, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0");
}

// Degrees and minutes "dddmm.mmmmmmm" of a magnitude. Minutes are rounded to
// seven decimals first; 59.99999999 rounds into the next whole degree, never
// to "60.0000000".
std::string DegreesMinutes(double value, int degreeDigits) {
    double magnitude = std::isfinite(value) ? std::fabs(value) : 0.0;
    if (magnitude > 360) magnitude = 0;  // not a coordinate; keeps the field bounded
    long long degrees = static_cast<long long>(magnitude);
    long long minutesE7 = std::llround((magnitude - static_cast<double>(degrees)) * 60.0 * 1e7);
    if (minutesE7 >= 60LL * 10000000LL) {
        degrees += 1;
        minutesE7 -= 60LL * 10000000LL;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%0*lld%02lld.%07lld", degreeDigits, degrees, minutesE7 / 10000000LL,
                  minutesE7 % 10000000LL);
    return text;
}

}  // namespace

UtcTimeOfDay CurrentUtcTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec};
}

std::string NmeaChecksum(std::string_view body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {kHex[(sum >> 4) & 0x0f], kHex[sum & 0x0f]};
}

std::string BuildGgaSentence(const GnssState& state, const TypedPosition* typed, bool useTyped,
                             const UtcTimeOfDay& noFixTime) {
    const bool fix = state.fixQuality >= 1;
    const bool fromTyped = useTyped && typed != nullptr;
    char time[32];
    const UtcTimeOfDay clock = fix ? UtcTimeOfDay{state.hour, state.minute, state.second} : noFixTime;
    std::snprintf(time, sizeof time, "%02d%02d%02d.00", clock.hour % 100, clock.minute % 100, clock.second % 100);

    std::string body = "GPGGA,";
    body += time;
    body += ',';
    body += DegreesMinutes(fromTyped ? typed->latitude : state.latitude, 2);
    body += ',';
    body += fromTyped ? typed->northSouth.substr(0, 1) : std::string(state.latitude < 0.0 ? "S" : "N");
    body += ',';
    body += DegreesMinutes(fromTyped ? typed->longitude : state.longitude, 3);
    body += ',';
    body += fromTyped ? typed->eastWest.substr(0, 1) : std::string(state.longitude < 0.0 ? "W" : "E");
    body += ',';
    if (fix) {
        char satellites[16];
        std::snprintf(satellites, sizeof satellites, "%02d", state.satellitesTotal);
        body += std::to_string(state.fixQuality) + ',' + satellites + ',' + Fixed(state.hdop, 1) + ',' +
                Fixed(state.altitude, 2);
    } else {
        body += "1,09,0.7,1.00";
    }
    body += ",M," + Fixed(state.geoidSeparation, 2) + ",M," + std::to_string(state.differentialAge) + ",0000";
    return '$' + body + '*' + NmeaChecksum(body) + "\r\n";
}

std::string BuildGgaSentence(const GnssState& state, const TypedPosition* typed, bool useTyped) {
    return BuildGgaSentence(state, typed, useTyped, CurrentUtcTimeOfDay());
}

}  // namespace sextara::corrections
