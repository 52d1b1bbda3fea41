#pragma once

// Shared by the gpsd tests: real captures decoded through the decoder host
// the data path uses, and the state record's own JSON (sextara-decode's
// output) read back for comparison.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"
#include "support/TempFiles.h"

namespace sextara::test {

inline std::string DataFile(const std::string& path) { return std::string(SEXTARA_TEST_DATA) + "/" + path; }

// The record after the whole capture, fed in the decoder thread's chunks.
inline GnssState DecodeCapture(const std::string& path, std::int32_t make) {
    const std::string bytes = ReadBytes(DataFile(path));
    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(make);
    for (std::size_t at = 0; at < bytes.size(); at += 2048) {
        const std::size_t n = std::min<std::size_t>(2048, bytes.size() - at);
        host.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, static_cast<std::uint32_t>(n));
    }
    return store.Snapshot();
}

// Satellites of a record as (el, az, ss, used), tables in the view's order
// (GPS, GLONASS, BeiDou, Galileo), empty entries left out.
using SkyRow = std::vector<int>;
inline std::vector<SkyRow> SkyRowsOf(const GnssState& s) {
    std::vector<SkyRow> rows;
    const std::pair<const SatelliteEntry*, int> tables[] = {
        {s.gpsSats, s.gpsCount}, {s.glonassSats, s.glonassCount}, {s.beidouSats, s.beidouCount},
        {s.galileoSats, s.galileoCount}};
    for (const auto& [sats, count] : tables) {
        for (int i = 0; i < std::clamp(count, 0, kSatTableSize); ++i) {
            if (sats[i].prn != 0) rows.push_back({sats[i].elevation, sats[i].azimuth, sats[i].snr1, sats[i].used});
        }
    }
    return rows;
}

inline std::vector<SkyRow> SkyRowsOf(const nlohmann::json& sky) {
    std::vector<SkyRow> rows;
    for (const auto& sat : sky.at("satellites")) {
        rows.push_back({sat.at("el").get<int>(), sat.at("az").get<int>(), sat.at("ss").get<int>(),
                        sat.at("used").get<bool>() ? 1 : 0});
    }
    return rows;
}

}  // namespace sextara::test
