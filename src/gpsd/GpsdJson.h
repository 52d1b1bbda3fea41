#pragma once

// The objects of the gpsd protocol (version 3, JSON over TCP) as this system
// fills them from a GnssState snapshot. Pure: values in, one JSON object out,
// without its line end. Numbers of the record are written as the state
// record prints them (decode/StateJson), so a client's numbers compare equal
// with sextara-decode's. Attributes with no value are left out, as the
// protocol asks (it never sends null).

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/GnssState.h"

namespace sextara::gpsd {

// The receiver as the DEVICES and TPV objects name it.
struct DeviceInfo {
    std::string path;       // "/dev/serial/by-id/..."; empty: no device
    std::string driver;     // the make's configuration name, "enNovtel"
    std::string activated;  // ISO 8601 UTC time the path opened; empty: unknown
    int bps = 0;
    bool binary = false;    // the make speaks a binary protocol
};

// What a client asked for with ?WATCH. Only enable, json, nmea and raw
// change what it is sent; the other switches are kept and echoed.
struct WatchPolicy {
    bool enable = false;
    bool json = false;
    bool nmea = false;
    int raw = 0;  // 1: the receiver's sentences; 2: every byte as it came
    bool scaled = false;
    bool timing = false;
    bool split24 = false;
    bool pps = false;
    std::string device;

    bool WantsReports() const { return enable && json; }
    bool WantsSentences() const { return enable && (nmea || raw == 1); }
    bool WantsBytes() const { return enable && raw >= 2; }
};

// The protocol level served: proto 3.14 is what the clients of Debian 12
// (gpsd-clients, python3-gps 3.22) speak, and "release" names that level
// because some clients compare it.
inline constexpr int kProtoMajor = 3;
inline constexpr int kProtoMinor = 14;
inline constexpr std::string_view kRelease = "3.22";

// A satellite's names in the protocol: gnssid (0 GPS, 1 SBAS, 2 Galileo,
// 3 BeiDou, 5 QZSS, 6 GLONASS), its number inside that system, and the
// protocol's own PRN (GPS 1-63, SBAS 120-158, GLONASS 65-96, QZSS 193-202,
// Galileo 301-336, BeiDou 401-463).
struct SatelliteId {
    int gnssid = 0;
    int svid = 0;
    int prn = 0;
};

// Constellations in the order of the view's tabs and of the GSV bits.
enum class Constellation { kGps = 0, kGlonass = 1, kBeidou = 2, kGalileo = 3 };

// The receiver's satellite number (NMEA numbering for the NMEA makes, the
// receiver's own for the binary ones) found in a constellation's table.
SatelliteId IdentifySatellite(Constellation table, int receiverPrn);

// "2024-05-06T07:08:09.000Z" from the record's UTC date and time; empty
// when the record has no whole date and time yet.
std::string IsoTime(const GnssState& state);

std::string VersionJson();
std::string DevicesJson(const DeviceInfo& device);
std::string WatchJson(const WatchPolicy& policy);
std::string ErrorJson(std::string_view message);
// mode 1 without a fix, else 2 or 3; status from the fix quality; position
// and the receiver's sigmas only with a fix.
std::string TpvJson(const GnssState& state, const DeviceInfo& device);
// Every satellite of the four tables (the first count entries, empty ones
// left out) and the DOPs.
std::string SkyJson(const GnssState& state, const DeviceInfo& device);
// ?POLL's answer: the latest TPV and SKY objects as they were sent (empty:
// none yet) and whether a receiver is active.
std::string PollJson(const std::string& time, bool active, const std::string& tpv, const std::string& sky);

}  // namespace sextara::gpsd
