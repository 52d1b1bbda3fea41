#include "app/Settings.h"

#include <cctype>
#include <array>
#include <string>
#include <string_view>

#include "app/EventLog.h"
#include "app/IniFile.h"
#include "platform/AtomicFile.h"

namespace sextara {
namespace {

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// "COM3" -> 3; 0 for anything else. COM numbers start at 1.
int ComNumberOf(std::string_view key) {
    key = TrimSpaces(key);
    if (key.size() < 4 || key.size() > 7 || key.substr(0, 3) != "COM") {
        return 0;
    }
    int number = 0;
    for (const char c : key.substr(3)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// config.ini is a few hundred bytes of text; anything else is not ours.
constexpr std::size_t kMaxConfigBytes = 1 << 20;

// A config.ini that exists but cannot be read, or holds bytes no text file
// has (a zero byte: a truncated write, a binary copied over it), is reported
// once and neither used nor rewritten, so the user can still recover it.
bool ConfigFileUsable(const std::string& path, bool logWhy) {
    std::string text;
    switch (platform::ReadWholeFile(path, text, kMaxConfigBytes)) {
        case platform::FileRead::Missing: return false;  // the usual first start: no line
        case platform::FileRead::Failed:
            if (logWhy) {
                AppendLog(platform::ExistsButNotRegular(path)
                              ? "Config File Unreadable, Defaults Used! (not a regular file)"
                              : "Config File Unreadable, Defaults Used!");
            }
            return false;
        case platform::FileRead::Ok: break;
    }
    if (text.find('\0') != std::string::npos) {
        if (logWhy) AppendLog("Config File Garbled, Defaults Used!");
        return false;
    }
    return true;
}

struct KnownSection {
    std::string_view name;
    std::array<std::string_view, 4> keys;  // unused places empty
};

// The sections and keys the program reads; the matching is exact, as files
// written for the handheld rely on.
const KnownSection kKnownSections[] = {
    {"PORT", {"GPSPort", "GPSBaud", "DiffPort", "DiffBaud"}},
    {"BOARDTYPE", {"Type"}},
    {"LANG", {"Language"}},
    {"BATTERY", {"BatteryValue"}},
    {"COMMAP", {}},
    {"GPSD", {"Port"}},
};

// The text as a person would read it: no blanks, no UTF-8 byte-order mark,
// ASCII letters in lower case.
std::string Loosely(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (text.substr(i, 3) == "\xEF\xBB\xBF") {
            i += 2;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

void LogNearMiss(std::size_t lineNumber, std::string_view text, std::string_view what) {
    constexpr std::size_t kShown = 60;
    std::string line = "config.ini line " + std::to_string(lineNumber) + " \"";
    line += text.substr(0, kShown);
    if (text.size() > kShown) line += "...";
    line += "\" not used: ";
    line += what;
    line += " must be written exactly (no blanks, other case or byte-order mark)";
    AppendLog(line.c_str());
}

// A hand edit that looks right but has no effect ("GPSPort = 5", "[port]",
// an editor's byte-order mark before the first header) gets one log line
// naming it, so the user learns why the value was not taken.
void ReportNearMisses(const IniFile& ini) {
    const KnownSection* current = nullptr;
    std::size_t number = 0;
    for (const IniFile::Line& line : ini.Lines()) {
        ++number;
        const std::string_view text = line.text;
        if (line.kind == IniFile::LineKind::kSection) {
            current = nullptr;
            for (const KnownSection& section : kKnownSections) {
                const std::string header = "[" + std::string(section.name) + "]";
                if (text == header) {
                    current = &section;
                } else if (Loosely(text.substr(0, text.find(';'))) == Loosely(header)) {
                    LogNearMiss(number, text, "section " + header);
                }
            }
        } else if (line.kind == IniFile::LineKind::kEntry && current != nullptr) {
            const std::string_view key = text.substr(0, text.find('='));
            for (const std::string_view known : current->keys) {
                if (!known.empty() && key != known && Loosely(key) == Loosely(known)) {
                    LogNearMiss(number, text, "key " + std::string(known) + " of [" + std::string(current->name) + "]");
                }
            }
        }
    }
}

// A value that cannot name a port or a line rate would only make the port
// fail to open later with a less helpful message.
void KeepSane(std::int32_t& value, std::int32_t low, std::int32_t high, std::int32_t fallback,
              const char* logLine) {
    if (value < low || value > high) {
        value = fallback;
        AppendLog(logLine);
    }
}

}  // namespace

bool LoadConfig(const std::string& path, ConfigSettings& settings) {
    IniFile ini;
    if (!ConfigFileUsable(path, true) || !ini.Load(path)) {
        return false;
    }
    ReportNearMisses(ini);
    settings.GPSPort = ini.GetInt("PORT", "GPSPort", 3);
    settings.GPSBaud = ini.GetInt("PORT", "GPSBaud", 57600);
    KeepSane(settings.GPSPort, 1, 255, 3, "Config GPSPort Invalid, Default Used!");
    KeepSane(settings.GPSBaud, 1, 4000000, 57600, "Config GPSBaud Invalid, Default Used!");
    settings.DiffPort = ini.GetInt("PORT", "DiffPort", 6);
    settings.DiffBaud = ini.GetInt("PORT", "DiffBaud", 57600);
    settings.receiverType = ReceiverTypeFromConfigName(ini.GetString("BOARDTYPE", "Type", "enOther"));
    settings.language = ini.GetBool("LANG", "Language", true) ? 1 : 0;
    settings.effectiveLanguage = settings.language;
    settings.batteryValue = ini.GetInt("BATTERY", "BatteryValue", 20);
    settings.gpsdPort = ini.GetInt("GPSD", "Port", 0);
    KeepSane(settings.gpsdPort, 0, 65535, 0, "Config GPSD Port Invalid, gpsd Server Off!");

    // The device map is ours, not a setting the matching rules above were
    // made for: spaces around key and path are forgiven, since a path with a
    // stray space would only fail to open.
    for (const auto& [key, value] : ini.Entries("COMMAP")) {
        const int number = ComNumberOf(key);
        const std::string_view device = TrimSpaces(value);
        if (number > 0 && !device.empty()) {
            settings.comDevicePaths[number] = std::string(device);
        }
    }
    ini.Close();
    return true;
}

bool SaveConfig(const std::string& path, const ConfigSettings& settings) {
    IniFile ini;
    if (!ConfigFileUsable(path, false) || !ini.Load(path)) {
        return false;
    }
    ini.SetInt("PORT", "GPSPort", settings.GPSPort);
    ini.SetInt("PORT", "GPSBaud", settings.GPSBaud);
    ini.SetInt("PORT", "DiffPort", settings.DiffPort);
    ini.SetInt("PORT", "DiffBaud", settings.DiffBaud);
    ini.SetString("BOARDTYPE", "Type", ConfigNameOf(settings.receiverType));
    ini.SetBool("LANG", "Language", settings.language != 0);
    const bool saved = ini.Save(path);
    ini.Close();
    return saved;
}

bool LoadRegistrySettings(platform::RegistryStore& store, RegistrySettings& settings) {
    const std::optional<platform::RegistryStore::Key> key = store.OpenKey(kRecordSettingsKey);
    // Read whole, however long; an empty name counts as no settings at all.
    const std::optional<std::string> name = key ? key->QueryString("LOGNAME") : std::nullopt;
    if (!name || name->empty()) {
        settings.recordName = "LogRawName";
        return false;
    }
    settings.recordName = *name;
    const auto readNumber = [&](const char* valueName, std::int32_t& field) {
        if (const std::optional<std::uint32_t> number = key->QueryDword(valueName)) {
            field = static_cast<std::int32_t>(*number);
        }
    };
    readNumber("LOGTYPE", settings.recordDataType);
    readNumber("INTERVAL", settings.recordInterval);
    readNumber("CUTOFF", settings.cutoffAngle);
    readNumber("DATATRANSF", settings.dataTransfer);
    return true;
}

bool SaveRegistrySettings(platform::RegistryStore& store, const RegistrySettings& settings) {
    std::optional<platform::RegistryStore::Key> key = store.CreateKey(kRecordSettingsKey);
    if (!key) {
        AppendLog("SaveFileName Create Key Unsuccessfully");
        return false;
    }
    return key->SetString("LOGNAME", settings.recordName) &&
           key->SetDword("LOGTYPE", static_cast<std::uint32_t>(settings.recordDataType)) &&
           key->SetDword("INTERVAL", static_cast<std::uint32_t>(settings.recordInterval)) &&
           key->SetDword("CUTOFF", static_cast<std::uint32_t>(settings.cutoffAngle)) &&
           key->SetDword("DATATRANSF", static_cast<std::uint32_t>(settings.dataTransfer));
}

}  // namespace sextara
