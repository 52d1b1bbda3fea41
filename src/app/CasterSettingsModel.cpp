#include "app/CasterSettingsModel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <type_traits>

#include "corrections/CasterAddress.h"

namespace sextara {
namespace {

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

// A whole decimal number, or nothing.
template <typename Number>
std::optional<Number> ParseWhole(std::string_view text, std::chars_format format = std::chars_format::general) {
    const std::string trimmed = Trimmed(text);
    Number value{};
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    if (begin != end && *begin == '+') ++begin;
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<Number>) {
        result = std::from_chars(begin, end, value, format);
    } else {
        result = std::from_chars(begin, end, value);
    }
    if (trimmed.empty() || result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

std::string Degrees(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.8f", value);
    return text;
}

}  // namespace

CasterDialogValues DialogValuesOf(const corrections::CasterSettings& settings) {
    CasterDialogValues v;
    v.address = settings.casterAddress;
    v.port = std::to_string(settings.port);
    v.user = settings.user;
    v.password = settings.password;
    v.useTypedPosition = settings.useTypedPosition;
    v.latitude = Degrees(settings.typed.latitude);
    v.longitude = Degrees(settings.typed.longitude);
    v.south = settings.typed.northSouth != "N";
    v.west = settings.typed.eastWest != "E";
    v.resendCurrentPosition = settings.resendCurrentPosition;
    v.useTls = settings.useTls;
    v.caFile = settings.caFile;
    return v;
}

std::optional<std::string> SettingsFromDialog(const corrections::CasterSettings& current,
                                              const CasterDialogValues& values,
                                              corrections::CasterSettings& out) {
    corrections::CasterSettings s = current;
    s.casterAddress = Trimmed(values.address);
    const bool tlsDefaultPort = values.useTls && Trimmed(values.port).empty();
    const auto port = tlsDefaultPort ? std::optional<long long>(corrections::kTlsDefaultPort)
                                     : ParseWhole<long long>(values.port);
    if (!port || *port < 1 || *port > 65535) return std::string("Port must be 1 to 65535!");
    s.port = static_cast<std::uint32_t>(*port);
    s.user = values.user;
    s.password = values.password;
    s.useTypedPosition = values.useTypedPosition;
    s.resendCurrentPosition = values.resendCurrentPosition;
    s.useTls = values.useTls;
    s.caFile = Trimmed(values.caFile);
    if (values.useTypedPosition) {
        const auto lat = ParseWhole<double>(values.latitude, std::chars_format::fixed);
        const auto lon = ParseWhole<double>(values.longitude, std::chars_format::fixed);
        if (!lat) return std::string("Latitude must be 0 to 90 degrees!");
        if (!lon) return std::string("Longitude must be 0 to 180 degrees!");
        s.typed.latitude = std::fabs(*lat);
        s.typed.longitude = std::fabs(*lon);
        s.typed.northSouth = values.south ? "S" : "N";
        s.typed.eastWest = values.west ? "W" : "E";
    }
    if (auto message = corrections::ValidateCasterSettings(s)) return message;
    out = s;
    return std::nullopt;
}

}  // namespace sextara
