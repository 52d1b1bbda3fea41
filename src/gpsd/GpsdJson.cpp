#include "gpsd/GpsdJson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "decode/StateJson.h"

namespace sextara::gpsd {
namespace {

// One object built attribute by attribute, in the order written.
class Object {
public:
    explicit Object(std::string_view cls) {
        out_ = "{\"class\":\"";
        out_ += cls;
        out_ += '"';
    }
    Object& Text(std::string_view key, std::string_view value) {
        Key(key);
        // Device paths come from the user; dump() escapes what JSON must
        // and replaces bytes that are not UTF-8 instead of throwing.
        out_ += nlohmann::json(std::string(value)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return *this;
    }
    Object& TextIf(std::string_view key, std::string_view value) { return value.empty() ? *this : Text(key, value); }
    Object& Int(std::string_view key, long long value) {
        Key(key);
        out_ += std::to_string(value);
        return *this;
    }
    // A value the receiver does not give (0) or that is not a number
    // (a binary log's NaN) is left out: JSON has no NaN.
    Object& Number(std::string_view key, double value) {
        if (!std::isfinite(value)) return *this;
        Key(key);
        out_ += JsonNumber(value);
        return *this;
    }
    Object& NumberIfSet(std::string_view key, double value) { return value > 0 ? Number(key, value) : *this; }
    Object& Bool(std::string_view key, bool value) {
        Key(key);
        out_ += value ? "true" : "false";
        return *this;
    }
    Object& Raw(std::string_view key, std::string_view json) {
        Key(key);
        out_ += json;
        return *this;
    }
    std::string Done() { return out_ + '}'; }

private:
    void Key(std::string_view key) {
        out_ += ",\"";
        out_ += key;
        out_ += "\":";
    }
    std::string out_;
};

// Where a receiver numbering lands in the protocol's: receiver numbers
// first..last in a table are svid = number - receiverBase, PRN = svid + prnBase.
struct IdRange {
    Constellation table;
    int first, last;
    int gnssid;
    int receiverBase;
    int prnBase;
};

constexpr IdRange kIdRanges[] = {
    {Constellation::kGps, 1, 32, 0, 0, 0},
    {Constellation::kGps, 33, 64, 1, -87, 0},     // NMEA's SBAS numbers: PRN 120-151
    {Constellation::kGps, 120, 158, 1, 0, 0},     // SBAS by PRN (GSOF, some NMEA makes)
    {Constellation::kGps, 193, 202, 5, 192, 192}, // QZSS in a GPGSV
    {Constellation::kGlonass, 65, 96, 6, 64, 64}, // NMEA
    {Constellation::kGlonass, 38, 61, 6, 37, 64}, // NovAtel: slot + 37
    {Constellation::kGlonass, 1, 32, 6, 0, 64},   // slot numbers (GSOF)
    {Constellation::kBeidou, 1, 63, 3, 0, 400},
    {Constellation::kBeidou, 141, 177, 3, 140, 400},  // the BeiDou/GPS board's SATMSG
    {Constellation::kBeidou, 201, 263, 3, 200, 400},
    {Constellation::kBeidou, 401, 463, 3, 400, 400},
    {Constellation::kGalileo, 1, 36, 2, 0, 300},
    {Constellation::kGalileo, 301, 336, 2, 300, 300},
};

constexpr int kSystemOf[] = {0, 6, 3, 2};  // gnssid of each table, for numbers outside every range

struct Table {
    Constellation constellation;
    const SatelliteEntry* sats;
    std::int32_t count;
};

std::array<Table, 4> TablesOf(const GnssState& s) {
    return {{{Constellation::kGps, s.gpsSats, s.gpsCount},
             {Constellation::kGlonass, s.glonassSats, s.glonassCount},
             {Constellation::kBeidou, s.beidouSats, s.beidouCount},
             {Constellation::kGalileo, s.galileoSats, s.galileoCount}}};
}

bool HasFix(const GnssState& s) { return s.fixQuality > kFixNone; }

// The record keeps no 2D/3D flag; a fix that comes without any height
// (GGA with an empty altitude, no VDOP) is taken as 2D.
int ModeOf(const GnssState& s) {
    if (!HasFix(s)) return 1;
    return s.altitude != 0 || s.vdop > 0 ? 3 : 2;
}

// TPV status: 1 normal, 2 DGPS, 3 RTK fixed, 4 RTK float.
int StatusOf(const GnssState& s) {
    switch (s.fixQuality) {
        case kFixDgps: return 2;
        case kFixFixed: return 3;
        case kFixFloat: return 4;
        default: return 1;
    }
}

std::string SatelliteJson(const SatelliteEntry& e, const SatelliteId& id) {
    char text[160];
    std::snprintf(text, sizeof text, "{\"PRN\":%d,\"gnssid\":%d,\"svid\":%d,\"el\":%d,\"az\":%d,\"ss\":%d,\"used\":%s}",
                  id.prn, id.gnssid, id.svid, e.elevation, e.azimuth, e.snr1, e.used ? "true" : "false");
    return text;
}

}  // namespace

SatelliteId IdentifySatellite(Constellation table, int receiverPrn) {
    for (const IdRange& r : kIdRanges) {
        if (r.table == table && receiverPrn >= r.first && receiverPrn <= r.last) {
            const int svid = receiverPrn - r.receiverBase;
            return {r.gnssid, svid, svid + r.prnBase};
        }
    }
    return {kSystemOf[static_cast<int>(table)], receiverPrn, receiverPrn};
}

std::string IsoTime(const GnssState& s) {
    const bool whole = s.year >= 1980 && s.year <= 9999 && s.month >= 1 && s.month <= 12 && s.day >= 1 &&
                       s.day <= 31 && s.hour >= 0 && s.hour <= 23 && s.minute >= 0 && s.minute <= 59 &&
                       s.second >= 0 && s.second <= 60;
    if (!whole) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", s.year, s.month, s.day, s.hour, s.minute,
                  s.second);
    return text;
}

std::string VersionJson() {
    return Object("VERSION")
        .Text("release", kRelease)
        .Text("rev", "sextara")
        .Int("proto_major", kProtoMajor)
        .Int("proto_minor", kProtoMinor)
        .Done();
}

std::string DevicesJson(const DeviceInfo& device) {
    std::string list = "[";
    if (!device.path.empty()) {
        list += Object("DEVICE")
                    .Text("path", device.path)
                    .TextIf("driver", device.driver)
                    .TextIf("activated", device.activated)
                    .Int("flags", 1)  // SEEN_GPS
                    .Int("native", device.binary ? 1 : 0)
                    .Int("bps", device.bps)
                    .Text("parity", "N")
                    .Int("stopbits", 1)
                    .Raw("cycle", "1.00")
                    .Done();
    }
    list += ']';
    return Object("DEVICES").Raw("devices", list).Done();
}

std::string WatchJson(const WatchPolicy& p) {
    return Object("WATCH")
        .Bool("enable", p.enable)
        .Bool("json", p.json)
        .Bool("nmea", p.nmea)
        .Int("raw", p.raw)
        .Bool("scaled", p.scaled)
        .Bool("timing", p.timing)
        .Bool("split24", p.split24)
        .Bool("pps", p.pps)
        .TextIf("device", p.device)
        .Done();
}

std::string ErrorJson(std::string_view message) { return Object("ERROR").Text("message", message).Done(); }

std::string TpvJson(const GnssState& s, const DeviceInfo& device) {
    Object tpv("TPV");
    tpv.TextIf("device", device.path).Int("mode", ModeOf(s));
    if (HasFix(s)) tpv.Int("status", StatusOf(s));
    tpv.TextIf("time", IsoTime(s));
    if (!HasFix(s)) return tpv.Done();
    tpv.Number("lat", s.latitude).Number("lon", s.longitude);
    if (ModeOf(s) == 3) {
        tpv.Number("altMSL", s.altitude);
        // Only GGA gives the geoid separation; without it the height above
        // the ellipsoid is unknown, not equal to the one above sea level.
        if (s.geoidSeparation != 0) {
            tpv.Number("altHAE", s.altitude + s.geoidSeparation).Number("geoidSep", s.geoidSeparation);
        }
    }
    tpv.NumberIfSet("epx", s.longitudeSigma).NumberIfSet("epy", s.latitudeSigma);
    tpv.NumberIfSet("eph", s.hrms).NumberIfSet("epv", s.vrms);
    if (s.fixQuality >= kFixDgps && s.differentialAge > 0) tpv.Int("dgpsAge", s.differentialAge);
    return tpv.Done();
}

std::string SkyJson(const GnssState& s, const DeviceInfo& device) {
    std::string list = "[";
    int seen = 0;
    int used = 0;
    for (const Table& t : TablesOf(s)) {
        const int n = std::clamp(t.count, 0, kSatTableSize);
        for (int i = 0; i < n; ++i) {
            const SatelliteEntry& e = t.sats[i];
            if (e.prn == 0) continue;  // an empty entry, not a satellite
            if (seen++ > 0) list += ',';
            if (e.used) ++used;
            list += SatelliteJson(e, IdentifySatellite(t.constellation, e.prn));
        }
    }
    list += ']';
    return Object("SKY")
        .TextIf("device", device.path)
        .TextIf("time", IsoTime(s))
        .NumberIfSet("hdop", s.hdop)
        .NumberIfSet("vdop", s.vdop)
        .NumberIfSet("pdop", s.pdop)
        .Int("nSat", seen)
        .Int("uSat", used)
        .Raw("satellites", list)
        .Done();
}

std::string PollJson(const std::string& time, bool active, const std::string& tpv, const std::string& sky) {
    return Object("POLL")
        .TextIf("time", time)
        .Int("active", active ? 1 : 0)
        .Raw("tpv", "[" + tpv + "]")
        .Raw("gst", "[]")
        .Raw("sky", "[" + sky + "]")
        .Done();
}

}  // namespace sextara::gpsd
