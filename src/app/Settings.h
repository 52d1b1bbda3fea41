#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/RegistryStore.h"
#include "receiver/ReceiverType.h"

namespace sextara {

// The receiver settings of config.ini, with the values a run starts with when
// the file or a key is missing.
struct ConfigSettings {
    std::int32_t GPSPort = 3;
    std::int32_t GPSBaud = 57600;
    // 4 when there is no config.ini; 6 when the file is read without the key.
    std::int32_t DiffPort = 4;
    std::int32_t DiffBaud = 57600;
    ReceiverType receiverType = kDefaultReceiverType;
    // 1 English, 0 Chinese; written back at exit, takes effect at the next start.
    std::int32_t language = 1;
    // The language in use: language, or 0 when the English library failed.
    std::int32_t effectiveLanguage = 1;
    // Battery warning threshold in percent; read, never written.
    std::int32_t batteryValue = 20;
    // Section COMMAP ("COM3=/dev/ttyUSB0"): COM numbers to device paths.
    std::map<int, std::string> comDevicePaths;
    // [GPSD] Port: TCP port of the gpsd-protocol server, 0 (or no key) off.
    // Read, never written, like a flag's value for its run.
    std::int32_t gpsdPort = 0;
    // Where that server listens; no key, only the front ends' flag.
    std::string gpsdListen = "127.0.0.1";
};

inline constexpr const char* kConfigFileName = "config.ini";

// Reads config.ini into settings, COMMAP into comDevicePaths (the caller
// installs it in the serial layer). False when the file cannot be read; the
// settings then keep the values they had.
bool LoadConfig(const std::string& path, ConfigSettings& settings);
// Writes GPSPort, GPSBaud, DiffPort, DiffBaud, Type and Language into the
// file, keeping everything else in it. Only an existing, readable config.ini
// is rewritten: a missing one is never created. False when nothing was saved.
bool SaveConfig(const std::string& path, const ConfigSettings& settings);

// Recording settings and the data-output switch, under one settings key.
struct RegistrySettings {
    std::string recordName = "LogRawName";  // base name of record files
    std::int32_t recordDataType = 0;        // 1 records the GPS stream itself
    std::int32_t recordInterval = 3;        // record interval code
    std::int32_t cutoffAngle = 10;          // whole degrees
    std::int32_t dataTransfer = 0;          // write GGA to the data output each second
};

inline constexpr const char* kRecordSettingsKey = "software\\Brellmark";

// True when the key holds a non-empty "LOGNAME"; the numbers stored beside it
// are then read too (each one that is missing keeps its value). Without the
// key, or with an empty name, recordName becomes "LogRawName" and the numbers
// are left alone.
bool LoadRegistrySettings(platform::RegistryStore& store, RegistrySettings& settings);
// Creates the key when needed (logging "SaveFileName Create Key
// Unsuccessfully" when it cannot) and writes the five values in order, each
// only after the one before was saved. True when all five were.
bool SaveRegistrySettings(platform::RegistryStore& store, const RegistrySettings& settings);

}  // namespace sextara
