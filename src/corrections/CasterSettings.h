#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/LogFunction.h"
#include "platform/RegistryStore.h"

namespace sextara::corrections {

// The settings store key of the caster settings.
inline constexpr const char* kCasterSettingsKey = "software\\GPS\\GPS";

// Texts of the connection hold up to 63 characters.
inline constexpr std::size_t kMaxSettingText = 63;

// A position typed in by hand for the GGA report: magnitudes in decimal
// degrees (a sign is ignored) and the hemisphere letters as chosen.
struct TypedPosition {
    std::string eastWest = "E";    // "E" or "W"
    std::string northSouth = "N";  // "N" or "S"
    double latitude = 0;
    double longitude = 0;
};

struct CasterSettings {
    std::string casterAddress;  // dotted IPv4 address or host name
    std::string mountPoint;
    std::string user;
    std::string password;
    std::uint32_t port = 0;
    std::uint32_t reconnectCount = 0;  // kept for the settings file; nothing reads it
    bool useTypedPosition = false;
    TypedPosition typed;
    // Once the receiver has a fix, the periodic GGA carries the position of
    // the moment instead of the one built at Start (a rover crossing a VRS
    // network). Kept as "SendCurrentGGA"; missing reads as off.
    bool resendCurrentPosition = false;
    // TLS to the caster ("UseTLS"), checked against the system's trusted
    // certificates or, when given, the PEM file of a private CA ("CAFile").
    // Both are kept beside the fixed values; missing reads as off and empty.
    bool useTls = false;
    std::string caFile;
};

// The port a connection uses: the stored one, or 443 for TLS without one.
inline constexpr std::uint32_t kTlsDefaultPort = 443;
std::uint16_t EffectivePort(const CasterSettings& settings);

// Reads the values in their fixed order; the first one missing or longer than
// its room ends the load with false, the earlier ones staying loaded.
bool LoadCasterSettings(platform::RegistryStore& store, CasterSettings& settings,
                        const platform::LogFunction& log);
bool SaveCasterSettings(platform::RegistryStore& store, const CasterSettings& settings,
                        const platform::LogFunction& log);

// Checks values as the user enters them; a message saying what to change, or
// none when they can be used. The mount point may be empty (no connection
// chosen yet); when it is given, the request must fit.
std::optional<std::string> ValidateCasterSettings(const CasterSettings& settings);
std::optional<std::string> ValidateMountPoint(std::string_view mountPoint);

}  // namespace sextara::corrections
