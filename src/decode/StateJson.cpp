#include "decode/StateJson.h"

#include <algorithm>
#include <cstdio>

namespace sextara {
namespace {

void Add(std::string& out, const char* key, long long value) {
    char text[64];
    std::snprintf(text, sizeof text, "\"%s\":%lld,", key, value);
    out += text;
}

void Add(std::string& out, const char* key, double value) {
    out += '"';
    out += key;
    out += "\":";
    out += JsonNumber(value);
    out += ',';
}

void AddTable(std::string& out, const char* key, const SatelliteEntry (&table)[kSatTableSize], int count) {
    out += '"';
    out += key;
    out += "\":[";
    const int n = std::clamp(count, 0, kSatTableSize);
    for (int i = 0; i < n; ++i) {
        const SatelliteEntry& e = table[i];
        char text[160];
        std::snprintf(text, sizeof text, "%s{\"prn\":%d,\"elevation\":%d,\"azimuth\":%d,\"snr1\":%d,\"snr2\":%d,\"used\":%d}",
                      i ? "," : "", e.prn, e.elevation, e.azimuth, e.snr1, e.snr2, e.used);
        out += text;
    }
    out += "],";
}

}  // namespace

std::string JsonNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string GnssStateToJson(const GnssState& s) {
    std::string out = "{";
    Add(out, "year", static_cast<long long>(s.year));
    Add(out, "month", static_cast<long long>(s.month));
    Add(out, "day", static_cast<long long>(s.day));
    Add(out, "hour", static_cast<long long>(s.hour));
    Add(out, "minute", static_cast<long long>(s.minute));
    Add(out, "second", static_cast<long long>(s.second));
    Add(out, "fixQuality", static_cast<long long>(s.fixQuality));
    Add(out, "latitude", s.latitude);
    Add(out, "longitude", s.longitude);
    Add(out, "altitude", s.altitude);
    Add(out, "geoidSeparation", s.geoidSeparation);
    Add(out, "pdop", s.pdop);
    Add(out, "hdop", s.hdop);
    Add(out, "vdop", s.vdop);
    Add(out, "hrms", s.hrms);
    Add(out, "vrms", s.vrms);
    Add(out, "latitudeSigma", s.latitudeSigma);
    Add(out, "longitudeSigma", s.longitudeSigma);
    Add(out, "satellitesTotal", static_cast<long long>(s.satellitesTotal));
    Add(out, "gpsCount", static_cast<long long>(s.gpsCount));
    Add(out, "glonassCount", static_cast<long long>(s.glonassCount));
    Add(out, "beidouCount", static_cast<long long>(s.beidouCount));
    Add(out, "galileoCount", static_cast<long long>(s.galileoCount));
    Add(out, "differentialAge", static_cast<long long>(s.differentialAge));
    AddTable(out, "gpsSats", s.gpsSats, s.gpsCount);
    AddTable(out, "beidouSats", s.beidouSats, s.beidouCount);
    AddTable(out, "glonassSats", s.glonassSats, s.glonassCount);
    AddTable(out, "galileoSats", s.galileoSats, s.galileoCount);
    out.back() = '}';
    return out;
}

}  // namespace sextara
