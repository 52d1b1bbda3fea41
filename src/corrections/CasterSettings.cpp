#include "corrections/CasterSettings.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "corrections/NtripProtocol.h"

namespace sextara::corrections {
namespace {

// The typed latitude and longitude texts are read with room for 127 characters.
constexpr std::size_t kMaxPositionText = 127;
// A path, as the system allows one.
constexpr std::size_t kMaxCaFileText = 4095;

// "%.8f" without the locale: a window toolkit may switch LC_NUMERIC to a
// decimal comma, which the stored text must not follow.
std::string FormatDegrees(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, std::isfinite(value) ? value : 0.0,
                                      std::chars_format::fixed, 8);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0.00000000");
}

double ParseDegrees(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return std::isfinite(value) ? value : 0;
}

bool HasBlankOrControl(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) return true;
    }
    return false;
}

}  // namespace

bool LoadCasterSettings(platform::RegistryStore& store, CasterSettings& settings,
                        const platform::LogFunction& log) {
    auto key = store.OpenKey(kCasterSettingsKey);
    if (!key) {
        if (log) log("LoadCasterSetting Unsuccessfully!");
        return false;
    }
    auto text = [&](const char* name, std::string& field, std::size_t room) {
        const auto value = key->QueryString(name);
        if (!value || value->size() > room) return false;
        field = *value;
        return true;
    };
    auto number = [&](const char* name, auto assign) {
        const auto value = key->QueryDword(name);
        if (!value) return false;
        assign(*value);
        return true;
    };
    // Not one of the fixed values: a store written before it existed still loads whole.
    settings.resendCurrentPosition = key->QueryDword("SendCurrentGGA").value_or(0) != 0;
    settings.useTls = key->QueryDword("UseTLS").value_or(0) != 0;
    if (const auto caFile = key->QueryString("CAFile"); caFile && caFile->size() <= kMaxCaFileText) {
        settings.caFile = *caFile;
    }
    std::string latitude;
    std::string longitude;
    if (!text("Mount", settings.mountPoint, kMaxSettingText) || !text("User", settings.user, kMaxSettingText) ||
        !text("Pass", settings.password, kMaxSettingText) ||
        !text("CasterAddress", settings.casterAddress, kMaxSettingText) ||
        !number("Port", [&](std::uint32_t v) { settings.port = v; }) ||
        !number("ReConnect_Times", [&](std::uint32_t v) { settings.reconnectCount = v; }) ||
        !number("UseInputGGA", [&](std::uint32_t v) { settings.useTypedPosition = v != 0; }) ||
        !text("InPutGGA_Lat", latitude, kMaxPositionText)) {
        return false;
    }
    settings.typed.latitude = ParseDegrees(latitude);
    if (!text("InPutGGA_Lon", longitude, kMaxPositionText)) return false;
    settings.typed.longitude = ParseDegrees(longitude);
    return text("InPutGGA_EW", settings.typed.eastWest, kMaxPositionText) &&
           text("InPutGGA_NS", settings.typed.northSouth, kMaxPositionText);
}

bool SaveCasterSettings(platform::RegistryStore& store, const CasterSettings& settings,
                        const platform::LogFunction& log) {
    auto key = store.CreateKey(kCasterSettingsKey);
    if (!key) {
        if (log) log("SaveCasterSetting Create Key Unsuccessfully");
        return false;
    }
    return key->SetString("CasterAddress", settings.casterAddress) &&
           key->SetString("Mount", settings.mountPoint) && key->SetString("User", settings.user) &&
           key->SetString("Pass", settings.password) && key->SetDword("Port", settings.port) &&
           key->SetDword("ReConnect_Times", settings.reconnectCount) &&
           key->SetDword("UseInputGGA", settings.useTypedPosition ? 1 : 0) &&
           key->SetString("InPutGGA_Lat", FormatDegrees(settings.typed.latitude)) &&
           key->SetString("InPutGGA_Lon", FormatDegrees(settings.typed.longitude)) &&
           key->SetString("InPutGGA_NS", settings.typed.northSouth) &&
           key->SetString("InPutGGA_EW", settings.typed.eastWest) &&
           key->SetDword("SendCurrentGGA", settings.resendCurrentPosition ? 1 : 0) &&
           key->SetDword("UseTLS", settings.useTls ? 1 : 0) && key->SetString("CAFile", settings.caFile) &&
           store.Flush();
}

std::uint16_t EffectivePort(const CasterSettings& settings) {
    if (settings.port == 0 && settings.useTls) return kTlsDefaultPort;
    return static_cast<std::uint16_t>(settings.port);
}

std::optional<std::string> ValidateMountPoint(std::string_view mountPoint) {
    if (mountPoint.size() > kMaxSettingText) return std::string("Mount point is longer than 63 characters!");
    if (HasBlankOrControl(mountPoint)) return std::string("Mount point has blanks or control characters!");
    return std::nullopt;
}

std::optional<std::string> ValidateCasterSettings(const CasterSettings& settings) {
    if (settings.casterAddress.empty()) return std::string("Caster address is empty!");
    if (HasBlankOrControl(settings.casterAddress)) {
        return std::string("Caster address has blanks or control characters!");
    }
    if ((settings.port < 1 && !settings.useTls) || settings.port > 65535) {
        return std::string("Port must be 1 to 65535!");
    }
    if (!settings.caFile.empty()) {
        if (settings.caFile.size() > kMaxCaFileText) return std::string("CA file name is too long!");
        if (std::FILE* file = std::fopen(settings.caFile.c_str(), "rb")) {
            std::fclose(file);
        } else {
            return "CA file " + settings.caFile + " cannot be read!";
        }
    }
    if (settings.casterAddress.size() > kMaxSettingText) {
        return std::string("Caster address is longer than 63 characters!");
    }
    if (settings.user.size() > kMaxSettingText) return std::string("User is longer than 63 characters!");
    if (settings.password.size() > kMaxSettingText) return std::string("Password is longer than 63 characters!");
    if (settings.useTypedPosition) {
        if (!std::isfinite(settings.typed.latitude) || std::fabs(settings.typed.latitude) > 90) {
            return std::string("Latitude must be 0 to 90 degrees!");
        }
        if (!std::isfinite(settings.typed.longitude) || std::fabs(settings.typed.longitude) > 180) {
            return std::string("Longitude must be 0 to 180 degrees!");
        }
    }
    if (auto message = ValidateMountPoint(settings.mountPoint)) return message;
    if (!ComposeNtripRequest(settings.mountPoint, settings.casterAddress, settings.user, settings.password)) {
        return std::string("Caster settings are too long for the request!");
    }
    return std::nullopt;
}

}  // namespace sextara::corrections
